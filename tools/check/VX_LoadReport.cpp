#include "tools/check/VX_LoadReport.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/VX_Log.h"
#include "engine/VX_Engine.h"

namespace {

bool startsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Reads one line, line feed removed, into `line`; false at the end.
bool readLine(FILE *file, std::string &line)
{
    line.clear();
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\n')
            return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

// Pictures load encoded: decoding all of them finds broken image data that
// the program would meet only when it first shows the layout.
bool loadAndDecode(VX_Engine &engine)
{
    if (!engine.load())
        return false;
    engine.prepareAll();
    return true;
}

}  // namespace

bool VX_LoadReport::isInformation(const char *line)
{
    if (startsWith(line, "VX_Engine: load complete - basic: "))
        return true;
    // "VX_Layout: read %d entries from [<Section>] (<layout>)"
    static const char kRead[] = "VX_Layout: read ";
    if (!startsWith(line, kRead))
        return false;
    const char *p = line + sizeof kRead - 1;
    if (*p < '0' || *p > '9')
        return false;
    while (*p >= '0' && *p <= '9')
        ++p;
    return startsWith(p, " entries from [");
}

void VX_LoadReport::run(VX_Engine &engine)
{
    diagnostics = 0;
    FILE *capture = std::tmpfile();
    if (!capture) {
        vxLog.print("vexil-check: can't capture the load report, it is not checked\n");
        ++diagnostics;
        loaded = loadAndDecode(engine);
        return;
    }
    FILE *saved = vxLog.stream;
    vxLog.stream = capture;
    loaded = loadAndDecode(engine);
    vxLog.stream = saved;

    std::rewind(capture);
    std::string line;
    while (readLine(capture, line)) {
        vxLog.print("%s\n", line.c_str());
        if (!isInformation(line.c_str()))
            ++diagnostics;
    }
    std::fclose(capture);
}
