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
