// The layout file loader: finds "<name>.cfg", hands every section to its
// reader, and gives a pixmap-filled board its default background. Also the
// token helpers every section reader is built from, and the one way a
// positioned diagnostic is written.
#include "engine/VX_LayoutLoader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"

namespace {

// The longest file name formed from a layout's name.
constexpr const char *kBackgroundSuffix = "_bg.gif";

// Room for a diagnostic before its position: the longest quotes one word of
// a line (at most VX_Input::kLineSize bytes) in a sentence.
constexpr int kMessageSize = 2 * VX_Input::kLineSize;

}  // namespace

VX_LayoutLoader::VX_LayoutLoader(VX_Layout &target) : layout(target), engine(*target.engine) {}

bool VX_LayoutLoader::load(const char *layoutName)
{
    if (!layoutName)
        return false;
    size_t nameLength = std::strlen(layoutName);
    char *copy = new (std::nothrow) char[nameLength + 1];
    if (copy)
        std::memcpy(copy, layoutName, nameLength + 1);
    else
        vxLog.print("VX_Layout: can't allocate memory\n");
    layout.name.reset(copy);

    // Every file name formed from the layout's name must fit, the longest
    // (the default background) included; a name that does not is refused
    // rather than cut to the name of some other file.
    if (nameLength + std::strlen(kBackgroundSuffix) >= static_cast<size_t>(VX_Layout::kFileNameSize)) {
        vxLog.print("VX_Layout: name too long for a file name (%s)\n", layout.displayName());
        return false;
    }
    char fileName[VX_Layout::kFileNameSize];
    std::snprintf(fileName, sizeof fileName, "%s.cfg", layoutName);
    if (!readFile(engine.findFile(fileName)))
        return false;

    // A pixmap-filled board without a picture of its own takes the one named
    // after the layout, else the engine's first board picture.
    if (!layout.background && layout.fillMethod == VX_FILL_PIXMAP) {
        std::snprintf(fileName, sizeof fileName, "%s%s", layoutName, kBackgroundSuffix);
        layout.background = engine.getBoardPicture(fileName);
        if (!layout.background)
            layout.background = engine.boardPictures.first();
    }
    return true;
}

bool VX_LayoutLoader::readFile(const char *filePath)
{
    // Section headers and their readers, compared exactly.
    struct SectionReader {
        const char *name;
        bool (VX_LayoutLoader::*read)();
    };
    static constexpr SectionReader kSectionReaders[] = {
        {vxSectionNames[0], &VX_LayoutLoader::parseCommon},
        {vxSectionNames[1], &VX_LayoutLoader::parseBoard},
        {vxSectionNames[2], &VX_LayoutLoader::parseLayout},
        {vxSectionNames[3], &VX_LayoutLoader::parseGeometry},
        {vxSectionNames[4], &VX_LayoutLoader::parseStrings},
        {vxSectionNames[5], &VX_LayoutLoader::parsePixs},
    };
    static_assert(sizeof kSectionReaders / sizeof kSectionReaders[0] ==
                      sizeof vxSectionNames / sizeof vxSectionNames[0],
                  "a reader for every section name");

    // The engine's path buffer changes with every later search.
    if (filePath)
        std::snprintf(path, sizeof path, "%s", filePath);
    // The reader closes the file on every way out, with the loader.
    if (!in.open(filePath) || !next(VX_READ_NUMBERS))
        return false;
    while (token.kind != VX_TOKEN_END) {
        if (token.kind != VX_TOKEN_SECTION)
            return fail("VX_Layout: section expected");
        // An unknown header ends the load without a message of its own.
        const SectionReader *reader = vxFindKeyword(kSectionReaders, token.text);
        if (!reader) {
            if (engine.observer)
                engine.observer->unknownSection(path, in.lineCount, token.text);
            return false;
        }
        if (!(this->*(reader->read))())
            return false;
    }
    in.close();
    return true;
}

bool VX_LayoutLoader::next(VX_TokenMode mode) { return in.nextToken(token, mode); }

bool VX_LayoutLoader::expectNumber(int32_t &value)
{
    if (!next(VX_READ_NUMBERS))
        return false;
    if (token.kind != VX_TOKEN_NUMBER)
        return fail("VX_Layout: number expected");
    value = token.value;
    return true;
}

bool VX_LayoutLoader::expectOpen()
{
    if (!next(VX_READ_ENTRIES))
        return false;
    return token.kind == VX_TOKEN_OPEN || fail("VX_Layout: '(' expected");
}

bool VX_LayoutLoader::expectClose()
{
    if (!next(VX_READ_ENTRIES))
        return false;
    return token.kind == VX_TOKEN_CLOSE || fail("VX_Layout: ')' expected");
}

bool VX_LayoutLoader::expectString()
{
    if (!next(VX_READ_WORDS))
        return false;
    return token.kind == VX_TOKEN_WORD || fail("VX_Layout: string expected");
}

bool VX_LayoutLoader::startEntry(bool open, const char *section, int32_t read, int32_t expected)
{
    if (!next(open ? VX_READ_ENTRIES : VX_READ_WORDS))
        return false;
    if (token.kind == (open ? VX_TOKEN_OPEN : VX_TOKEN_WORD))
        return true;
    if (engine.observer && (token.kind == VX_TOKEN_SECTION || token.kind == VX_TOKEN_END))
        engine.observer->sectionShort(path, in.lineCount, section, read, expected);
    return fail(open ? "VX_Layout: '(' expected" : "VX_Layout: string expected");
}

bool VX_LayoutLoader::fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    report(format, args);
    va_end(args);
    return false;
}

void VX_LayoutLoader::warn(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    report(format, args);
    va_end(args);
}

void VX_LayoutLoader::report(const char *format, va_list args)
{
    char message[kMessageSize];
    std::vsnprintf(message, sizeof message, format, args);
    vxLog.print("%s (%s, %u)\n", message, in.displayName(), static_cast<unsigned>(in.lineCount));
}
