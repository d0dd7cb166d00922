// [Board] sets the board's size, colour, fill method and background picture.
// [Pixs] gives every key its released and pressed picture per mode, each a
// key-sized rectangle cut from a picture file through the engine's caches.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"
#include "engine/VX_LayoutLoader.h"
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

// A number in 0..255. Larger values are refused, not clamped, so that a
// typing error in a colour does not pass unnoticed.
bool VX_LayoutLoader::readColourComponent(int32_t &component)
{
    int32_t value = 0;
    if (!expectNumber(value))
        return false;
    if (value > kColourMax)
        return fail("VX_Layout: colour component out of range 0..255");
    component = value;
    return true;
}

// A number of pixels up to VX_Layout::kMaxBoardSize. A larger board is
// refused: the window could not show it, and its pixels alone would take
// gigabytes.
bool VX_LayoutLoader::readBoardSize(int32_t &size)
{
    int32_t value = 0;
    if (!expectNumber(value))
        return false;
    if (value > VX_Layout::kMaxBoardSize)
        return fail("VX_Layout: board size out of range, at most %d pixels",
                    VX_Layout::kMaxBoardSize);
    size = value;
    return true;
}

bool VX_LayoutLoader::parseBoard()
{
    for (;;) {
        if (!next(VX_READ_NUMBERS))
            return false;
        if (token.kind != VX_TOKEN_WORD)
            break;
        const NameValue *param = vxFindKeyword(kBoardParams, token.text);
        if (!param)
            return fail("VX_Layout: unknown parameter '%s' in [Board] section", token.text);
        bool read = true;
        switch (param->value) {
        case kParamColor:
            read = expectOpen() && readColourComponent(layout.red) &&
                   readColourComponent(layout.green) && readColourComponent(layout.blue) &&
                   expectClose();
            break;
        case kParamFill: {
            read = expectString();
            if (!read)
                break;
            const NameValue *method = vxFindKeyword(kFillMethods, token.text);
            if (!method) {
                // Not a failure: the board is filled with its colour.
                warn("VX_Layout: unknown fill method '%s', board fill method will be 'color'",
                     token.text);
                layout.fillMethod = VX_FILL_COLOR;
            } else {
                layout.fillMethod = method->value;
            }
            break;
        }
        case kParamPixmap:
            read = expectString();
            // Only a pixmap-filled board takes a background; "fill pixmap"
            // has to come first.
            if (!read || layout.fillMethod != VX_FILL_PIXMAP)
                break;
            if (std::strcmp(token.text, "default") == 0)
                layout.background = engine.boardPictures.first();
            else
                layout.background = engine.getBoardPicture(token.text);
            break;
        case kParamWid:
            read = readBoardSize(layout.width);
            break;
        case kParamHei:
            read = readBoardSize(layout.height);
            break;
        case kParamTransp:
            layout.colorFill = false;
            break;
        }
        if (!read)
            return false;
    }
    // "transp" only counts for a pixmap-filled board.
    if (layout.fillMethod == VX_FILL_COLOR)
        layout.colorFill = true;
    else if (layout.fillMethod == VX_FILL_NONE)
        layout.colorFill = false;
    return true;
}

// '(' [X Y] [file] ')', its '(' already read.
bool VX_LayoutLoader::readPictureItem(VX_Key &key, VX_Image *&slot)
{
    int32_t px = 0;
    int32_t py = 0;
    bool offsetGiven = false;
    if (!next(VX_READ_ENTRIES))
        return false;
    if (token.kind == VX_TOKEN_NUMBER) {
        px = token.value;
        offsetGiven = true;
        if (!expectNumber(py) || !next(VX_READ_ENTRIES))
            return false;
    }
    char fileName[VX_Layout::kFileNameSize];
    int written = 0;
    if (token.kind == VX_TOKEN_CLOSE) {
        written = std::snprintf(fileName, sizeof fileName, "%s.gif", layout.displayName());
    } else if (token.kind == VX_TOKEN_WORD) {
        written = std::snprintf(fileName, sizeof fileName, "%s", token.text);
        if (!expectClose())
            return false;
    } else {
        return fail("VX_Layout: another pixmap name or ')' expected");
    }
    if (written < 0 || written >= static_cast<int>(sizeof fileName))
        return fail("VX_Layout: picture file name too long, at most %d bytes",
                    VX_Layout::kFileNameSize - 1);

    int64_t left = key.x;
    int64_t top = key.y;
    if (!offsetGiven) {
        key.pixInPlace = true;
    } else if (layout.pixelUnits == 0) {
        left = int64_t{px} * key.width;
        top = int64_t{py} * key.height;
    } else {
        left = px;
        top = py;
    }
    if (left < INT32_MIN || left > INT32_MAX || top < INT32_MIN || top > INT32_MAX)
        return fail("VX_Layout: picture offset out of range");
    // A picture that cannot be found or read leaves the slot empty; the
    // engine has written why.
    slot = engine.getKeyPiece(fileName, static_cast<int>(left), static_cast<int>(top), key.width,
                              key.height);
    if (!slot && engine.observer)
        engine.observer->pictureRefused(layout, static_cast<int32_t>(&key - layout.keys.get()),
                                        fileName);
    return true;
}

bool VX_LayoutLoader::parsePixs()
{
    const int32_t modeCount = layout.modes < VX_Key::kModes ? layout.modes : VX_Key::kModes;
    int32_t count = 0;
    for (; count < layout.keyCount; ++count) {
        VX_Key &key = layout.keys[count];
        if (!startEntry(true, "Pixs", count, layout.keyCount))
            return false;
        // The entry is read into a copy of the key's slots, so that the 'x'
        // mark never reaches the key, even when the entry fails half-way.
        VX_Image *slots[VX_Key::kModes][VX_Key::kStates];
        std::memcpy(slots, key.pix, sizeof slots);
        int32_t m = 0;
        int state = VX_PIX_RELEASED;
        bool closed = false;
        while (m < modeCount) {
            if (!next(VX_READ_ENTRIES))
                return false;
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
                if (!readPictureItem(key, slots[m][state]))
                    return false;
                state ^= 1;
            } else {
                return fail("VX_Layout: 'x' or '|' or '(' expected");
            }
        }
        if (!closed && !expectClose())
            return false;
        applyPixDefaults(slots, modeCount);
        std::memcpy(key.pix, slots, sizeof slots);
    }
    vxLog.info("VX_Layout: read %d entries from [Pixs] (%s)\n", count, layout.displayName());
    return next(VX_READ_NUMBERS);
}
