// The board the panel's end-to-end tests type on, on X11 and on Wayland
// alike: four layouts of one size (so the dock keeps its place when the
// switch key changes layouts), where their keys are, the line typed with
// them, and the waits of a test that watches another program.
#ifndef VEXIL_TESTS_PANELBOARD_H
#define VEXIL_TESTS_PANELBOARD_H

#include <QRgb>
#include <chrono>
#include <functional>
#include <string>

namespace e2e {

// A point on the screen, or on the board from its top left; logical pixels.
struct Point {
    int x, y;
};

constexpr int kBoardW = 430, kBoardH = 130;      // every test layout's board
constexpr int kScreenW = 1024, kScreenH = 768;   // the test screen
// Centres of the keys. "lat": a, 1, !?, .,, xyz (multi-tap), caps; Backspace,
// Return, space, switch.
constexpr Point kA{40, 35}, kOne{110, 35}, kBang{180, 35}, kDot{250, 35}, kXyz{320, 35}, kCaps{390, 35};
constexpr Point kBks{40, 95}, kEnt{110, 95}, kSpace{180, 95}, kSwitch{250, 95};
// "cyr": ж ё é ñ ß λ, Backspace, Return, switch (where lat has its own).
constexpr Point kZhe{40, 35}, kEacute{180, 35}, kEnye{250, 35}, kLambda{390, 35};
constexpr Point kCyrSwitch{250, 95};
// "kyr": eleven Cyrillic letters that the US keymap lacks, and a switch
// key. (Named by no language code: the test boards show no strip of word
// suggestions.)
extern const char *const kRu[11];     // бвгдиклпфця, key by key
extern const Point kRuKeys[11];       // where their keys are
constexpr Point kEmpty{400, 100};     // a point of every test board that no key covers
const QRgb kBoardColour = qRgb(40, 60, 90);

// Caps and case, digits, a Backspace, punctuation, a multi-tap cycle with
// its erase step, Cyrillic, Latin-1 and Greek letters, Return: the line
// the scenarios type across the four layouts.
extern const char *const kLine;  // "Aa1!. yжéñλ\n"

// Writes load.cfg (lat, cyr, hold, ru) and the four layouts into `dir`
// and draws their pictures with the built vexil-skin; false with the
// tool's output in `error` when it fails.
bool writeBoard(const std::string &dir, std::string &error);
// Writes `text` to `path`; false when it cannot.
bool writeText(const std::string &path, const std::string &text);

// The whole content of a file; empty when it cannot be read.
std::string readFile(const std::string &path);

// Polls `done` until it holds or `patience` has passed; its last answer.
constexpr auto kPatience = std::chrono::milliseconds(10000);  // longest wait for one effect
bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds patience = kPatience);

}  // namespace e2e

#endif
