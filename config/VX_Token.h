// One token of a configuration file, as cut by VX_Parser::nextToken.
#ifndef VEXIL_CONFIG_VX_TOKEN_H
#define VEXIL_CONFIG_VX_TOKEN_H

#include <cstdint>

enum {
    VX_TOKEN_NONE = 0,     // set at the start of every request; kept on failure
    VX_TOKEN_WORD = 1,     // run of characters up to a blank, tab or line end
    VX_TOKEN_OPEN = 2,     // '(' at the start of a token, parentheses allowed
    VX_TOKEN_CLOSE = 3,    // ')' at the start of a token, parentheses allowed
    VX_TOKEN_SECTION = 4,  // [name] starting in the first column
    VX_TOKEN_NUMBER = 5,   // run of decimal digits, numbers allowed
    VX_TOKEN_END = 6,      // no more lines in the file
};

// What a token request lets the characters at the cursor become. A run of
// digits is a number, and '(' or ')' at the start of a token is a token of
// its own, only where the mode says so; otherwise they are parts of words.
// The two bits combine: VX_READ_ENTRIES is both.
enum VX_TokenMode {
    VX_READ_WORDS = 0,    // everything is a word: strings, key types
    VX_READ_NUMBERS = 1,  // numbers; parentheses are word characters
    VX_READ_PARENS = 2,   // parentheses; digits are word characters
    VX_READ_ENTRIES = 3,  // numbers and parentheses: inside entries
};

struct VX_Token {
    int32_t kind = VX_TOKEN_NONE;  // one of VX_TOKEN_*
    union {
        char *text;     // WORD, SECTION: NUL-terminated, inside the line buffer
        int32_t value;  // NUMBER: the value, 0 .. INT32_MAX
    };
    uint32_t length = 0;  // WORD, SECTION: length in bytes

    VX_Token() : text(nullptr) {}
};

#endif
