#include "tests/PanelBoard.h"

#include <fstream>
#include <sstream>
#include <thread>

#include "tests/XSession.h"

namespace e2e {

const char *const kRu[11] = {"\xd0\xb1", "\xd0\xb2", "\xd0\xb3", "\xd0\xb4", "\xd0\xb8", "\xd0\xba",
                             "\xd0\xbb", "\xd0\xbf", "\xd1\x84", "\xd1\x86", "\xd1\x8f"};
const Point kRuKeys[11] = {{40, 35}, {110, 35}, {180, 35}, {250, 35}, {320, 35}, {390, 35},
                           {40, 95}, {110, 95}, {180, 95}, {320, 95}, {390, 95}};
const char *const kLine = "Aa1!. y\xd0\xb6\xc3\xa9\xc3\xb1\xce\xbb\n";

bool writeText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

bool writeBoard(const std::string &dir, std::string &error)
{
    std::string ru;
    for (const char *letter : kRu)
        ru += std::string(ru.empty() ? "" : " ") + letter;
    const bool written =
        writeText(dir + "/load.cfg", "lat\ncyr\nhold\nkyr\n") &&
        writeText(dir + "/lat.cfg",
                  "[Common]\ntype 0 keys 10 mode 2 bwid 60 bhei 50 draw-pressed 1 tm-enum-reset 2500\n"
                  "[Layout]\nalpha alpha alpha alpha alpha caps bks ent space switch\n"
                  "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70) (150 70) (220 70)\n"
                  "[Strings]\n( a A ) ( 1 1 ) ( ! ? ) ( . , ) ( xyz XYZ )\n"
                  "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n") &&
        writeText(dir + "/cyr.cfg",
                  "[Common]\ntype 0 keys 9 alpha 2 bwid 60 bhei 50 draw-pressed 1\n"
                  "[Layout]\nalpha alpha alpha alpha alpha alpha bks ent switch\n"
                  "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70) (220 70)\n"
                  "[Strings]\n\xd0\xb6 \xd1\x91 \xc3\xa9 \xc3\xb1 \xc3\x9f \xce\xbb\n"
                  "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n") &&
        // The only layout that repeats: quick taps elsewhere stay taps even
        // when a loaded machine delays the panel's release past the period.
        writeText(dir + "/hold.cfg",
                  "[Common]\ntype 0 keys 2 alpha 2 bwid 60 bhei 50 repeat-on 1 tm-period 400 tm-rate 60\n"
                  "[Layout]\nalpha switch\n[Geometry]\n(10 10) (220 70)\n[Strings]\n\xd0\xb6\n"
                  "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n") &&
        // Eleven letters none of which the US keymap has, so on X11 every
        // first tap of one binds a keycode.
        writeText(dir + "/kyr.cfg",
                  "[Common]\ntype 0 keys 12 alpha 2 bwid 60 bhei 50\n"
                  "[Layout]\nalpha alpha alpha alpha alpha alpha alpha alpha alpha switch alpha alpha\n"
                  "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70) (150 70) "
                  "(220 70) (290 70) (360 70)\n"
                  "[Strings]\n" + ru + "\n"
                  "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
    if (!written) {
        error = "cannot write the layouts into " + dir;
        return false;
    }
    bool ok = false;
    error = shell(binDir() + "/vexil-skin --write " + dir + "/lat.cfg " + dir + "/cyr.cfg " + dir + "/hold.cfg " +
                      dir + "/kyr.cfg 2>&1",
                  &ok);
    return ok;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds patience)
{
    using Clock = std::chrono::steady_clock;
    for (const auto until = Clock::now() + patience; Clock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (done())
            return true;
    return done();
}

}  // namespace e2e
