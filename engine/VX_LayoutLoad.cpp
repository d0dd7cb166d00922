// The layout file loader: finds "<name>.cfg", hands every section to its
// reader, and reads the [Common] section that creates the keys.
#include <cstdio>
#include <cstring>
#include <new>

#include "base/VX_Log.h"
#include "config/VX_Parser.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"

namespace {

// Section headers and their readers, compared exactly.
struct SectionReader {
    const char *name;
    void (VX_Layout::*read)(VX_Parser &);
};

constexpr SectionReader kSectionReaders[] = {
    {"Common", &VX_Layout::parseCommon},
    {"Board", &VX_Layout::parseBoard},
    {"Layout", &VX_Layout::parseLayout},
    {"Geometry", &VX_Layout::parseGeometry},
    {"Strings", &VX_Layout::parseStrings},
    {"Pixs", &VX_Layout::parsePixs},
};

// [Common] parameters in the order they are tested. A parameter either
// takes a number into `value` or, without a value, sets `flag`.
struct CommonParameter {
    const char *name;
    int32_t VX_Layout::*value;
    bool VX_Layout::*flag;
};

constexpr CommonParameter kCommonParameters[] = {
    {"type", &VX_Layout::type, nullptr},
    {"alpha", &VX_Layout::charBytes, nullptr},
    {"keys", &VX_Layout::keyCount, nullptr},
    {"mode", &VX_Layout::modes, nullptr},
    {"bwid", &VX_Layout::keyWidth, nullptr},
    {"bhei", &VX_Layout::keyHeight, nullptr},
    {"pixs", &VX_Layout::pixelUnits, nullptr},
    {"tm-period", &VX_Layout::tmPeriod, nullptr},
    {"tm-rate", &VX_Layout::tmRate, nullptr},
    {"tm-enum-rate", &VX_Layout::tmEnumRate, nullptr},
    {"tm-enum-reset", &VX_Layout::tmEnumReset, nullptr},
    {"draw-pressed", &VX_Layout::drawPressed, nullptr},
    {"repeat-on", &VX_Layout::repeatOn, nullptr},
    {"number", nullptr, &VX_Layout::numberLayout},
    {"text", nullptr, &VX_Layout::textLayout},
};

// The longest file name formed from a layout's name.
constexpr const char *kBackgroundSuffix = "_bg.gif";

// Out of 0..max when read as unsigned, so a negative value fails too.
bool outOfRange(int32_t value, uint32_t max) { return static_cast<uint32_t>(value) > max; }

}  // namespace

bool VX_Layout::load(const char *layoutName)
{
    if (!layoutName)
        return false;
    size_t nameLength = std::strlen(layoutName);
    char *copy = new (std::nothrow) char[nameLength + 1];
    if (copy)
        std::memcpy(copy, layoutName, nameLength + 1);
    else
        vxLog.print("VX_Layout: can't allocate memory\n");
    name.reset(copy);

    // Every file name formed from the layout's name must fit, the longest
    // (the default background) included; a name that does not is refused
    // rather than cut to the name of some other file.
    if (nameLength + std::strlen(kBackgroundSuffix) >= static_cast<size_t>(kFileNameSize)) {
        vxLog.print("VX_Layout: name too long for a file name (%s)\n", displayName());
        return false;
    }
    char fileName[kFileNameSize];
    std::snprintf(fileName, sizeof fileName, "%s.cfg", layoutName);

    VX_Parser in;
    if (!in.open(engine->findFile(fileName))) {
        in.close();
        return false;
    }

    failed = false;
    if (!in.nextToken(token, VX_READ_NUMBERS)) {
        failed = true;
        in.close();
        return false;
    }
    while (token.kind != VX_TOKEN_END) {
        if (token.kind != VX_TOKEN_SECTION) {
            vxLog.print("VX_Layout: section expected (%s, %u)\n", in.displayName(), in.lineCount);
            in.close();
            return false;
        }
        const SectionReader *reader = vxFindKeyword(kSectionReaders, token.text);
        if (!reader) {
            in.close();
            return false;
        }
        (this->*(reader->read))(in);
        if (failed) {
            in.close();
            return false;
        }
    }

    // A pixmap-filled board without a picture of its own takes the one named
    // after the layout, else the engine's first board picture.
    if (!background && fillMethod == VX_FILL_PIXMAP) {
        std::snprintf(fileName, sizeof fileName, "%s%s", layoutName, kBackgroundSuffix);
        background = engine->getBoardPicture(fileName);
        if (!background)
            background = engine->boardPictures.first();
    }
    in.close();
    return true;
}

void VX_Layout::parseCommon(VX_Parser &in)
{
    for (;;) {
        failed = !in.nextToken(token, VX_READ_NUMBERS);
        if (failed)
            return;
        if (token.kind != VX_TOKEN_WORD)
            break;
        const CommonParameter *parameter = vxFindKeyword(kCommonParameters, token.text);
        if (!parameter) {
            vxLog.print("VX_Layout: unknown parameter '%s' in [Common] section (%s, %u)\n",
                        token.text, in.displayName(), in.lineCount);
            failed = true;
            return;
        }
        if (parameter->flag) {
            this->*(parameter->flag) = true;
            continue;
        }
        failed = !expectNumber(in, this->*(parameter->value));
        if (failed)
            return;
    }

    failed = !checkCommon();
    if (failed)
        return;
    // A fresh array: whatever earlier key sections stored is gone.
    VX_Key *created = new (std::nothrow) VX_Key[static_cast<size_t>(keyCount)];
    if (!created) {
        vxLog.print("VX_Layout: can't allocate memory for %d keys\n", keyCount);
        failed = true;
        return;
    }
    keys.reset(created);
}

bool VX_Layout::checkCommon()
{
    bool valid = true;
    if (outOfRange(type, 1)) {
        vxLog.print("VX_Layout: invalid value for type\n");
        valid = false;
    }
    if (charBytes != 1 && charBytes != 2) {
        vxLog.print("VX_Layout: invalid value for alpha\n");
        valid = false;
    }
    if (modes != 1 && modes != 2) {
        vxLog.print("VX_Layout: invalid value for modes\n");
        valid = false;
    }
    if (keyWidth < 0) {
        vxLog.print("VX_Layout: invalid value for bwid\n");
        valid = false;
    }
    if (keyHeight < 0) {
        vxLog.print("VX_Layout: invalid value for bhei\n");
        valid = false;
    }
    if (outOfRange(pixelUnits, 1)) {
        vxLog.print("VX_Layout: invalid value for pixs\n");
        valid = false;
    }
    if (keyCount == 0) {
        vxLog.print("VX_Layout: keys count not specified\n");
        valid = false;
    } else if (keyCount < 0 || keyCount > kMaxKeys) {
        // The key array is created from this count at once.
        vxLog.print("VX_Layout: invalid value for keys (at most %d)\n", kMaxKeys);
        valid = false;
    }
    return valid;
}
