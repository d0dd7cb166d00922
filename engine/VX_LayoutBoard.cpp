// [Board] sets the board's size, colour, fill method and background picture.
// [Pixs] gives every key its released and pressed picture per mode, each a
// key-sized rectangle cut from a picture file through the engine's caches.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/VX_Log.h"
#include "config/VX_Parser.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"
#include "image/VX_Image.h"

namespace {

struct NameValue {
    const char *name;
    int32_t value;
};

enum BoardParam { kParamColor, kParamFill, kParamPixmap, kParamWid, kParamHei, kParamTransp };

static constexpr NameValue kBoardParams[] = {
    {"color", kParamColor}, {"fill", kParamFill}, {"pixmap", kParamPixmap},
    {"wid", kParamWid},     {"hei", kParamHei},   {"transp", kParamTransp},
};

static constexpr NameValue kFillMethods[] = {
    {"color", VX_FILL_COLOR},
    {"pixmap", VX_FILL_PIXMAP},
    {"none", VX_FILL_NONE},
};

constexpr int32_t kColourMax = 255;

// One colour component: a number in 0..255. Larger values are refused, not
// clamped, so that a typing error in a colour does not pass unnoticed.
bool readColourComponent(VX_Layout &layout, VX_Parser &in, int32_t &component)
{
    int32_t value = 0;
    if (!layout.expectNumber(in, value))
        return false;
    if (value < 0 || value > kColourMax) {
        vxLog.print("VX_Layout: colour component out of range 0..255 (%s, %u)\n",
                    in.displayName(), in.lineCount);
        return false;
    }
    component = value;
    return true;
}

// One board dimension: a number of pixels up to VX_Layout::kMaxBoardSize.
// A larger board is refused: the window could not show it, and its pixels
// alone would take gigabytes.
bool readBoardSize(VX_Layout &layout, VX_Parser &in, int32_t &size)
{
    int32_t value = 0;
    if (!layout.expectNumber(in, value))
        return false;
    if (value > VX_Layout::kMaxBoardSize) {
        vxLog.print("VX_Layout: board size out of range, at most %d pixels (%s, %u)\n",
                    VX_Layout::kMaxBoardSize, in.displayName(), in.lineCount);
        return false;
    }
    size = value;
    return true;
}

// Marks a [Pixs] slot given as 'x' (explicitly no picture) while an entry is
// read. It is only ever compared, never dereferenced, and never left in a key.
alignas(VX_Image) char xMarkTag;
VX_Image *const kXMark = reinterpret_cast<VX_Image *>(&xMarkTag);

// Fills the empty slots of one key from the ones given, then clears the 'x'
// marks: pressed falls back to released of the same mode, released of a
// later mode to released of the mode before; 'x' stops both.
void applyPixDefaults(VX_Image *slots[VX_Key::kModes][VX_Key::kStates], int32_t modeCount)
{
    VX_Image **mode0 = slots[0];
    if (!mode0[VX_PIX_PRESSED])
        mode0[VX_PIX_PRESSED] = mode0[VX_PIX_RELEASED];
    for (int s = 0; s < VX_Key::kStates; ++s)
        if (mode0[s] == kXMark)
            mode0[s] = nullptr;
    for (int32_t m = 1; m < modeCount; ++m) {
        VX_Image **cur = slots[m];
        if (!cur[VX_PIX_RELEASED])
            cur[VX_PIX_RELEASED] = slots[m - 1][VX_PIX_RELEASED];
        else if (cur[VX_PIX_RELEASED] == kXMark)
            cur[VX_PIX_RELEASED] = nullptr;
        if (!cur[VX_PIX_PRESSED])
            cur[VX_PIX_PRESSED] = cur[VX_PIX_RELEASED];
        else if (cur[VX_PIX_PRESSED] == kXMark)
            cur[VX_PIX_PRESSED] = nullptr;
    }
}

}  // namespace

void VX_Layout::parseBoard(VX_Parser &in)
{
    for (;;) {
        failed = !in.nextToken(token, VX_READ_NUMBERS);
        if (failed)
            return;
        if (token.kind != VX_TOKEN_WORD)
            break;
        const NameValue *param = vxFindKeyword(kBoardParams, token.text);
        if (!param) {
            vxLog.print("VX_Layout: unknown parameter '%s' in [Board] section (%s, %u)\n",
                        token.text, in.displayName(), in.lineCount);
            failed = true;
            return;
        }
        switch (param->value) {
        case kParamColor:
            failed = !expectOpen(in) || !readColourComponent(*this, in, red) ||
                     !readColourComponent(*this, in, green) ||
                     !readColourComponent(*this, in, blue) || !expectClose(in);
            break;
        case kParamFill: {
            failed = !expectString(in);
            if (failed)
                break;
            const NameValue *method = vxFindKeyword(kFillMethods, token.text);
            if (!method) {
                vxLog.print("VX_Layout: unknown fill method '%s', board fill method will be "
                            "'color' (%s, %u)\n",
                            token.text, in.displayName(), in.lineCount);
                fillMethod = VX_FILL_COLOR;
            } else {
                fillMethod = method->value;
            }
            break;
        }
        case kParamPixmap:
            failed = !expectString(in);
            // Only a pixmap-filled board takes a background; "fill pixmap"
            // has to come first.
            if (failed || fillMethod != VX_FILL_PIXMAP)
                break;
            if (std::strcmp(token.text, "default") == 0)
                background = engine->boardPictures.first();
            else
                background = engine->getBoardPicture(token.text);
            break;
        case kParamWid:
            failed = !readBoardSize(*this, in, width);
            break;
        case kParamHei:
            failed = !readBoardSize(*this, in, height);
            break;
        case kParamTransp:
            colorFill = false;
            break;
        }
        if (failed)
            return;
    }
    // "transp" only counts for a pixmap-filled board.
    if (fillMethod == VX_FILL_COLOR)
        colorFill = true;
    else if (fillMethod == VX_FILL_NONE)
        colorFill = false;
}

void VX_Layout::parsePixs(VX_Parser &in)
{
    const int32_t modeCount = modes < VX_Key::kModes ? modes : VX_Key::kModes;
    char fileName[kFileNameSize];
    int32_t count = 0;
    for (; count < keyCount; ++count) {
        VX_Key &key = keys[count];
        failed = !expectOpen(in);
        if (failed)
            return;
        // The entry is read into a copy of the key's slots, so that the 'x'
        // mark never reaches the key, even when the entry fails half-way.
        VX_Image *slots[VX_Key::kModes][VX_Key::kStates];
        std::memcpy(slots, key.pix, sizeof slots);
        int32_t m = 0;
        int state = VX_PIX_RELEASED;
        bool closed = false;
        while (m < modeCount) {
            failed = !in.nextToken(token, VX_READ_ENTRIES);
            if (failed)
                return;
            if (token.kind == VX_TOKEN_WORD && token.text[0] == 'x') {
                slots[m][state] = kXMark;
                state ^= 1;
            } else if (token.kind == VX_TOKEN_WORD && token.text[0] == '|') {
                ++m;
                state = VX_PIX_RELEASED;
            } else if (token.kind == VX_TOKEN_CLOSE) {
                closed = true;
                break;
            } else if (token.kind == VX_TOKEN_OPEN) {
                // Picture item: '(' [X Y] [file] ')'.
                int32_t px = 0;
                int32_t py = 0;
                bool offsetGiven = false;
                failed = !in.nextToken(token, VX_READ_ENTRIES);
                if (failed)
                    return;
                if (token.kind == VX_TOKEN_NUMBER) {
                    px = token.value;
                    offsetGiven = true;
                    failed = !expectNumber(in, py);
                    if (failed)
                        return;
                    failed = !in.nextToken(token, VX_READ_ENTRIES);
                    if (failed)
                        return;
                }
                int written = 0;
                if (token.kind == VX_TOKEN_CLOSE) {
                    written = std::snprintf(fileName, sizeof fileName, "%s.gif", displayName());
                } else if (token.kind == VX_TOKEN_WORD) {
                    written = std::snprintf(fileName, sizeof fileName, "%s", token.text);
                    failed = !expectClose(in);
                    if (failed)
                        return;
                } else {
                    vxLog.print("VX_Layout: another pixmap name or ')' expected (%s, %u)\n",
                                in.displayName(), in.lineCount);
                    failed = true;
                    return;
                }
                if (written < 0 || written >= static_cast<int>(sizeof fileName)) {
                    vxLog.print("VX_Layout: picture file name too long, at most %d bytes "
                                "(%s, %u)\n",
                                kFileNameSize - 1, in.displayName(), in.lineCount);
                    failed = true;
                    return;
                }
                int64_t left = key.x;
                int64_t top = key.y;
                if (!offsetGiven) {
                    key.pixInPlace = true;
                } else if (pixelUnits == 0) {
                    left = int64_t{px} * key.width;
                    top = int64_t{py} * key.height;
                } else {
                    left = px;
                    top = py;
                }
                if (left < INT32_MIN || left > INT32_MAX || top < INT32_MIN || top > INT32_MAX) {
                    vxLog.print("VX_Layout: picture offset out of range (%s, %u)\n",
                                in.displayName(), in.lineCount);
                    failed = true;
                    return;
                }
                // A picture that cannot be found or read leaves the slot
                // empty; the engine has written why.
                slots[m][state] =
                    engine->getKeyPiece(fileName, static_cast<int>(left),
                                        static_cast<int>(top), key.width, key.height);
                state ^= 1;
            } else {
                vxLog.print("VX_Layout: 'x' or '|' or '(' expected (%s, %u)\n",
                            in.displayName(), in.lineCount);
                failed = true;
                return;
            }
        }
        if (!closed) {
            failed = !expectClose(in);
            if (failed)
                return;
        }
        applyPixDefaults(slots, modeCount);
        std::memcpy(key.pix, slots, sizeof slots);
    }
    vxLog.info("VX_Layout: read %d entries from [Pixs] (%s)\n", count, displayName());
    failed = !in.nextToken(token, VX_READ_NUMBERS);
}
