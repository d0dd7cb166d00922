// vexil_pictures: takes the README's pictures of the real programs with the
// shipped layouts, each typing a few words through its own board.
//
//   vexil_pictures <outdir> [window] [x11] [suggest] [touch] [wayland]
//
// window:  vexil on Xvfb (1024x768, 24-bit), its window alone ->
//          <outdir>/screenshot.png
// x11:     vexil-panel docked under an xterm, with openbox, on Xvfb (24-bit),
//          the whole screen -> <outdir>/panel-docked.png
// suggest: the same after "let me know if ", the strip of suggestions
//          above the keys -> <outdir>/panel-suggest.png
// touch:   vexil-panel --width full under an xterm, a letter held and its
//          preview shown -> <outdir>/panel-touch.png
// wayland: vexil-panel docked under foot in a headless sway, the whole
//          output taken by grim -> <outdir>/panel-wayland.png
//
// With no name it takes all five. The words are typed by clicking the
// keys that the keyboard's own loader and state machine say type them, so
// a picture shows what the board really draws and does. Exit status 0 when
// every picture asked for was written, 1 otherwise.
#include <QFile>
#include <QImage>
#include <QPixmap>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/VX_LogRedirect.h"
#include "engine/VX_Engine.h"
#include "image/VX_Image.h"
#include "interaction/VX_SuggestionBar.h"
#include "tests/TestSupport.h"
#include "tests/TypingPlan.h"
#include "tests/WaylandSession.h"
#include "tests/XSession.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(10);  // longest wait for one effect
constexpr auto kPollStep = std::chrono::milliseconds(50);
constexpr int kScreenW = 1024, kScreenH = 768;        // the screen of every picture

bool waitUntil(const std::function<bool()> &done)
{
    for (const auto until = Clock::now() + kPatience; Clock::now() < until; std::this_thread::sleep_for(kPollStep))
        if (done())
            return true;
    return done();
}

bool fail(const std::string &what)
{
    std::fprintf(stderr, "vexil_pictures: %s\n", what.c_str());
    return false;
}

std::string shipped() { return binDir() + "/../share/vexil"; }

// The shipped set as the programs load it, to plan the taps on; the
// loader's lines are left out (vexil-check shows them).
struct Plan {
    Plan() : engine({shipped()})
    {
        FILE *quiet = std::fopen("/dev/null", "w");
        {
            VX_LogRedirect redirect(quiet);
            loaded = engine.load();
        }
        if (quiet)
            std::fclose(quiet);
        if (loaded)
            engine.prepareAll();
        else
            fail("the shipped layouts in " + shipped() + " do not load (vexil-check says why)");
    }
    VX_Engine engine;
    bool loaded = false;
};

// Clicks the taps that type `text` on the board shown first, at `origin`
// on the screen; `click(x, y, n)` clicks n times at a screen point. Taps in a
// row on one key go as one burst, well inside the multi-tap reset time; a
// tap that must wait for a cycle to close waits a little longer than it.
bool typeOnBoard(Plan &plan, const std::string &text, int originX, int originY,
                 const std::function<bool(int, int, int)> &click)
{
    const TypingResult typing = typeText(plan.engine, text);
    if (!typing.error.empty() || typing.typed != text)
        return fail("cannot type '" + text + "' on the shipped layouts: " + typing.error);
    for (size_t i = 0; i < typing.taps.size();) {
        const PlannedTap &tap = typing.taps[i];
        if (tap.waitMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(tap.waitMs + 300));
        size_t burst = 1;
        while (i + burst < typing.taps.size() && !tap.changesLayout && typing.taps[i + burst].key == tap.key &&
               typing.taps[i + burst].row == tap.row && typing.taps[i + burst].slot == tap.slot &&
               typing.taps[i + burst].waitMs == 0)
            ++burst;
        if (!click(originX + tap.x, originY + tap.y, static_cast<int>(burst)))
            return fail("a click did not arrive");
        i += burst;
        // A tap that shows a layout of another size would move the board;
        // the words are chosen to stay on the first layout and its caps.
        if (typing.taps[i - 1].changesLayout)
            return fail("'" + text + "' leaves the first layout");
    }
    return true;
}

class XScreen {
public:
    bool start() { return startXvfb(server_, display_) || fail("Xvfb did not start"); }
    std::string x(const std::string &command, bool *ok = nullptr) const
    {
        return shell("DISPLAY=" + display_ + " " + command + " 2>/dev/null", ok);
    }
    std::vector<std::string> env() const { return {"DISPLAY=" + display_, "LC_ALL=C.UTF-8", "QT_QPA_PLATFORM=xcb"}; }
    // The first visible window of process `pid`, waiting for it.
    std::string windowOf(pid_t pid) const
    {
        const std::string found = x("timeout 10 xdotool search --sync --onlyvisible --pid " + std::to_string(pid));
        return found.substr(0, found.find('\n'));
    }
    bool click(int x0, int y0, int times) const
    {
        bool ok = false;
        // Moved away first: a move onto the place the pointer already
        // stands never completes with --sync.
        x("xdotool mousemove --sync 0 0 mousemove --sync " + std::to_string(x0) + " " + std::to_string(y0) +
              " click --repeat " + std::to_string(times) + " --delay 120 1",
          &ok);
        return ok;
    }
    QImage dump(const std::string &what) const { return readXwd(x("xwd -silent " + what)); }

private:
    Child server_;
    std::string display_;
};

// Where `piece`, the picture of key `key`, stands in `shot`: the board's
// top left is that place less the key's own.
bool findKey(const QImage &shot, const VX_Key &key, const VX_Image &piece, int &originX, int &originY)
{
    const QImage want = piece.rootPixmap()->toImage().convertToFormat(QImage::Format_RGB32).copy(
        piece.x, piece.y, key.width, key.height);
    for (int yy = 0; yy + want.height() <= shot.height(); ++yy)
        for (int xx = 0; xx + want.width() <= shot.width(); ++xx) {
            bool same = true;
            for (int row = 0; row < want.height() && same; ++row) {
                const QRgb *a = reinterpret_cast<const QRgb *>(shot.constScanLine(yy + row)) + xx;
                const QRgb *b = reinterpret_cast<const QRgb *>(want.constScanLine(row));
                for (int col = 0; col < want.width() && same; ++col)
                    same = (a[col] & 0xffffff) == (b[col] & 0xffffff);
            }
            if (same) {
                originX = xx - key.x;
                originY = yy - key.y;
                return true;
            }
        }
    return false;
}

bool save(const QImage &image, const std::string &path)
{
    if (image.isNull() || !image.save(QString::fromStdString(path), "PNG"))
        return fail("cannot write " + path);
    std::printf("%s (%dx%d)\n", path.c_str(), image.width(), image.height());
    return true;
}

// The keyboard's window with a line typed on its board.
bool takeWindow(const std::string &out)
{
    Plan plan;
    if (!plan.loaded)
        return false;
    XScreen screen;
    if (!screen.start())
        return false;
    TempDir home;  // XDG_DATA_HOME without layouts: the shipped ones load
    std::vector<std::string> env = screen.env();
    env.push_back("XDG_DATA_HOME=" + home.path());
    Child keyboard;
    if (!keyboard.start({binDir() + "/vexil"}, env, home.file("vexil.log")))
        return fail("vexil did not start");
    const std::string window = screen.windowOf(keyboard.pid());
    if (window.empty())
        return fail("no vexil window");
    screen.x("xdotool windowfocus --sync " + window);

    const VX_Layout &first = *plan.engine.activeLayout();
    const VX_Key &key = first.keys[0];
    int originX = 0, originY = 0;
    if (!waitUntil([&] { return findKey(screen.dump("-root"), key, *key.pix[0][VX_PIX_RELEASED], originX, originY); }))
        return fail("the board does not show on the screen");
    if (!typeOnBoard(plan, "Hello from vexil", originX, originY,
                     [&](int x, int y, int n) { return screen.click(x, y, n); }))
        return false;
    // The pointer off the window, the last key drawn released again.
    screen.x("xdotool mousemove --sync " + std::to_string(kScreenW - 1) + " " + std::to_string(kScreenH - 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return save(screen.dump("-id " + window), out);
}

// vexil-panel docked under an xterm whose shell line it typed.
bool takeX11Panel(const std::string &out, const std::string &text)
{
    Plan plan;
    if (!plan.loaded)
        return false;
    XScreen screen;
    if (!screen.start())
        return false;
    Child wm;
    if (!wm.start({"openbox", "--sm-disable"}, screen.env()) ||
        !waitUntil([&] { return screen.x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }))
        return fail("openbox did not start");
    TempDir home;
    Child terminal;
    std::vector<std::string> termEnv = screen.env();
    termEnv.push_back("PS1=$ ");
    termEnv.push_back("HOME=" + home.path());
    if (!terminal.start({"xterm", "-u8", "-fa", "DejaVu Sans Mono", "-fs", "11", "-geometry", "90x24+0+0", "-e", "sh"},
                        termEnv))
        return fail("xterm did not start");
    const std::string termWindow = screen.windowOf(terminal.pid());
    if (termWindow.empty())
        return fail("no xterm window");
    screen.x("xdotool windowfocus --sync " + termWindow);

    std::vector<std::string> env = screen.env();
    env.push_back("XDG_DATA_HOME=" + home.path());
    Child panel;
    if (!panel.start({binDir() + "/vexil-panel"}, env, home.file("panel.log")))
        return fail("vexil-panel did not start");
    const std::string window = screen.windowOf(panel.pid());
    if (window.empty())
        return fail("no panel window");
    // The layout's top left; the strip of suggestions stands above it.
    const VX_Layout &first = *plan.engine.activeLayout();
    const int originX = (kScreenW - first.width) / 2, originY = kScreenH - first.height;
    const std::string docked =
        "X=" + std::to_string(originX) + "\nY=" + std::to_string(originY - VX_SuggestionBar::kLayoutHeight);
    if (!waitUntil([&] { return screen.x("xdotool getwindowgeometry --shell " + window).find(docked) != std::string::npos; }))
        return fail("the panel is not docked at the bottom edge");
    if (!typeOnBoard(plan, text, originX, originY,
                     [&](int x, int y, int n) { return screen.click(x, y, n); }))
        return false;
    screen.x("xdotool mousemove --sync " + std::to_string(kScreenW - 1) + " 0");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return save(screen.dump("-root"), out);
}

// vexil-panel for a touch screen: --width full, docked under an xterm whose
// shell line it typed, with a key held so that its preview shows.
bool takeX11Touch(const std::string &out)
{
    Plan plan;
    if (!plan.loaded)
        return false;
    XScreen screen;
    if (!screen.start())
        return false;
    Child wm;
    if (!wm.start({"openbox", "--sm-disable"}, screen.env()) ||
        !waitUntil([&] { return screen.x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }))
        return fail("openbox did not start");
    TempDir home;
    Child terminal;
    std::vector<std::string> termEnv = screen.env();
    termEnv.push_back("PS1=$ ");
    termEnv.push_back("HOME=" + home.path());
    if (!terminal.start({"xterm", "-u8", "-fa", "DejaVu Sans Mono", "-fs", "11", "-geometry", "90x18+0+0", "-e", "sh"},
                        termEnv))
        return fail("xterm did not start");
    const std::string termWindow = screen.windowOf(terminal.pid());
    if (termWindow.empty())
        return fail("no xterm window");
    screen.x("xdotool windowfocus --sync " + termWindow);

    std::vector<std::string> env = screen.env();
    env.push_back("XDG_DATA_HOME=" + home.path());
    env.push_back("XDG_RUNTIME_DIR=" + home.mkdir("run"));
    Child panel;
    if (!panel.start({binDir() + "/vexil-panel", "--width", "full"}, env, home.file("panel.log")))
        return fail("vexil-panel did not start");
    const std::string window = screen.windowOf(panel.pid());
    if (window.empty())
        return fail("no panel window");
    const VX_Layout &first = *plan.engine.activeLayout();
    const double scale = double(kScreenW) / first.width;
    const int height = static_cast<int>(first.height * scale + 0.5);
    const int originY = kScreenH - height;
    const int strip = static_cast<int>(VX_SuggestionBar::kLayoutHeight * scale + 0.5);
    const std::string docked = "X=0\nY=" + std::to_string(originY - strip) + "\nWIDTH=" + std::to_string(kScreenW);
    if (!waitUntil([&] { return screen.x("xdotool getwindowgeometry --shell " + window).find(docked) != std::string::npos; }))
        return fail("the panel does not span the bottom edge");
    // Layout points to screen points at the board's scale.
    auto at = [&](int x, int y) {
        return std::to_string(static_cast<int>((x + 0.5) * scale)) + " " +
               std::to_string(originY + static_cast<int>((y + 0.5) * scale));
    };
    if (!typeOnBoard(plan, "echo on a touch screen", 0, 0, [&](int x, int y, int n) {
            bool ok = false;
            screen.x("xdotool mousemove --sync 0 0 mousemove --sync " + at(x, y) + " click --repeat " +
                         std::to_string(n) + " --delay 120 1",
                     &ok);
            return ok;
        }))
        return false;
    // A key of the top row held down: its preview above it.
    const TypingResult held = typeText(plan.engine, "5");
    if (!held.error.empty() || held.taps.size() != 1)
        return fail("no key types '5' on the first layout");
    screen.x("xdotool mousemove --sync " + at(held.taps[0].x, held.taps[0].y) + " mousedown 1");
    std::string preview;
    if (!waitUntil([&] {
            preview = screen.x("xdotool search --onlyvisible --name 'vexil-panel preview'");
            return !preview.empty();
        }))
        return fail("no preview above the held key");
    // Taken once the preview has drawn itself: its middle is the key's face.
    preview = preview.substr(0, preview.find('\n'));
    QImage shot;
    if (!waitUntil([&] {
            const QImage own = screen.dump("-id " + preview);
            shot = screen.dump("-root");
            return !own.isNull() && qGray(own.pixel(own.width() / 2, own.height() / 4)) > 160;
        }))
        return fail("the preview does not show the key");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    shot = screen.dump("-root");
    screen.x("xdotool mouseup 1");
    return save(shot, out);
}

// vexil-panel docked under foot in a headless sway, typing into it.
bool takeWaylandPanel(const std::string &out)
{
    Plan plan;
    if (!plan.loaded)
        return false;
    TempDir home;
    WaylandSession session;
    if (!session.start(kScreenW, kScreenH))
        return fail("sway: " + session.error());
    session.share(home.path());
    SessionPointer pointer;
    if (!pointer.start(session))
        return fail("the virtual pointer did not start");
    Child terminal;
    if (!session.launch(terminal, {"foot", "sh"}, {"PS1=$ ", "HOME=" + home.path()}))
        return fail("foot did not start");
    if (!waitUntil([&] { return session.focusedPid() == terminal.pid(); }))
        return fail("foot never got the focus");

    const VX_Layout &first = *plan.engine.activeLayout();
    Child panel;
    ChildOptions options;
    options.outPath = home.file("panel.log");
    options.errPath = home.file("panel.err");
    if (!session.launch(panel, {binDir() + "/vexil-panel", "--wayland"}, {"XDG_DATA_HOME=" + home.path()}, options))
        return fail("vexil-panel did not start");
    int ax = 0, ay = 0, aw = 0, ah = 0;
    if (!waitUntil([&] { return session.usableArea(ax, ay, aw, ah) && ah == kScreenH - first.height; }))
        return fail("the panel is not docked at the bottom edge");
    const int originX = (kScreenW - first.width) / 2, originY = kScreenH - first.height;
    if (!typeOnBoard(plan, "echo typed on vexil-panel", originX, originY, [&](int x, int y, int n) {
            for (int i = 0; i < n; ++i) {
                if (!pointer.tap(x, y))
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(120));
            }
            return true;
        }))
        return false;
    pointer.move(kScreenW - 1, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string shot = home.file("panel-wayland.png");
    if (!session.screenshot(shot))
        return fail("grim did not take the output");
    return save(QImage(QString::fromStdString(shot)), out);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: vexil_pictures <outdir> [window] [x11] [suggest] [touch] [wayland]\n");
        return 1;
    }
    ensureApp();
    const std::string dir = argv[1];
    std::vector<std::string> which(argv + 2, argv + argc);
    if (which.empty())
        which = {"window", "x11", "suggest", "touch", "wayland"};
    bool ok = true;
    for (const std::string &name : which) {
        if (name == "window")
            ok = takeWindow(dir + "/screenshot.png") && ok;
        else if (name == "x11")
            ok = takeX11Panel(dir + "/panel-docked.png", "echo typed on vexil-panel") && ok;
        else if (name == "suggest")
            ok = takeX11Panel(dir + "/panel-suggest.png", "let me know if ") && ok;
        else if (name == "touch")
            ok = takeX11Touch(dir + "/panel-touch.png") && ok;
        else if (name == "wayland")
            ok = takeWaylandPanel(dir + "/panel-wayland.png") && ok;
        else
            ok = fail("no picture called '" + name + "'");
    }
    return ok ? 0 : 1;
}
