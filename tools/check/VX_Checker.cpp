#include "tools/check/VX_Checker.h"

#include <QPixmap>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <xkbcommon/xkbcommon.h>

#include "base/VX_Log.h"
#include "base/VX_Utf8.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"
#include "purpose/VX_PurposeChooser.h"
#include "image/VX_Image.h"
#include "interaction/VX_PressRules.h"
#include "tools/check/VX_LoadExplainer.h"

namespace {

// Keys the pointer can act on: every typed key but a label.
bool isPressable(const VX_Key &key)
{
    return key.type != VX_KEY_UNTYPED && key.type != VX_KEY_LABEL;
}

// The key has its released picture, so it is shown and can be hit, in
// mode `m`.
bool shownIn(const VX_Key &key, int32_t m) { return key.pix[m][VX_PIX_RELEASED] != nullptr; }

// The two keys are shown in at least one common mode of `layout`.
bool shareAMode(const VX_Layout &layout, const VX_Key &a, const VX_Key &b)
{
    for (int32_t m = 0; m < layout.modes && m < VX_Key::kModes; ++m)
        if (shownIn(a, m) && shownIn(b, m))
            return true;
    return false;
}

// `outer` covers every pixel of `inner`.
bool covers(const VX_Key &outer, const VX_Key &inner)
{
    return outer.x <= inner.x && outer.y <= inner.y &&
           int64_t(outer.x) + outer.width >= int64_t(inner.x) + inner.width &&
           int64_t(outer.y) + outer.height >= int64_t(inner.y) + inner.height;
}

// The rectangles share at least one pixel; keys that only touch do not.
bool overlap(const VX_Key &a, const VX_Key &b)
{
    if (a.width <= 0 || a.height <= 0 || b.width <= 0 || b.height <= 0)
        return false;
    // 64-bit: coordinates and sizes come from the file and may be large.
    return int64_t(a.x) < int64_t(b.x) + b.width && int64_t(b.x) < int64_t(a.x) + a.width &&
           int64_t(a.y) < int64_t(b.y) + b.height && int64_t(b.y) < int64_t(a.y) + a.height;
}

const char *stateName(int state)
{
    return state == VX_PIX_RELEASED ? "released" : "pressed";
}

}  // namespace

VX_Checker::VX_Checker(const VX_Engine &engine, const VX_LoadExplainer *explainer)
    : engine_(engine), explainer_(explainer)
{
}

int VX_Checker::run()
{
    engine_.forEachLayout([this](int32_t, int32_t, const VX_Layout &layout) {
        checkLayout(layout);
        checkAlternates(layout);
    });
    checkReach();
    checkModifiers();
    return warnings_;
}

bool VX_Checker::replacedIn(const VX_Layout &layout, int32_t index, int32_t m) const
{
    const VX_Key &key = layout.keys[index];
    for (int32_t i = 0; i < layout.keyCount; ++i)
        if (i != index && shownIn(layout.keys[i], m) && covers(layout.keys[i], key))
            return true;
    return false;
}

void VX_Checker::checkModifiers()
{
    bool anyOutput = false;
    engine_.forEachLayout([&](int32_t, int32_t, const VX_Layout &layout) {
        for (int32_t i = 0; layout.keys && i < layout.keyCount; ++i)
            anyOutput = anyOutput || vxHasOutput(layout.keys[i]);  // what a latched modifier waits for
    });
    if (anyOutput)
        return;
    engine_.forEachLayout([&](int32_t, int32_t, const VX_Layout &layout) {
        for (int32_t i = 0; layout.keys && i < layout.keyCount; ++i)
            if (layout.keys[i].type == VX_KEY_MODIFIER)
                warn(layout, "%s: a modifier, but no key of the set sends anything to go with it",
                     describeKey(layout, i).c_str());
    });
}

void VX_Checker::summary() const
{
    static const char *const kRowNames[VX_Engine::kRows] = {"basic", "aux"};
    std::string names[VX_Engine::kRows];
    engine_.forEachLayout([&names](int32_t row, int32_t, const VX_Layout &layout) {
        names[row] += names[row].empty() ? " (" : ", ";
        names[row] += std::string(layout.displayName()) + ": " +
                      std::to_string(layout.keyCount) + " keys";
    });
    for (int row = 0; row < VX_Engine::kRows; ++row) {
        if (!names[row].empty())
            names[row] += ")";
        vxLog.print("vexil-check: %s layouts: %u%s\n", kRowNames[row],
                    static_cast<unsigned>(engine_.layoutCount[row]), names[row].c_str());
    }
}

void VX_Checker::checkLayout(const VX_Layout &layout)
{
    if (!layout.keys)
        return;
    LostKeys lost;
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        checkKey(layout, i, lost);
        checkPictures(layout, i);
    }
    for (const auto &entry : lost) {
        const std::vector<int32_t> &keys = entry.second;
        warn(layout, "%zu key%s can never be hit, since %s released picture%s to come from '%s': %s",
             keys.size(), keys.size() == 1 ? "" : "s", keys.size() == 1 ? "its" : "their",
             keys.size() == 1 ? " was" : "s were", entry.first.c_str(),
             describeRanges(keys).c_str());
    }
    checkOverlaps(layout);
}

void VX_Checker::checkKey(const VX_Layout &layout, int32_t index, LostKeys &lost)
{
    const VX_Key &key = layout.keys[index];
    const std::string what = describeKey(layout, index);
    const char *refused = explainer_ ? explainer_->refusedPictureOf(layout, index) : nullptr;
    bool counted = false;

    for (int32_t m = 0; m < layout.modes && m < VX_Key::kModes; ++m) {
        if (isPressable(key) && !key.pix[m][VX_PIX_RELEASED] && !replacedIn(layout, index, m)) {
            if (!refused) {
                warn(layout, "%s: no released picture in mode %d (it can never be hit)",
                     what.c_str(), m);
            } else if (!counted) {
                counted = true;
                auto entry = lost.begin();
                while (entry != lost.end() && entry->first != refused)
                    ++entry;
                if (entry == lost.end())
                    entry = lost.insert(lost.end(), {refused, {}});
                entry->second.push_back(index);
            }
        }
        if (key.type == VX_KEY_ALPHA && key.charCount[m] == 0)
            warn(layout, "%s: alpha key without characters in mode %d", what.c_str(), m);
    }

    if (int64_t(key.x) + key.width > layout.width || int64_t(key.y) + key.height > layout.height ||
        key.x < 0 || key.y < 0)
        warn(layout, "%s: at (%d, %d) size %dx%d, outside the %dx%d board", what.c_str(), key.x,
             key.y, key.width, key.height, layout.width, layout.height);

    if (key.type == VX_KEY_SWITCH && layout.type == VX_LAYOUT_BASIC &&
        engine_.layoutCount[VX_LAYOUT_BASIC] == 1)
        warn(layout, "%s: switch key, but there is only one basic layout to switch to",
             what.c_str());
}

void VX_Checker::checkOverlaps(const VX_Layout &layout)
{
    // Each key is named with the first key before it that it overlaps, so a
    // layout whose keys all sit in one place gives a line per key, not per
    // pair.
    for (int32_t j = 1; j < layout.keyCount; ++j) {
        for (int32_t i = 0; i < j; ++i) {
            // Keys shown in different modes (a function key in the second
            // mode where a character is in the first) never meet.
            if (overlap(layout.keys[i], layout.keys[j]) &&
                shareAMode(layout, layout.keys[i], layout.keys[j])) {
                warn(layout, "%s: overlaps %s", describeKey(layout, i).c_str(),
                     describeKey(layout, j).c_str());
                break;
            }
        }
    }
}

void VX_Checker::checkPictures(const VX_Layout &layout, int32_t index)
{
    const VX_Key &key = layout.keys[index];
    // A pressed slot often falls back to the released piece, and a later
    // mode to the mode before: each piece is reported once per key.
    const VX_Image *seen[VX_Key::kModes * VX_Key::kStates] = {};
    int seenCount = 0;
    for (int32_t m = 0; m < layout.modes && m < VX_Key::kModes; ++m) {
        for (int s = 0; s < VX_Key::kStates; ++s) {
            const VX_Image *piece = key.pix[m][s];
            if (!piece)
                continue;
            bool reported = false;
            for (int k = 0; k < seenCount; ++k)
                reported = reported || seen[k] == piece;
            if (reported)
                continue;
            seen[seenCount++] = piece;
            const QPixmap *pixels = piece->rootPixmap();
            if (!pixels)
                continue;
            // Painting copies the key's size from the piece's corner.
            const int64_t right = int64_t(piece->x) + key.width;
            const int64_t bottom = int64_t(piece->y) + key.height;
            if (piece->x < 0 || piece->y < 0 || right > pixels->width() ||
                bottom > pixels->height()) {
                const char *file = piece->rootName();
                warn(layout,
                     "%s: %s picture in mode %d is cut at (%d, %d) size %dx%d, beyond the "
                     "edge of '%s' (%dx%d)",
                     describeKey(layout, index).c_str(), stateName(s), m, piece->x, piece->y,
                     key.width, key.height, file ? file : "", pixels->width(), pixels->height());
            }
        }
    }
}

void VX_Checker::checkReach()
{
    // Every place the board can be in, from the first basic layout on, by
    // the keyboard's own navigation rules: a place is the layout shown and
    // the basic slot its aux layouts return to.
    using Place = VX_Engine::Place;
    constexpr int kReturns = VX_Engine::kSlots + 1;  // -1 .. kSlots-1
    bool seen[VX_Engine::kRows][VX_Engine::kSlots][kReturns] = {};
    bool reached[VX_Engine::kRows][VX_Engine::kSlots] = {};
    Place pending[VX_Engine::kRows * VX_Engine::kSlots * kReturns];
    int pendingCount = 0;
    auto reach = [&](const Place &p) {
        bool &known = seen[p.row][p.slot][p.returnSlot + 1];
        if (known)
            return;
        known = true;
        reached[p.row][p.slot] = true;
        pending[pendingCount++] = p;
    };

    if (engine_.layoutAt(VX_LAYOUT_BASIC, 0))
        reach(Place());
    // A field of a purpose shows its layout by itself, from the first
    // basic layout on.
    for (int p = 0; purposes_ && engine_.layoutAt(VX_LAYOUT_BASIC, 0) && p < VX_PURPOSE_COUNT; ++p) {
        const auto purpose = static_cast<VX_Purpose>(p);
        if (purposes_->choices(purpose).empty())
            continue;
        const VX_PurposeChooser chooser(*purposes_, [this](int32_t row, const char *name) {
            return engine_.findLayout(row, name);
        });
        Place to;
        if (chooser.target(purpose, false, Place(), to)) {
            reach(to);
            continue;
        }
        std::string names;
        for (const std::string &name : purposes_->choices(purpose))
            names += (names.empty() ? "" : ", ") + name;
        // A purpose file serves every set that finds it: a line for layouts
        // this set lacks leaves such fields on the layout shown.
        vxLog.info("vexil-check: purpose '%s': none of its layouts (%s) is loaded, such fields keep the "
                   "layout shown\n",
                   vxPurposeName(purpose), names.c_str());
    }
    while (pendingCount > 0) {
        const Place from = pending[--pendingCount];
        const VX_Layout &layout = *engine_.layoutAt(from.row, from.slot);
        for (int32_t i = 0; layout.keys && i < layout.keyCount; ++i) {
            const VX_Key &key = layout.keys[i];
            Place to;
            bool moves = false;
            if (key.type == VX_KEY_SWITCH)
                moves = layout.type == VX_LAYOUT_BASIC ? engine_.nextBasic(from, to)
                                                       : engine_.returnFromAux(from, to);
            else if (key.type == VX_KEY_LINK)
                moves = engine_.openAux(from, key.linkSlot, to);
            if (moves)
                reach(to);
        }
        // The panel's keyboard menu (a long press on a switch key) opens
        // its aux layout from every basic layout.
        Place to;
        if (from.row == VX_LAYOUT_BASIC && engine_.menuAuxSlot >= 0 &&
            engine_.openAux(from, engine_.menuAuxSlot, to))
            reach(to);
    }

    engine_.forEachLayout([&](int32_t row, int32_t slot, const VX_Layout &layout) {
        if (!reached[row][slot])
            warn(layout, "no switch or link key reaches this layout");
    });
}

void VX_Checker::checkAlternates(const VX_Layout &layout)
{
    for (int32_t e = 0; e < layout.alternates.entryCount(); ++e) {
        int32_t line = 0;
        const char *word = layout.alternates.entryKey(e, line);
        // A key's whole string, or one character of a multi-tap key (whose
        // long press offers the alternates of each of its characters).
        bool typed = false;
        for (int32_t i = 0; i < layout.keyCount && !typed; ++i)
            for (int32_t m = 0; m < layout.modes && !typed; ++m) {
                const VX_Key &key = layout.keys[i];
                if (key.type != VX_KEY_ALPHA)
                    continue;
                typed = std::strcmp(key.chars[m], word) == 0;
                for (int32_t c = 0; c < key.charCount[m] && !typed && key.charCount[m] > 1; ++c) {
                    int length = 0;
                    const char *at = vxUtf8At(key.chars[m], c, length);
                    typed = std::strlen(word) == static_cast<size_t>(length) && std::strncmp(at, word, length) == 0;
                }
            }
        if (!typed)
            warn(layout, "%s, line %d: no key has the string '%s'", layout.alternates.fileName(), line, word);
    }
}

void VX_Checker::warn(const VX_Layout &layout, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    vxLog.print("vexil-check: %s: %s\n", layout.displayName(), text);
    ++warnings_;
}

std::string VX_Checker::describeRanges(const std::vector<int32_t> &keys)
{
    // Ascending indices, runs written first-last: "keys 0-29, 31".
    std::string text = keys.size() == 1 ? "key " : "keys ";
    for (size_t i = 0; i < keys.size();) {
        size_t j = i;
        while (j + 1 < keys.size() && keys[j + 1] == keys[j] + 1)
            ++j;
        text += (i == 0 ? "" : ", ") + std::to_string(keys[i]);
        if (j > i)
            text += "-" + std::to_string(keys[j]);
        i = j + 1;
    }
    return text;
}

std::string VX_Checker::describeKey(const VX_Layout &layout, int32_t index) const
{
    const VX_Key &key = layout.keys[index];
    const char *word = "untyped";
    for (const VX_KeyTypeName &entry : vxKeyTypeNames)
        if (entry.type == key.type)
            word = entry.name;
    if (key.type == VX_KEY_LINK) {
        const VX_Layout *target = engine_.layoutAt(VX_LAYOUT_AUX, key.linkSlot);
        word = target ? target->displayName() : "link";
    }
    // A named key by the word that made it, "!Left".
    char name[64] = "!";
    if ((key.type == VX_KEY_NAMED || key.type == VX_KEY_MODIFIER) &&
        xkb_keysym_get_name(key.keysym, name + 1, sizeof name - 1) > 0)
        word = name;
    return "key " + std::to_string(index) + " (" + word + ")";
}
