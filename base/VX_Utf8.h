// UTF-8 text of key strings: a character is one well-formed sequence of 1 to
// 4 bytes (RFC 3629). Overlong forms, surrogates (U+D800..U+DFFF), code
// points above U+10FFFF, stray continuation bytes and cut sequences are not
// characters.
#ifndef VEXIL_BASE_VX_UTF8_H
#define VEXIL_BASE_VX_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Most bytes one character takes.
constexpr int kUtf8MaxBytes = 4;
// What some editors put before the first line of a text file.
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// Bytes of the well-formed character at text[0], reading at most `size`
// bytes; 0 when none starts there (also when size is 0).
int vxUtf8CharLength(const char *text, size_t size);

// Number of characters in text[0 .. size), or -1 when the bytes are not
// UTF-8 text; then `badOffset` (if given) is the offset of the first byte
// that starts no well-formed character.
int32_t vxUtf8Count(const char *text, size_t size, size_t *badOffset = nullptr);

// Character `index` (from 0) of the NUL-terminated `text`: its first byte,
// with its byte count in `length`. Past the last character it is the
// terminating NUL with length 0. A byte that starts no well-formed character
// counts as a character of one byte, so any string is walked safely.
const char *vxUtf8At(const char *text, int32_t index, int &length);

// The well-formed character at text[0] (reading at most `size` bytes): its
// code point in `codePoint` and its byte count; 0, with `codePoint` left as
// it was, when none starts there.
int vxUtf8Decode(const char *text, size_t size, uint32_t &codePoint);

// The code points of the characters of `text`, appended to `out` in order.
// A byte that starts no well-formed character stands for nothing: it is
// skipped and the characters after it are still read, so typing a text
// never sends a character that was not in it, nor loses one that was.
void vxUtf8CodePoints(const std::string &text, std::vector<uint32_t> &out);

// Appends the UTF-8 form of `codePoint` to `out`; nothing when it is no
// character (a surrogate, or above U+10FFFF).
void vxUtf8Append(std::string &out, uint32_t codePoint);

// Bytes of the last character of text[0 .. size) (a stray byte counts as
// one); 0 when size is 0.
size_t vxUtf8LastLength(const char *text, size_t size);

// True when `codePoint` is a character a key types as text: not a control
// (C0, DEL, C1), not a surrogate or noncharacter (U+FDD0..U+FDEF, U+FFFE,
// U+FFFF and their like in every plane), at most U+10FFFF. Tab, line feed
// and the other controls are keys of their own, not text.
bool vxIsTextChar(uint32_t codePoint);

#endif
