#include "tools/check/VX_LoadReport.h"

#include "base/VX_Log.h"
#include "engine/VX_Engine.h"

void VX_LoadReport::run(VX_Engine &engine)
{
    const uint64_t before = vxLog.diagnostics;
    engine.observer = &explainer;
    loaded = engine.load();
    engine.observer = nullptr;
    // Pictures load encoded: decoding all of them finds broken image data
    // that the program would meet only when it first shows the layout.
    if (loaded)
        engine.prepareAll();
    diagnostics = vxLog.diagnostics - before;
}
