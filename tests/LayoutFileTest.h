// Fixture for the layout-file section tests: an engine over a temporary
// directory, a captured log, and one layout loaded from text.
#ifndef VEXIL_TESTS_LAYOUTFILETEST_H
#define VEXIL_TESTS_LAYOUTFILETEST_H

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "tests/TestSupport.h"

// Names of the layouts placed in `row` of `engine`, slot order.
inline std::vector<std::string> layoutNames(const VX_Engine &engine, int row)
{
    std::vector<std::string> names;
    engine.forEachLayout([&](int32_t r, int32_t, const VX_Layout &layout) {
        if (r == row)
            names.push_back(layout.displayName());
    });
    return names;
}

class LayoutFileTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApp(); }

    // Loads "<name>.cfg" holding `text` into a fresh layout, outside any
    // slot; the log then holds only this load's messages.
    bool loadLayout(const std::string &text, const char *name = "kb")
    {
        log.clear();
        dir.write(std::string(name) + ".cfg", text);
        layout = std::make_unique<VX_Layout>(&engine);
        return layout->load(name);
    }

    // The log holds `line` (without its line feed).
    bool logged(const std::string &line) const
    {
        const auto lines = log.lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TempDir dir;
    VX_Engine engine{{dir.path()}};
    LogCapture log;
    std::unique_ptr<VX_Layout> layout;
};

#endif
