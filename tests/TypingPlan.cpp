#include "tests/TypingPlan.h"

#include <QList>
#include <QString>
#include <cstring>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"

namespace {

// Removes the last UTF-8 character of `text`.
void eraseLast(std::string &text)
{
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text.back());
        text.pop_back();
        if ((byte & 0xC0) != 0x80)
            break;
    }
}

QList<uint> characters(const char *utf8) { return QString::fromUtf8(utf8).toUcs4(); }

// Where a character sits: layout, mode, key and its place in the key's
// multi-tap cycle.
struct Place {
    VX_Layout *layout = nullptr;
    int mode = 0;
    int key = -1;
    int position = 0;
};

// Best place of `c` in `layout`: its current mode first, then the fewest
// taps into a cycle.
Place findIn(VX_Layout &layout, uint c)
{
    Place best;
    for (int step = 0; step < layout.modes; ++step) {
        const int mode = (layout.mode + step) % layout.modes;
        for (int32_t i = 0; i < layout.keyCount; ++i) {
            const VX_Key &key = layout.keys[i];
            if (key.type != VX_KEY_ALPHA)
                continue;
            const QList<uint> chars = characters(key.chars[mode]);
            const int at = static_cast<int>(chars.indexOf(c));
            if (at >= 0 && (best.key < 0 || at < best.position)) {
                best.layout = &layout;
                best.mode = mode;
                best.key = i;
                best.position = at;
            }
        }
        if (best.key >= 0)
            return best;
    }
    // Keys that type themselves without a [Strings] entry.
    for (int32_t i = 0; i < layout.keyCount; ++i)
        if ((c == ' ' && layout.keys[i].type == VX_KEY_SPACE) || (c == '\t' && layout.keys[i].type == VX_KEY_TAB) ||
            (c == '\n' && layout.keys[i].type == VX_KEY_ENT)) {
            best.layout = &layout;
            best.mode = layout.mode;
            best.key = i;
            return best;
        }
    return best;
}

int keyOfType(const VX_Layout &layout, int32_t type)
{
    for (int32_t i = 0; i < layout.keyCount; ++i)
        if (layout.keys[i].type == type)
            return i;
    return -1;
}

int linkTo(const VX_Engine &engine, const VX_Layout &layout, const VX_Layout *target)
{
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        const VX_Key &key = layout.keys[i];
        if (key.type == VX_KEY_LINK && engine.layoutAt(VX_LAYOUT_AUX, key.linkSlot) == target)
            return i;
    }
    return -1;
}

class Typist {
public:
    explicit Typist(VX_Engine &engine) : engine_(engine), home_(engine.activeLayout())
    {
        VX_Layout *back = engine.layoutAt(VX_LAYOUT_BASIC, engine.returnSlot);
        if (home_ && home_->type == VX_LAYOUT_AUX && back)
            home_ = back;
    }

    // Shows the layout named `name` and types from it from now on.
    bool goHome(const char *name)
    {
        VX_Layout *layout = engine_.layoutNamed(name);
        if (!layout) {
            result.error = std::string("no layout ") + name;
            return false;
        }
        home_ = layout;
        if (reach(layout))
            return true;
        result.error = std::string(name) + " cannot be reached";
        return false;
    }

    bool type(uint c)
    {
        const size_t before = result.taps.size();
        Place place = findIn(*engine_.activeLayout(), c);
        if (place.key < 0 && home_)
            place = findIn(*home_, c);
        if (place.key < 0)
            engine_.forEachLayout([&](int32_t, int32_t, VX_Layout &layout) {
                if (place.key < 0)
                    place = findIn(layout, c);
            });
        if (place.key < 0)
            return fail(c, "is on no key");
        if (!reach(place.layout))
            return fail(c, "is on a layout that cannot be reached");
        const int caps = keyOfType(*place.layout, VX_KEY_CAPS);
        for (int i = 0; i < place.layout->modes && place.layout->mode != place.mode; ++i) {
            if (caps < 0)
                return fail(c, "needs a mode the layout has no caps key for");
            tap(*place.layout, caps);
        }
        if (place.layout->mode != place.mode)
            return fail(c, "needs a mode caps does not reach");
        // A tap on the key of an open cycle would replace its character:
        // wait for the cycle to close first.
        int wait = 0;
        if (place.layout->enumKey == place.key) {
            place.layout->resetEnum();
            wait = place.layout->tmEnumReset;
        }
        for (int i = 0; i <= place.position; ++i) {
            tap(*place.layout, place.key);
            if (i == 0)
                result.taps.back().waitMs = wait;
        }
        const int taps = static_cast<int>(result.taps.size() - before);
        if (taps > result.mostTapsForOne)
            result.mostTapsForOne = taps;
        return true;
    }

    TypingResult result;

private:
    // Shows `target`: back from an aux layout, round the basic layouts with
    // the switch key, then through a link.
    bool reach(VX_Layout *target)
    {
        for (int guard = 0; guard < 2 * VX_Engine::kSlots + 2 && engine_.activeLayout() != target; ++guard) {
            VX_Layout &shown = *engine_.activeLayout();
            int key = -1;
            if (target->type == VX_LAYOUT_AUX && shown.type == VX_LAYOUT_BASIC)
                key = linkTo(engine_, shown, target);
            if (key < 0 && shown.type == VX_LAYOUT_AUX)
                key = linkTo(engine_, shown, target);
            if (key < 0)
                key = keyOfType(shown, VX_KEY_SWITCH);
            if (key < 0)
                return false;
            tap(shown, key);
        }
        return engine_.activeLayout() == target;
    }

    void tap(VX_Layout &layout, int index)
    {
        const VX_Layout *shown = engine_.activeLayout();
        PlannedTap planned;
        planned.row = engine_.activeRow;
        planned.slot = engine_.activeSlot;
        planned.key = index;
        planned.x = layout.keys[index].x + layout.keys[index].width / 2;
        planned.y = layout.keys[index].y + layout.keys[index].height / 2;
        tapKey(layout, index, result.typed);
        planned.changesLayout = engine_.activeLayout() != shown;
        planned.shownRow = engine_.activeRow;
        planned.shownSlot = engine_.activeSlot;
        planned.shownMode = engine_.activeLayout()->mode;
        result.taps.push_back(planned);
    }

    bool fail(uint c, const char *why)
    {
        result.error = "'" + QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1).toStdString() + "' " + why;
        return false;
    }

    VX_Engine &engine_;
    VX_Layout *home_;  // the basic layout typing comes back to
};

}  // namespace

void tapKey(VX_Layout &layout, int index, std::string &typed)
{
    const VX_Key &key = layout.keys[index];
    const VX_KeyResult out = layout.press(key.x + key.width / 2, key.y + key.height / 2);
    if (out.send) {
        if (out.erase)
            eraseLast(typed);
        if (out.code == 0)
            typed += out.text;
        else if (out.code == VX_CODE_BACKSPACE)
            eraseLast(typed);
        else if (out.code == VX_CODE_RETURN)
            typed += '\n';
    }
    layout.release();
}

TypingResult typeText(VX_Engine &engine, const std::string &text, const char *home)
{
    Typist typist(engine);
    if (home && !typist.goHome(home))
        return typist.result;
    for (uint c : QString::fromStdString(text).toUcs4())
        if (!typist.type(c))
            break;
    return typist.result;
}
