// Cuts the lines of a VX_Input into tokens in place. The mode of each
// request decides whether digits make numbers and parentheses make their
// own tokens.
#ifndef VEXIL_CONFIG_VX_PARSER_H
#define VEXIL_CONFIG_VX_PARSER_H

#include "config/VX_Input.h"
#include "config/VX_Token.h"

class VX_Parser : public VX_Input {
public:
    VX_Parser();

    // Moves `cursor` over blanks and tabs.
    void skipSpaces();
    // Stores the next token (END included) and returns true; false after a
    // message from the reader or the parser, with token.kind NONE.
    bool nextToken(VX_Token &token, VX_TokenMode mode);

    char *cursor;  // next unread character of the line; "" in a new parser
};

#endif
