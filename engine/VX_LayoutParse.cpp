// The parse helpers of VX_Layout: read one token into the layout's `token`
// and insist on its kind. Every section parser is built from them.
#include "base/VX_Log.h"
#include "config/VX_Parser.h"
#include "engine/VX_Layout.h"

bool VX_Layout::expectNumber(VX_Parser &in, int32_t &value)
{
    if (!in.nextToken(token, VX_READ_NUMBERS))
        return false;
    if (token.kind != VX_TOKEN_NUMBER) {
        vxLog.print("VX_Layout: number expected (%s, %u)\n", in.displayName(),
                    static_cast<unsigned>(in.lineCount));
        return false;
    }
    value = token.value;
    return true;
}

bool VX_Layout::expectOpen(VX_Parser &in)
{
    if (!in.nextToken(token, VX_READ_ENTRIES))
        return false;
    if (token.kind != VX_TOKEN_OPEN) {
        vxLog.print("VX_Layout: '(' expected (%s, %u)\n", in.displayName(),
                    static_cast<unsigned>(in.lineCount));
        return false;
    }
    return true;
}

bool VX_Layout::expectClose(VX_Parser &in)
{
    if (!in.nextToken(token, VX_READ_ENTRIES))
        return false;
    if (token.kind != VX_TOKEN_CLOSE) {
        vxLog.print("VX_Layout: ')' expected (%s, %u)\n", in.displayName(),
                    static_cast<unsigned>(in.lineCount));
        return false;
    }
    return true;
}

bool VX_Layout::expectString(VX_Parser &in)
{
    if (!in.nextToken(token, VX_READ_WORDS))
        return false;
    if (token.kind != VX_TOKEN_WORD) {
        vxLog.print("VX_Layout: string expected (%s, %u)\n", in.displayName(),
                    static_cast<unsigned>(in.lineCount));
        return false;
    }
    return true;
}
