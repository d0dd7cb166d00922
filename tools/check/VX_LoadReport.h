// Runs the engine's load as the keyboard does, its lines going straight to
// standard output, and counts the diagnostics among them: the lines the log
// sink writes as diagnostics, not the information lines a clean load writes
// too (entry counts, the load summary).
#ifndef VEXIL_TOOLS_CHECK_VX_LOADREPORT_H
#define VEXIL_TOOLS_CHECK_VX_LOADREPORT_H

#include <cstdint>

#include "tools/check/VX_LoadExplainer.h"

class VX_Engine;

class VX_LoadReport {
public:
    // Loads `engine` with what vexil-panel adds to it (the emoji board,
    // the layouts' alternates) and decodes every picture its layouts draw, with
    // `explainer` telling the author after each layout what its lines
    // leave open; afterwards `loaded` holds load()'s result and
    // `diagnostics` the number of diagnostics written meanwhile.
    void run(VX_Engine &engine);

    bool loaded = false;       // load() returned true
    uint64_t diagnostics = 0;  // diagnostics written by the load
    VX_LoadExplainer explainer;  // what the load met; lives as long as the engine's layouts are read
};

#endif
