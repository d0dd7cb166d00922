// Reads one layout file into a VX_Layout. A loader lives for one load only:
// the parser, the current token (which points into the parser's line
// buffer) and whether the load has failed go with it, so nothing of the
// file's reading outlives the file.
//
// Every section reader follows one contract: it is called while `token`
// holds its header, and returns false after exactly one message (its own,
// or the reader's or tokenizer's below it), or true with `token` holding
// the first token after the section, read in VX_READ_NUMBERS mode.
#ifndef VEXIL_ENGINE_VX_LAYOUTLOADER_H
#define VEXIL_ENGINE_VX_LAYOUTLOADER_H

#include <cstdarg>
#include <cstdint>

#include "config/VX_Parser.h"
#include "config/VX_Token.h"
#include "engine/VX_Engine.h"

class VX_Engine;
class VX_Image;
class VX_Layout;
struct VX_Key;

class VX_LayoutLoader {
public:
    // A loader for `layout`, whose engine finds the files and the pictures.
    explicit VX_LayoutLoader(VX_Layout &layout);
    VX_LayoutLoader(const VX_LayoutLoader &) = delete;
    VX_LayoutLoader &operator=(const VX_LayoutLoader &) = delete;

    // Names the layout `layoutName` and reads "<layoutName>.cfg" from the
    // engine's search directories; false on any failure, after its message.
    bool load(const char *layoutName);
    // Reads the sections of the file at `path` into the layout, which keeps
    // the name it has; false on any failure, after its message.
    bool readFile(const char *filePath);

private:
    // One section each; see the contract above.
    bool parseCommon();
    bool parseLayout();
    bool parseGeometry();
    bool parseStrings();
    bool parseBoard();
    bool parsePixs();
    // A picture item of a [Pixs] entry, after its '(': stores the piece of
    // `key`'s size it names in `slot` (null when the picture cannot be had,
    // which is no failure).
    bool readPictureItem(VX_Key &key, VX_Image *&slot);
    // A [Board] colour component (0..255) or board size (0..kMaxBoardSize).
    bool readColourComponent(int32_t &component);
    bool readBoardSize(int32_t &size);

    // Reads the next token into `token`; false after the reader's or the
    // tokenizer's message.
    bool next(VX_TokenMode mode);
    // Read one token and insist on its kind, with a positioned message when
    // it is another.
    bool expectNumber(int32_t &value);
    bool expectOpen();
    bool expectClose();
    bool expectString();
    // The first token of entry `read` of a section of `expected` entries:
    // '(' when `open`, else a word, with expectOpen's or expectString's
    // message when it is another. A header or the end of the file there
    // is told to the engine's observer as a section that is short.
    bool startEntry(bool open, const char *section, int32_t read, int32_t expected);
    // Writes the diagnostic `format` followed by the position " (<file>,
    // <line>)" and a line feed: the one way a positioned message is
    // written. fail() ends the load (always false, for `return fail(...)`);
    // warn() lets it go on.
    bool fail(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void warn(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void report(const char *format, va_list args);

    VX_Layout &layout;  // the layout being filled
    VX_Engine &engine;  // the layout's engine: files and pictures
    VX_Parser in;       // the open layout file
    VX_Token token;     // current token; its text lives in `in`'s line buffer
    char path[VX_Engine::kPathSize] = {};  // the file being read, for the observer
};

#endif
