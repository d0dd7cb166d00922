// The log sink: diagnostics are counted and information lines are not,
// both reach the stream unchanged, and redirections put back what they found.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/VX_Log.h"
#include "base/VX_LogRedirect.h"
#include "tests/TestSupport.h"

namespace {

TEST(Log, CountsDiagnosticsButNotInformationLines)
{
    LogCapture log;
    const uint64_t before = vxLog.diagnostics;
    vxLog.info("VX_Layout: read %d entries from [Layout] (%s)\n", 3, "kb");
    EXPECT_EQ(vxLog.diagnostics, before);
    vxLog.print("VX_Engine: no '%s' in ( %s )\n", "x.cfg", "/d");
    vxLog.print("VX_Layout: keys count not specified\n");
    EXPECT_EQ(vxLog.diagnostics, before + 2);
    EXPECT_EQ(log.text(),
              "VX_Layout: read 3 entries from [Layout] (kb)\n"
              "VX_Engine: no 'x.cfg' in ( /d )\n"
              "VX_Layout: keys count not specified\n");
}

TEST(Log, RedirectionsNestAndRestoreWhatTheyFound)
{
    FILE *const original = vxLog.stream;
    FILE *outer = std::tmpfile();
    FILE *inner = std::tmpfile();
    ASSERT_TRUE(outer && inner);
    {
        VX_LogRedirect a(outer);
        EXPECT_EQ(vxLog.stream, outer);
        {
            VX_LogRedirect b(inner);
            EXPECT_EQ(vxLog.stream, inner);
            // No stream to go to: the sink stays where it is, and is still
            // put back afterwards.
            VX_LogRedirect none(nullptr);
            EXPECT_EQ(vxLog.stream, inner);
        }
        EXPECT_EQ(vxLog.stream, outer);
    }
    EXPECT_EQ(vxLog.stream, original);
    std::fclose(outer);
    std::fclose(inner);
}

TEST(Log, CaptureClearedKeepsOnlyLaterLines)
{
    LogCapture log;
    vxLog.print("first\n");
    log.clear();
    vxLog.print("second\n");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"second"});
}

}  // namespace
