// A load.cfg that breaks after good names: the window shows the layouts the
// engine holds, the first basic one at its size and with all its pictures.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "tests/TestSupport.h"

namespace {

// One 20 x 20 key cut from the top left of kb.gif (red) on a 60 x 30 board
// whose background is kb_bg.gif (green).
void writeLayout(const TempDir &dir)
{
    dir.writeGif("kb.gif", 20, 20, 0xff0000);
    dir.writeGif("kb_bg.gif", 60, 30, 0x00ff00);
    dir.write("kb.cfg", "[Common]\nkeys 1 bwid 20 bhei 20\n[Layout]\nbks\n[Geometry]\n(0 0)\n"
                        "[Pixs]\n( ( 0 0 ) )\n[Board]\nwid 60 hei 30 fill pixmap\n");
}

}  // namespace

TEST(FailedLoad, WindowShowsTheFirstBasicLayoutWithItsPictures)
{
    ensureApp();
    const struct Row {
        const char *what;
        std::string list;     // load.cfg
        bool engineSucceeds;  // what the engine's load reports
    } rows[] = {
        {"'[' without ']' after the name", "kb\n[broken\n", false},
        {"line longer than the reader takes", "kb\n" + std::string(400, 'a') + "\n", false},
        {"a number where a name is due", "kb 12\n", true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        writeLayout(dir);
        dir.write("load.cfg", row.list);
        LogCapture log;
        QVX_Main window({dir.path()});
        const std::vector<std::string> lines = log.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back() == "VX_Engine: load complete - basic: 1, aux: 0", row.engineSucceeds)
            << log.text();
        ASSERT_NE(window.board->engine.activeLayout(), nullptr);
        EXPECT_EQ(window.board->minimumSize(), QSize(60, 30));
        EXPECT_EQ(window.board->maximumSize(), QSize(60, 30));

        window.show();
        const QImage shown = window.board->grab().toImage();
        ASSERT_EQ(shown.size(), QSize(60, 30));
        EXPECT_EQ(shown.pixel(10, 10), 0xffff0000u);  // the key
        EXPECT_EQ(shown.pixel(40, 20), 0xff00ff00u);  // the background
    }
}
