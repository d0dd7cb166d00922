// UTF-8 text of key strings: a character is one well-formed sequence of 1 to
// 4 bytes (RFC 3629). Overlong forms, surrogates (U+D800..U+DFFF), code
// points above U+10FFFF, stray continuation bytes and cut sequences are not
// characters.
#ifndef VEXIL_BASE_VX_UTF8_H
#define VEXIL_BASE_VX_UTF8_H

#include <cstddef>
#include <cstdint>

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

#endif
