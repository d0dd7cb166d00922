// The real keyboard program on a real (virtual) X server: pictures made by
// vexil-skin, clicks sent with xdotool, the text field read back through the
// clipboard, and the painted board checked pixel by pixel.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/VX_Engine.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"
#include "tests/XSession.h"
#include "tests/TypingPlan.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(5);  // longest wait for one effect
constexpr auto kPollStep = std::chrono::milliseconds(50);
constexpr unsigned kBoardColour = 0xC81EA0;  // the boards' colour: (200, 30, 160)

struct KeyRect {
    int x, y, w, h;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        for (const char *tool : {"Xvfb", "xdotool", "xclip", "xwd"})
            ASSERT_TRUE(haveProgram(tool)) << tool << " is missing (make deps installs it)";
    }

    std::string x(const std::string &command, bool *ok = nullptr)
    {
        return shell("DISPLAY=" + display + " " + command + " 2>/dev/null", ok);
    }

    bool startX() { return startXvfb(xserver, display); }

    // Runs the real vexil with the layouts of `home` (stdout to `log`) and
    // focuses its window.
    bool startKeyboard(const std::string &log)
    {
        if (!keyboard.start({binDir() + "/vexil"},
                            {"DISPLAY=" + display, "XDG_DATA_HOME=" + home.path(), "QT_QPA_PLATFORM=xcb"}, log))
            return false;
        window = x("timeout 10 xdotool search --sync --onlyvisible --pid " + std::to_string(keyboard.pid()));
        window = window.substr(0, window.find('\n'));
        if (window.empty())
            return false;
        x("xdotool windowfocus --sync " + window);
        return true;
    }

    QImage screenshot()
    {
        const std::string dump = x("xwd -root -silent");
        lastDumpSize = dump.size();
        return readXwd(dump);
    }
    size_t lastDumpSize = 0;

    // The board: the rectangle of its flat colour, widened by the edge the
    // background draws around it, for a board of `w` x `h`.
    bool findBoard(int w, int h, QPoint &origin)
    {
        const auto until = Clock::now() + kPatience;
        while (Clock::now() < until) {
            const QImage shot = screenshot();
            lastShot = shot;
            int left = shot.width(), top = shot.height(), right = -1, bottom = -1;
            for (int yy = 0; yy < shot.height(); ++yy) {
                const QRgb *line = reinterpret_cast<const QRgb *>(shot.constScanLine(yy));
                for (int xx = 0; xx < shot.width(); ++xx)
                    if ((line[xx] & 0xffffff) == kBoardColour) {
                        left = std::min(left, xx);
                        right = std::max(right, xx);
                        top = std::min(top, yy);
                        bottom = std::max(bottom, yy);
                    }
            }
            const int edge = (w - (right - left + 1)) / 2;
            if (right >= 0 && edge >= 0 && edge == (h - (bottom - top + 1)) / 2 && right - left + 1 + 2 * edge == w) {
                origin = QPoint(left - edge, top - edge);
                return true;
            }
            std::this_thread::sleep_for(kPollStep);
        }
        return false;
    }

    void click(const QPoint &origin, const KeyRect &key, int times = 1)
    {
        const QPoint at = origin + QPoint(key.x + key.w / 2, key.y + key.h / 2);
        x("xdotool mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click --repeat " +
          std::to_string(times) + " --delay 120 1");
    }

    std::string text()
    {
        x("xdotool key --clearmodifiers ctrl+a ctrl+c ctrl+End");
        return x("xclip -o -selection clipboard");
    }

    // Polls the text field until it reads `expected`; gives what it read last.
    std::string waitText(const std::string &expected)
    {
        std::string got;
        const auto until = Clock::now() + kPatience;
        while (Clock::now() < until) {
            got = text();
            if (got == expected)
                break;
            std::this_thread::sleep_for(kPollStep);
        }
        return got;
    }

    // The key's rectangle on screen equals the picture `want`.
    bool waitLook(const QPoint &origin, const KeyRect &key, const QImage &want)
    {
        const auto until = Clock::now() + kPatience;
        while (Clock::now() < until) {
            const QImage shot = screenshot().copy(origin.x() + key.x, origin.y() + key.y, key.w, key.h);
            if (!shot.isNull() && shot == want)
                return true;
            std::this_thread::sleep_for(kPollStep);
        }
        return false;
    }

    int windowWidth()
    {
        const std::string out = x("xdotool getwindowgeometry --shell " + window);
        const size_t at = out.find("WIDTH=");
        return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
    }

    // Top left of the board that shows `layout`: where its first key's
    // released picture stands on the screen, less that key's place.
    bool findLayout(const VX_Layout &layout, int mode, QPoint &origin)
    {
        const VX_Key &key = layout.keys[0];
        const VX_Image *piece = key.pix[mode][VX_PIX_RELEASED];
        if (!piece)
            return false;
        const QImage want = piece->rootPixmap()->toImage().convertToFormat(QImage::Format_RGB32).copy(
            piece->x, piece->y, key.width, key.height);
        const auto until = Clock::now() + kPatience;
        while (Clock::now() < until) {
            lastShot = screenshot();
            for (int yy = 0; yy + want.height() <= lastShot.height(); ++yy)
                for (int xx = 0; xx + want.width() <= lastShot.width(); ++xx) {
                    bool same = true;
                    for (int row = 0; row < want.height() && same; ++row) {
                        const QRgb *a = reinterpret_cast<const QRgb *>(lastShot.constScanLine(yy + row)) + xx;
                        const QRgb *b = reinterpret_cast<const QRgb *>(want.constScanLine(row));
                        for (int col = 0; col < want.width() && same; ++col)
                            same = (a[col] & 0xffffff) == (b[col] & 0xffffff);
                    }
                    if (same) {
                        origin = QPoint(xx - key.x, yy - key.y);
                        return true;
                    }
                }
            std::this_thread::sleep_for(kPollStep);
        }
        return false;
    }

    // Kept for a look after a failure.
    void saveLastShot()
    {
        if (!lastShot.isNull())
            lastShot.save(QStringLiteral("/tmp/vexil-e2e-screen.png"));
    }

    QImage lastShot;
    TempDir home;
    Child xserver;
    Child keyboard;
    std::string display;
    std::string window;
};

// Keys of the test layouts, as placed in their [Geometry].
constexpr KeyRect kA{10, 10, 60, 50}, kAbc{80, 10, 60, 50}, kBks{150, 10, 60, 50}, kEnt{220, 10, 60, 50},
    kSpace{290, 10, 60, 50}, kCaps{360, 10, 60, 50}, kSwitch{10, 70, 60, 50}, kLink{80, 70, 60, 50};
constexpr KeyRect kSeven{10, 10, 60, 50}, kBack{80, 10, 60, 50};
constexpr KeyRect kX{10, 10, 60, 50};
constexpr int kWide = 520, kNarrow = 420, kHeight = 130;

TEST_F(EndToEnd, TypesSwitchesAndPaintsOnARealXServer)
{
    const std::string dir = home.mkdir("vexil");
    home.write("vexil/load.cfg", "digits\nqw\ntwo\n");
    home.write("vexil/digits.cfg",
               "[Common]\ntype 1 keys 2 bwid 60 bhei 50 draw-pressed 1\n"
               "[Layout]\nalpha switch\n[Geometry]\n(10 10) (80 10)\n[Strings]\n7\n"
               "[Board]\nwid 520 hei 130 color ( 200 30 160 )\n");
    home.write("vexil/qw.cfg",
               "[Common]\ntype 0 keys 8 mode 2 bwid 60 bhei 50 draw-pressed 1 tm-enum-reset 700\n"
               "[Layout]\nalpha alpha bks ent space caps switch digits\n"
               "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70)\n"
               "[Strings]\n( a A ) ( abc ABC )\n"
               "[Board]\nwid 520 hei 130 color ( 200 30 160 )\n");
    home.write("vexil/two.cfg",
               "[Common]\ntype 0 keys 2 bwid 60 bhei 50 draw-pressed 1\n"
               "[Layout]\nalpha switch\n[Geometry]\n(10 10) (80 10)\n[Strings]\nx\n"
               "[Board]\nwid 420 hei 130 color ( 200 30 160 )\n");
    bool ok = false;
    const std::string skinOut = shell(binDir() + "/vexil-skin --write " + dir + "/digits.cfg " + dir + "/qw.cfg " +
                                      dir + "/two.cfg 2>&1", &ok);
    ASSERT_TRUE(ok) << skinOut;
    // The pictures as the keyboard's loader cuts them from the written
    // sheets: layout `row`/`slot`, key 0, per mode and state.
    VX_Engine pictures({dir});
    ASSERT_TRUE(pictures.load());
    pictures.prepareAll();
    auto look = [&](int row, int mode, int state) {
        const VX_Image *piece = pictures.layouts[row][0]->keys[0].pix[mode][state];
        return piece ? piece->rootPixmap()->toImage().convertToFormat(QImage::Format_RGB32).copy(
                           piece->x, piece->y, kA.w, kA.h)
                     : QImage();
    };
    const QImage released = look(VX_LAYOUT_BASIC, 0, 0), pressed = look(VX_LAYOUT_BASIC, 0, 1),
                 upper = look(VX_LAYOUT_BASIC, 1, 0), seven = look(VX_LAYOUT_AUX, 0, 0);
    ASSERT_FALSE(released.isNull() || pressed.isNull() || upper.isNull() || seven.isNull());

    ASSERT_TRUE(startX()) << "Xvfb did not start";
    const std::string log = home.file("vexil.log");
    ASSERT_TRUE(startKeyboard(log)) << "no window";

    QPoint origin;
    if (!findBoard(kWide, kHeight, origin)) {
        saveLastShot();
        FAIL() << "board not painted; dump " << lastDumpSize << " bytes, last screen (" << lastShot.width() << "x" << lastShot.height() << ") in /tmp/vexil-e2e-screen.png";
    }
    std::string all;
    shell("cat " + log).swap(all);
    EXPECT_NE(all.find("VX_Engine: load complete - basic: 2, aux: 1"), std::string::npos) << all;

    // Released look, then pressed while the button is held, then released.
    EXPECT_TRUE(waitLook(origin, kA, released)) << "released look";
    const QPoint a = origin + QPoint(kA.x + kA.w / 2, kA.y + kA.h / 2);
    x("xdotool mousemove --sync " + std::to_string(a.x()) + " " + std::to_string(a.y()) + " mousedown 1");
    EXPECT_TRUE(waitLook(origin, kA, pressed)) << "pressed look";
    x("xdotool mouseup 1");
    EXPECT_TRUE(waitLook(origin, kA, released)) << "released again";
    EXPECT_EQ(waitText("a"), "a");

    // Multi-tap: a, then b and c each erasing the one before.
    click(origin, kAbc, 3);
    EXPECT_EQ(waitText("ac"), "ac");
    // After the reset time a tap starts a fresh cycle (no erase step).
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    click(origin, kAbc);
    EXPECT_EQ(waitText("aca"), "aca");

    click(origin, kBks);
    EXPECT_EQ(waitText("ac"), "ac");
    click(origin, kSpace);
    click(origin, kEnt);
    EXPECT_EQ(waitText("ac \n"), "ac \n");

    // Caps: the letters show and type their second mode.
    click(origin, kCaps);
    EXPECT_TRUE(waitLook(origin, kA, upper)) << "upper-case look";
    click(origin, kA);
    EXPECT_EQ(waitText("ac \nA"), "ac \nA");
    click(origin, kCaps);
    EXPECT_TRUE(waitLook(origin, kA, released)) << "lower-case look";

    // A link to the aux layout and its switch key back.
    click(origin, kLink);
    EXPECT_TRUE(waitLook(origin, kSeven, seven)) << "aux layout shown";
    click(origin, kSeven);
    EXPECT_EQ(waitText("ac \nA7"), "ac \nA7");
    click(origin, kBack);
    EXPECT_TRUE(waitLook(origin, kA, released)) << "back on the basic layout";
    click(origin, kA);
    EXPECT_EQ(waitText("ac \nA7a"), "ac \nA7a");

    // The switch key shows the next basic layout, and the window follows
    // its size.
    const int wide = windowWidth();
    click(origin, kSwitch);
    int narrow = wide;
    for (auto until = Clock::now() + kPatience; Clock::now() < until && narrow == wide;
         std::this_thread::sleep_for(kPollStep))
        narrow = windowWidth();
    EXPECT_EQ(wide - narrow, kWide - kNarrow);
    if (!findBoard(kNarrow, kHeight, origin)) {
        saveLastShot();
        FAIL() << "narrow board not painted; last screen in /tmp/vexil-e2e-screen.png";
    }
    click(origin, kX);
    EXPECT_EQ(waitText("ac \nA7ax"), "ac \nA7ax");
}


// Named keys and a sticky modifier through the real window: the arrow
// moves the cursor, Ctrl latched then a letter selects all, so the next
// letter replaces the text; the latched Ctrl is drawn pressed until the
// letter lets it go, though the layout draws no held key pressed.
TEST_F(EndToEnd, NamedKeysAndCtrlEditTheTextField)
{
    const std::string dir = home.mkdir("vexil");
    home.write("vexil/load.cfg", "keys\n");
    home.write("vexil/keys.cfg",
               "[Common]\ntype 0 keys 6 bwid 60 bhei 50\n"
               "[Layout]\nalpha alpha alpha !Left !Control_L !Home\n"
               "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10)\n"
               "[Strings]\na x c\n"
               "[Board]\nwid 520 hei 130 color ( 200 30 160 )\n");
    bool ok = false;
    const std::string skinOut = shell(binDir() + "/vexil-skin --write " + dir + "/keys.cfg 2>&1", &ok);
    ASSERT_TRUE(ok) << skinOut;
    VX_Engine pictures({dir});
    ASSERT_TRUE(pictures.load());
    pictures.prepareAll();
    const VX_Key &ctrlKey = pictures.layouts[0][0]->keys[4];
    auto look = [&](int state) {
        const VX_Image *piece = ctrlKey.pix[0][state];
        return piece ? piece->rootPixmap()->toImage().convertToFormat(QImage::Format_RGB32).copy(
                           piece->x, piece->y, ctrlKey.width, ctrlKey.height)
                     : QImage();
    };
    const QImage ctrlUp = look(VX_PIX_RELEASED), ctrlLatched = look(VX_PIX_PRESSED);
    ASSERT_FALSE(ctrlUp.isNull() || ctrlLatched.isNull());
    ASSERT_FALSE(ctrlUp == ctrlLatched);

    ASSERT_TRUE(startX()) << "Xvfb did not start";
    ASSERT_TRUE(startKeyboard(home.file("vexil.log"))) << "no window";
    QPoint origin;
    if (!findBoard(kWide, kHeight, origin)) {
        saveLastShot();
        FAIL() << "board not painted; last screen in /tmp/vexil-e2e-screen.png";
    }
    const KeyRect a{10, 10, 60, 50}, xKey{80, 10, 60, 50}, c{150, 10, 60, 50}, left{220, 10, 60, 50},
        ctrl{290, 10, 60, 50}, home{360, 10, 60, 50};

    // "acc", two steps left, x: the x lands after the a.
    for (const KeyRect &key : {a, c, c, left, left, xKey})
        click(origin, key);
    EXPECT_EQ(waitText("axcc"), "axcc");
    // (Reading the text put the cursor at the end.) Home, then x first.
    click(origin, home);
    click(origin, xKey);
    EXPECT_EQ(waitText("xaxcc"), "xaxcc");

    click(origin, ctrl);
    EXPECT_TRUE(waitLook(origin, ctrl, ctrlLatched)) << "latched Ctrl drawn pressed";
    click(origin, a);  // Ctrl+A: all selected; the latch lets go
    EXPECT_TRUE(waitLook(origin, ctrl, ctrlUp)) << "Ctrl let go";
    click(origin, c);
    EXPECT_EQ(waitText("c"), "c") << "the letter after Ctrl+A replaces the text";
}

// The shipped layouts of the other languages on the real window: a user picks
// a set by copying its list to their own load.cfg, and sentences typed by
// clicking key centres read back exactly from the text field.
TEST_F(EndToEnd, TypesSentencesOfEachLanguageWithTheShippedLayouts)
{
    const struct {
        const char *list;
        std::vector<std::pair<const char *, const char *>> sentences;  // layout, text
    } sets[] = {
        {"load-de-fr-es.cfg",
         {{"de", "Schöne Grüße aus Köln: Übermäßig süße Äpfel, Straße!"},
          {"fr", "Où ça? Le garçon a été très poli; Noël à l'école."}}},
        {"load-el-ru.cfg", {{"el", "Καλημέρα, πώς είσαι; Όλα καλά! Ξέρω ότι ΐ και ΰ."}}},
    };
    const std::string shipped = binDir() + "/../share/vexil";
    ASSERT_TRUE(startX()) << "Xvfb did not start";
    for (const auto &set : sets) {
        SCOPED_TRACE(set.list);
        std::ifstream list(shipped + "/" + set.list, std::ios::binary);
        ASSERT_TRUE(list) << shipped << "/" << set.list;
        std::ostringstream names;
        names << list.rdbuf();
        home.mkdir("vexil");
        home.write("vexil/load.cfg", names.str());

        // The same set as the keyboard loads it, to plan the taps on.
        VX_Engine plan({home.path() + "/vexil", shipped});
        ASSERT_TRUE(plan.load());
        plan.prepareAll();

        const std::string log = home.file("vexil.log");
        ASSERT_TRUE(startKeyboard(log)) << "no window";
        QPoint origin;
        if (!findLayout(*plan.activeLayout(), 0, origin)) {
            saveLastShot();
            FAIL() << "board not found; last screen in /tmp/vexil-e2e-screen.png";
        }

        std::string expected;
        for (const auto &sentence : set.sentences) {
            SCOPED_TRACE(sentence.first);
            const TypingResult typing = typeText(plan, sentence.second, sentence.first);
            ASSERT_EQ(typing.error, "");
            ASSERT_EQ(typing.typed, sentence.second);
            for (size_t i = 0; i < typing.taps.size();) {
                const PlannedTap &tap = typing.taps[i];
                if (tap.waitMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(tap.waitMs + 300));
                // Taps in a row on one key go as one burst, well inside the
                // multi-tap reset time.
                size_t burst = 1;
                while (i + burst < typing.taps.size() && !tap.changesLayout && typing.taps[i + burst].key == tap.key &&
                       typing.taps[i + burst].row == tap.row && typing.taps[i + burst].slot == tap.slot &&
                       typing.taps[i + burst].waitMs == 0)
                    ++burst;
                const QPoint at = origin + QPoint(tap.x, tap.y);
                // The pointer is moved away first: a move onto the place it
                // already stands never completes with --sync.
                x("xdotool mousemove --sync 0 0 mousemove --sync " + std::to_string(at.x()) + " " +
                  std::to_string(at.y()) + " click --repeat " + std::to_string(burst) + " --delay 120 1");
                i += burst;
                const PlannedTap &last = typing.taps[i - 1];
                const VX_Layout &shown = *plan.layouts[last.shownRow][last.shownSlot];
                if (last.changesLayout && !findLayout(shown, last.shownMode, origin)) {
                    saveLastShot();
                    FAIL() << shown.displayName() << " not shown";
                }
            }
            expected += sentence.second;
            EXPECT_EQ(waitText(expected), expected);
        }
        std::string all;
        shell("cat " + log).swap(all);
        EXPECT_NE(all.find("VX_Engine: load complete"), std::string::npos) << all;
        keyboard.stop();
    }
}

// A key of `layout` that types one character in mode 0 which no key of
// `other` types in that mode: typing it proves `layout` is the one shown.
int keyOnlyIn(const VX_Layout &layout, const VX_Layout &other, std::string &typed)
{
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        const VX_Key &key = layout.keys[i];
        if (key.type != VX_KEY_ALPHA || key.charCount[0] != 1)
            continue;
        const std::string c = key.chars[0];
        bool elsewhere = false;
        for (int32_t j = 0; j < other.keyCount && !elsewhere; ++j)
            elsewhere = other.keys[j].type == VX_KEY_ALPHA && std::string(other.keys[j].chars[0]).find(c) != std::string::npos;
        if (!elsewhere) {
            typed = c;
            return i;
        }
    }
    return -1;
}

// Index of the key of `layout` that links to `target`, or -1.
int linkTo(const VX_Engine &engine, const VX_Layout &layout, const VX_Layout *target)
{
    for (int32_t i = 0; i < layout.keyCount; ++i)
        if (layout.keys[i].type == VX_KEY_LINK && engine.layoutAt(VX_LAYOUT_AUX, layout.keys[i].linkSlot) == target)
            return i;
    return -1;
}

// The shipped layouts link to the digits and the symbols by name: from the
// letters to the digits, on to the symbols and back to the digits, each
// board proven by a character only it types; then back to the letters.
// With a broken digits file the others load, each dead link is reported
// once, and the symbols are still reached.
TEST_F(EndToEnd, NamedLinksGoBothWaysAndABrokenAuxLayoutTakesOnlyItselfDown)
{
    const std::string shipped = binDir() + "/../share/vexil";
    ASSERT_TRUE(startX()) << "Xvfb did not start";
    const struct {
        const char *why;
        const char *numCfg;  // the user's num.cfg; null: the shipped one
    } runs[] = {{"shipped", nullptr}, {"broken digits", "[Common]\ntype 1\nkeys 24\n[Layout]\nalpha\n"}};
    for (const auto &run : runs) {
        SCOPED_TRACE(run.why);
        home.mkdir("vexil");
        if (run.numCfg)
            home.write("vexil/num.cfg", run.numCfg);
        // The set as the keyboard loads it, to find keys and messages.
        LogCapture capture;
        VX_Engine plan({home.path() + "/vexil", shipped});
        ASSERT_TRUE(plan.load());
        plan.prepareAll();
        std::vector<std::string> deadLinks;
        for (const std::string &line : capture.lines())
            if (line.rfind("VX_Engine: layout '", 0) == 0)
                deadLinks.push_back(line);
        const VX_Layout *en = plan.layoutNamed("en"), *num = plan.layoutNamed("num"), *sym = plan.layoutNamed("sym");
        ASSERT_TRUE(en && sym);
        ASSERT_EQ(plan.activeLayout(), en);
        EXPECT_EQ(num == nullptr, run.numCfg != nullptr);
        // One line per link to the digits: sym, term, web, en, ru and phone
        // each have one.
        EXPECT_EQ(deadLinks.size(), num ? 0u : 6u) << capture.text();

        const std::string log = home.file("vexil.log");
        ASSERT_TRUE(startKeyboard(log)) << "no window";
        QPoint origin;
        if (!findLayout(*en, 0, origin)) {
            saveLastShot();
            FAIL() << "board not found; last screen in /tmp/vexil-e2e-screen.png";
        }
        auto tap = [&](const VX_Layout &layout, int key) {
            ASSERT_GE(key, 0) << layout.displayName();
            const VX_Key &k = layout.keys[key];
            const QPoint at = origin + QPoint(k.x + k.width / 2, k.y + k.height / 2);
            x("xdotool mousemove --sync 0 0 mousemove --sync " + std::to_string(at.x()) + " " +
              std::to_string(at.y()) + " click 1");
        };
        // Follows the link of `from` to `to`, then types a character only
        // `to` has.
        std::string expected;
        auto go = [&](const VX_Layout &from, const VX_Layout &to) {
            tap(from, linkTo(plan, from, &to));
            std::string c;
            const int key = keyOnlyIn(to, from, c);
            tap(to, key);
            expected += c;
            EXPECT_EQ(waitText(expected), expected) << from.displayName() << " > " << to.displayName();
        };
        auto back = [&](const VX_Layout &aux) {
            int key = -1;
            for (int32_t i = 0; i < aux.keyCount && key < 0; ++i)
                if (aux.keys[i].type == VX_KEY_SWITCH)
                    key = i;
            tap(aux, key);
            std::string c;
            tap(*en, keyOnlyIn(*en, aux, c));
            expected += c;
            EXPECT_EQ(waitText(expected), expected) << aux.displayName() << " > en";
        };
        if (num) {
            go(*en, *num);
            go(*num, *sym);
            go(*sym, *num);
            back(*num);
        } else {
            go(*en, *sym);
            // The dead 123 key of the symbols does nothing: they stay shown.
            for (int32_t i = 0; i < sym->keyCount; ++i)
                if (sym->keys[i].type == VX_KEY_UNTYPED && sym->keys[i].width > 0) {
                    tap(*sym, i);
                    break;
                }
            std::string c;
            tap(*sym, keyOnlyIn(*sym, *en, c));
            expected += c;
            EXPECT_EQ(waitText(expected), expected) << "after the dead key";
            back(*sym);
        }
        keyboard.stop();
        std::string all;
        shell("cat " + log).swap(all);
        std::vector<std::string> printed;
        std::istringstream lines(all);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("VX_Engine: layout '", 0) == 0)
                printed.push_back(line);
        EXPECT_EQ(printed, deadLinks) << all;
        EXPECT_NE(all.find(num ? "VX_Engine: load complete - basic: 3, aux: 4" : "VX_Engine: load complete - basic: 3, aux: 3"),
                  std::string::npos)
            << all;
    }
}

// The shipped terminal keys through the real window: from the letters,
// 123 and then term; the arrow moves the cursor, Esc leaves the window
// open, and a Ctrl latched there still holds for the letter typed after
// going back, so Ctrl+A selects all and the next letter replaces it.
TEST_F(EndToEnd, TheShippedTerminalKeysMoveTheCursorAndCtrlHoldsAcrossLayouts)
{
    const std::string shipped = binDir() + "/../share/vexil";
    home.mkdir("vexil");
    VX_Engine plan({home.path() + "/vexil", shipped});
    ASSERT_TRUE(plan.load());
    plan.prepareAll();
    const VX_Layout *en = plan.layoutNamed("en"), *num = plan.layoutNamed("num"), *term = plan.layoutNamed("term");
    ASSERT_TRUE(en && num && term);
    auto keyWhere = [](const VX_Layout &layout, const std::function<bool(const VX_Key &)> &is) {
        for (int32_t i = 0; i < layout.keyCount; ++i)
            if (is(layout.keys[i]))
                return i;
        return -1;
    };
    auto letter = [&](const char *c) {
        return keyWhere(*en, [c](const VX_Key &k) { return k.type == VX_KEY_ALPHA && std::string(k.chars[0]) == c; });
    };
    auto named = [&](uint32_t keysym) {
        return keyWhere(*term, [keysym](const VX_Key &k) { return k.keysym == keysym && k.pix[0][VX_PIX_RELEASED]; });
    };
    const int toNum = linkTo(plan, *en, num), toTerm = linkTo(plan, *num, term);
    const int back = keyWhere(*term, [](const VX_Key &k) { return k.type == VX_KEY_SWITCH; });
    const int left = named(0xff51), ctrl = named(0xffe3), esc = named(0xff1b);
    for (int key : {toNum, toTerm, back, left, ctrl, esc, letter("a"), letter("b"), letter("c"), letter("x")})
        ASSERT_GE(key, 0);

    ASSERT_TRUE(startX()) << "Xvfb did not start";
    ASSERT_TRUE(startKeyboard(home.file("vexil.log"))) << "no window";
    QPoint origin;
    if (!findLayout(*en, 0, origin)) {
        saveLastShot();
        FAIL() << "board not found; last screen in /tmp/vexil-e2e-screen.png";
    }
    auto tap = [&](const VX_Layout &layout, int key) {
        const VX_Key &k = layout.keys[key];
        const QPoint at = origin + QPoint(k.x + k.width / 2, k.y + k.height / 2);
        x("xdotool mousemove --sync 0 0 mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
          " click 1");
    };
    auto toTerminal = [&] {
        tap(*en, toNum);
        tap(*num, toTerm);
        if (!findLayout(*term, 0, origin)) {
            saveLastShot();
            ADD_FAILURE() << "term not shown; last screen in /tmp/vexil-e2e-screen.png";
        }
    };

    tap(*en, letter("a"));
    tap(*en, letter("b"));
    toTerminal();
    tap(*term, left);
    tap(*term, esc);
    tap(*term, back);
    tap(*en, letter("c"));
    EXPECT_EQ(waitText("acb"), "acb") << "the arrow moved the cursor, Esc changed nothing";
    EXPECT_GE(windowWidth(), 0) << "the window is open";

    toTerminal();
    tap(*term, ctrl);
    tap(*term, back);
    tap(*en, letter("a"));  // Ctrl+A
    tap(*en, letter("x"));
    EXPECT_EQ(waitText("x"), "x") << "Ctrl+A, then x replaced the text";
}

}  // namespace
