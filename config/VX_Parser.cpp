#include "config/VX_Parser.h"

#include <cstdint>
#include <cstring>

#include "base/VX_Log.h"

namespace {
// Where the cursor of a new parser points: an empty line, so that the first
// request reads a line. Never written to: no token is cut at an empty line.
char emptyLine[1] = {'\0'};
}  // namespace

VX_Parser::VX_Parser() : cursor(emptyLine) {}

void VX_Parser::skipSpaces()
{
    while (*cursor == ' ' || *cursor == '\t')
        ++cursor;
}

bool VX_Parser::nextToken(VX_Token &token, VX_TokenMode mode)
{
    const bool allowNumbers = (mode & VX_READ_NUMBERS) != 0;
    const bool allowParens = (mode & VX_READ_PARENS) != 0;
    token.kind = VX_TOKEN_NONE;
    for (;;) {
        if (*cursor == '\0') {
            char *line = readLine();
            if (!line) {
                if (lineLength == 0) {
                    token.kind = VX_TOKEN_END;
                    return true;
                }
                return false;  // the reader has written its message
            }
            cursor = line;
        }
        skipSpaces();
        if (*cursor != '\0')
            break;
    }

    char c = *cursor;

    // Number: a run of decimal digits, no sign. Converted by hand so that a
    // value above INT32_MAX is refused instead of wrapping.
    if (allowNumbers && c >= '0' && c <= '9') {
        int32_t value = 0;
        char *p = cursor;
        for (; *p >= '0' && *p <= '9'; ++p) {
            int32_t digit = *p - '0';
            if (value > (INT32_MAX - digit) / 10) {
                vxLog.print("VX_Parser: read number failed (%s, %u)\n", displayName(),
                            static_cast<unsigned>(lineCount));
                return false;
            }
            value = value * 10 + digit;
        }
        token.value = value;
        cursor = p;
        token.kind = VX_TOKEN_NUMBER;
        return true;
    }

    // Section header: '[' in the very first column of the line.
    if (c == '[' && cursor == buffer) {
        char *close = strchr(cursor + 1, ']');
        if (!close) {
            vxLog.print("VX_Parser: ']' expected (%s, %u)\n", displayName(),
                        static_cast<unsigned>(lineCount));
            return false;
        }
        token.text = cursor + 1;
        token.length = static_cast<uint32_t>(close - (cursor + 1));
        *close = '\0';
        cursor = close + 1;
        token.kind = VX_TOKEN_SECTION;
        return true;
    }

    if (allowParens && (c == '(' || c == ')')) {
        token.kind = c == '(' ? VX_TOKEN_OPEN : VX_TOKEN_CLOSE;
        ++cursor;
        return true;
    }

    // Word: up to the next blank, tab or end of line; its first character
    // is taken whatever it is.
    char *start = cursor;
    char *end = start + 1;
    while (*end != '\0' && *end != ' ' && *end != '\t')
        ++end;
    token.text = start;
    token.length = static_cast<uint32_t>(end - start);
    token.kind = VX_TOKEN_WORD;
    if (*end != '\0') {
        *end = '\0';
        cursor = end + 1;
    } else {
        cursor = end;
    }
    return true;
}
