// Looks through a loaded layout set for what the loader accepts but a
// layout's author would want to hear about, one line per finding, and sums
// the set up. Keys and modes are counted from 0 in every line, the way a
// "#label" line of vexil-skin names a key, so an author meets one number
// for a key wherever it is shown.
#ifndef VEXIL_TOOLS_CHECK_VX_CHECKER_H
#define VEXIL_TOOLS_CHECK_VX_CHECKER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class VX_Engine;
class VX_PurposeTable;
class VX_LoadExplainer;
class VX_Layout;
struct VX_Key;

class VX_Checker {
public:
    // `explainer`, when given, tells which keys lost their pictures at the
    // load: those are summed up per picture file instead of key by key.
    explicit VX_Checker(const VX_Engine &engine, const VX_LoadExplainer *explainer = nullptr);
    // The set's purpose file, when it has one: the layouts it names are
    // shown by the field, so they count as reached; a line none of whose
    // layouts is loaded is named (no warning). Must outlive the checker.
    void setPurposes(const VX_PurposeTable *purposes) { purposes_ = purposes; }

    // Checks every placed layout and their reach; returns the number of
    // warnings written.
    int run();
    // Writes the layouts of each row with their key counts.
    void summary() const;

    int warnings() const { return warnings_; }

private:
    void checkLayout(const VX_Layout &layout);
    // Keys that can never be hit because their picture file could not be
    // had are added to `lost` (file, key indices) rather than warned about.
    using LostKeys = std::vector<std::pair<std::string, std::vector<int32_t>>>;
    void checkKey(const VX_Layout &layout, int32_t index, LostKeys &lost);
    void checkOverlaps(const VX_Layout &layout);
    void checkPictures(const VX_Layout &layout, int32_t index);
    void checkReach();
    // Lines of the layout's alternates file (<name>.alt) whose key word is
    // no string a key of the layout has in any mode: they never apply.
    void checkAlternates(const VX_Layout &layout);
    // A modifier key in a set where no key sends anything: latching it
    // leads nowhere.
    void checkModifiers();
    // Key `index` has no picture in mode `m` because another key, shown in
    // that mode, stands in its place: the layout shows it in other modes only.
    bool replacedIn(const VX_Layout &layout, int32_t index, int32_t m) const;
    // One line: "vexil-check: <layout>: <what>" and a line feed.
    void warn(const VX_Layout &layout, const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    // "key 5" or "keys 0-29, 31" for ascending key indices.
    static std::string describeRanges(const std::vector<int32_t> &keys);
    // "key <n> (<type word>)" for key `index` of `layout`.
    std::string describeKey(const VX_Layout &layout, int32_t index) const;

    const VX_Engine &engine_;
    const VX_LoadExplainer *explainer_;  // null: no load was watched
    const VX_PurposeTable *purposes_ = nullptr;  // null: the set has no purpose file
    int warnings_ = 0;
};

#endif
