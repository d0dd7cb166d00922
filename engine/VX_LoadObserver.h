// Hears what a load meets that its diagnostics leave implicit, so that a
// tool can explain a failed or damaged layout file to its author. The
// keyboard sets none; a load with an observer behaves and writes exactly as
// one without.
#ifndef VEXIL_ENGINE_VX_LOADOBSERVER_H
#define VEXIL_ENGINE_VX_LOADOBSERVER_H

#include <cstdint>

class VX_Layout;

class VX_LoadObserver {
public:
    virtual ~VX_LoadObserver() = default;

    // The header `[header]` at `line` of the file at `path` names no section;
    // the load of that file ends there without a message of the loader's.
    virtual void unknownSection(const char *path, uint32_t line, const char *header) = 0;
    // Section `[section]` of the file at `path` wants `expected` entries
    // (its layout's keys, or its alpha keys for [Strings]), and at `line`,
    // where entry `read` (counted from 0) was due, it met a section header
    // or the end of the file: the section holds `read` entries.
    virtual void sectionShort(const char *path, uint32_t line, const char *section,
                              int32_t read, int32_t expected) = 0;
    // A [Pixs] picture item of key `key` of `layout` asked for a piece of
    // `fileName` and got none (the engine has written why).
    virtual void pictureRefused(const VX_Layout &layout, int32_t key, const char *fileName) = 0;
    // The load of the layout `name` ended, after the engine's own line on
    // it when it failed; `placed` tells whether it went into a slot.
    virtual void layoutDone(const char *name, bool placed) = 0;
};

#endif
