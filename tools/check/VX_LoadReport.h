// Runs the engine's load with the log sink captured, passes every line on
// to standard output unchanged, and tells the report's diagnostics from the
// lines a clean load writes too.
#ifndef VEXIL_TOOLS_CHECK_VX_LOADREPORT_H
#define VEXIL_TOOLS_CHECK_VX_LOADREPORT_H

class VX_Engine;

class VX_LoadReport {
public:
    // Loads `engine` and decodes every picture its layouts draw; afterwards
    // `loaded` holds load()'s result and `diagnostics` the number of lines
    // that report a problem. When the sink cannot be captured, the load
    // runs uncaptured and that counts as a diagnostic, so a problem is
    // never taken for a clean load.
    void run(VX_Engine &engine);

    // A line a clean load writes too: the load summary and the section
    // readers' entry counts. Every other line reports a problem.
    static bool isInformation(const char *line);

    bool loaded = false;  // load() returned true
    int diagnostics = 0;  // lines reporting a problem
};

#endif
