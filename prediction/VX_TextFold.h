// Letters of the languages the keyboard ships (Latin, Greek, Cyrillic) as the
// prediction engine compares them: which code points make up words, their
// lower and upper case, and a folded form in which a word typed without its
// accents or in another case still finds the word (cafe, CAFE and Café all
// fold to "cafe"). Plain functions over UTF-8; bytes that are no well-formed
// character are passed through unchanged and never make up a word.
#ifndef VEXIL_PREDICTION_VX_TEXTFOLD_H
#define VEXIL_PREDICTION_VX_TEXTFOLD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The code point at text[at], with its byte count in `length` (at least 1
// while at < text.size()); a byte that starts no well-formed character reads
// as U+FFFD with length 1.
uint32_t vxDecodeAt(std::string_view text, size_t at, int &length);

// Appends the UTF-8 bytes of code point `cp` to `out`.
void vxAppendUtf8(std::string &out, uint32_t cp);

// True for the letters, combining marks and digits words are made of.
bool vxIsWordChar(uint32_t cp);
// True for the apostrophes that may stand inside a word (' and U+2019).
bool vxIsApostrophe(uint32_t cp);

uint32_t vxToLower(uint32_t cp);
uint32_t vxToUpper(uint32_t cp);
bool vxIsUpper(uint32_t cp);

// Every character in lower case; U+2019 becomes the ASCII apostrophe.
std::string vxLowerText(std::string_view text);
// Every character in upper case.
std::string vxUpperText(std::string_view text);
// The first character in upper case, the rest unchanged.
std::string vxCapitalized(std::string_view text);
// Lower case without accents: the key under which words are matched.
std::string vxFoldKey(std::string_view text);

#endif
