// Looks through a loaded layout set for what the loader accepts but a
// layout's author would want to hear about, one line per finding, and sums
// the set up. Keys and modes are counted from 0 in every line, the way a
// "#label" line of vexil-skin names a key, so an author meets one number
// for a key wherever it is shown.
#ifndef VEXIL_TOOLS_CHECK_VX_CHECKER_H
#define VEXIL_TOOLS_CHECK_VX_CHECKER_H

#include <cstdint>
#include <string>

class VX_Engine;
class VX_Layout;
struct VX_Key;

class VX_Checker {
public:
    explicit VX_Checker(const VX_Engine &engine);

    // Checks every placed layout and their reach; returns the number of
    // warnings written.
    int run();
    // Writes the layouts of each row with their key counts.
    void summary() const;

    int warnings() const { return warnings_; }

private:
    void checkLayout(const VX_Layout &layout);
    void checkKey(const VX_Layout &layout, int32_t index);
    void checkOverlaps(const VX_Layout &layout);
    void checkPictures(const VX_Layout &layout, int32_t index);
    void checkReach();
    // One line: "vexil-check: <layout>: <what>" and a line feed.
    void warn(const VX_Layout &layout, const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    // "key <n> (<type word>)" for key `index` of `layout`.
    std::string describeKey(const VX_Layout &layout, int32_t index) const;

    const VX_Engine &engine_;
    int warnings_ = 0;
};

#endif
