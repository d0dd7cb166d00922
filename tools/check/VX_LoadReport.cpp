#include "tools/check/VX_LoadReport.h"

#include "base/VX_Log.h"
#include "engine/VX_Engine.h"

void VX_LoadReport::run(VX_Engine &engine)
{
    const uint64_t before = vxLog.diagnostics;
    engine.observer = &explainer;
    loaded = engine.load();
    engine.observer = nullptr;
    // What vexil-panel adds to the set: the emoji board its menu opens,
    // and every layout's file of alternates.
    if (loaded) {
        engine.menuAuxSlot = engine.addAuxLayout("emoji");
        engine.loadAlternates();
    }
    // Pictures load encoded: decoding all of them finds broken image data
    // that the program would meet only when it first shows the layout.
    if (loaded)
        engine.prepareAll();
    diagnostics = vxLog.diagnostics - before;
}
