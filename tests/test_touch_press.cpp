// The touch typing model of the state machine, driven without a window:
// keys type on the lift, slides move the hold, leaving the board cancels,
// held keys repeat, multi-tap cycles per lift, caps is a one-shot shift
// that a double tap locks, and a long press opens a popup of alternates
// (or the menu on the switch key) that the finger picks from. Each case is a script of pointer events and
// timer ticks and the text the board would have sent.
#include <gtest/gtest.h>

#include <QPixmap>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "base/VX_Utf8.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

enum { Q, W, ABC, CAPS, BKS, SPACE, SWITCH, KEYS };

// Where the script's key names point; "gap" lies between q and w, "off"
// outside the board.
struct Place {
    const char *name;
    int x, y;
};
constexpr Place kPlaces[] = {{"q", 10, 10},    {"w", 40, 10},     {"abc", 70, 10}, {"caps", 100, 10},
                             {"bks", 130, 10}, {"space", 160, 10}, {"switch", 190, 10}, {"gap", 25, 10},
                             {"off", 10, 45},  {"left", -3, 10},
                             // Above the board, over the popup of the first key's alternates (one
                             // row of 20-pixel cells from x 0, 24 pixels above the key)...
                             {"pop0", 10, -14}, {"pop1", 30, -14}, {"pop3", 70, -14}, {"far", 200, -14},
                             // ... and over the two entries of a menu above the switch key.
                             {"menu0", 190, -14}, {"menu1", 190, -34}};

class TouchPressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        sheet.pixmap = std::make_unique<QPixmap>(40, 20);
        sheet.pixmap->fill(Qt::gray);
        released.cutFrom(&sheet, 0, 0, 20, 20);
        pressed.cutFrom(&sheet, 20, 0, 20, 20);
        engine.touch.typeOnLift = true;
        engine.touch.oneShotCaps = true;
        engine.touch.marks = true;
        fresh();
    }

    // Two new basic layouts, the first one shown: the state every case
    // starts from.
    void fresh()
    {
        for (auto &l : engine.layouts[0])
            l.reset();
        engine.layoutCount[0] = 0;
        engine.activeRow = engine.activeSlot = 0;
        engine.returnSlot = -1;
        first = addLayout();
        second = addLayout();
    }

    VX_Layout *addLayout()
    {
        const uint32_t at = engine.layoutCount[0]++;
        engine.layouts[0][at] = std::make_unique<VX_Layout>(&engine);
        VX_Layout &l = *engine.layouts[0][at];
        l.keyCount = KEYS;
        l.keys = std::make_unique<VX_Key[]>(KEYS);
        l.modes = 2;
        l.width = 220;
        l.height = 30;
        l.repeatOn = 1;
        l.drawPressed = 1;
        const int types[KEYS] = {VX_KEY_ALPHA, VX_KEY_ALPHA, VX_KEY_ALPHA, VX_KEY_CAPS,
                                 VX_KEY_BKS,   VX_KEY_SPACE, VX_KEY_SWITCH};
        const char *chars[KEYS][2] = {{"q", "Q"}, {"w", "W"}, {"abc", "ABC"}};
        for (int i = 0; i < KEYS; ++i) {
            VX_Key &k = l.keys[i];
            k.type = types[i];
            k.x = i * 30;
            k.y = 0;
            k.width = k.height = 20;
            for (int m = 0; m < 2; ++m) {
                k.pix[m][VX_PIX_RELEASED] = &released;
                k.pix[m][VX_PIX_PRESSED] = &pressed;
                if (chars[i][m]) {
                    std::strcpy(k.chars[m], chars[i][m]);
                    k.charCount[m] = vxUtf8Count(chars[i][m], std::strlen(chars[i][m]));
                }
            }
        }
        return &l;
    }

    static const Place &place(const std::string &name)
    {
        for (const Place &p : kPlaces)
            if (name == p.name)
                return p;
        ADD_FAILURE() << "no place " << name;
        return kPlaces[0];
    }

    // What the board would send for one result: "<" for each Backspace,
    // "\n" for Return, else the text.
    static void collect(const VX_KeyResult &r, std::string &typed)
    {
        if (!r.send)
            return;
        if (r.erase)
            typed += '<';
        if (r.code == VX_CODE_BACKSPACE)
            typed += '<';
        else if (r.code == VX_CODE_RETURN)
            typed += '\n';
        else
            typed += r.text;
    }

    // Plays `script` on the layout shown at each step: "Pk" press on k,
    // "Mk" slide to k, "R" release, a bare key name a tap (press and
    // release), "T" a repeat tick, "Z" the reset timer running out.
    std::string play(const std::string &script)
    {
        std::istringstream in(script);
        std::string step, typed;
        while (in >> step) {
            VX_Layout &l = *engine.activeLayout();
            if (step == "R") {
                last = l.release();
            } else if (step == "T") {
                // The timer's tick: a repeat, or the long-press time running out.
                last = l.repeatStep();
            } else if (step == "Z") {
                last = l.resetEnum();
            } else if (step[0] == 'P' && step.size() > 1) {
                const Place &p = place(step.substr(1));
                last = l.press(p.x, p.y);
            } else if (step[0] == 'M' && step.size() > 1) {
                const Place &p = place(step.substr(1));
                last = l.move(p.x, p.y);
            } else {
                const Place &p = place(step);
                collect(l.press(p.x, p.y), typed);
                last = engine.activeLayout()->release();
            }
            collect(last, typed);
        }
        return typed;
    }

    VX_Image sheet, released, pressed;
    VX_Engine engine;
    VX_Layout *first = nullptr;
    VX_Layout *second = nullptr;
    VX_KeyResult last;
};

TEST_F(TouchPressTest, TypesWhatIsUnderThePointerWhenItLifts)
{
    struct Case {
        const char *script;
        const char *typed;
    } cases[] = {
        {"Pq", ""},                       // a press alone types nothing
        {"Pq R", "q"},                    // the lift types
        {"Pq Mw", ""},                    // a slide types nothing
        {"Pq Mw R", "w"},                 // only the key lifted from
        {"Pq Mw Mabc Mw R", "w"},         // across several keys and back
        {"Pq Mgap R", "q"},               // a gap between keys keeps the hold
        {"Pgap Mw R", "w"},               // a slide from a gap reaches a key
        {"Pq Moff R", ""},                // off the board: cancelled
        {"Pq Mleft R", ""},               // off its left edge too
        {"Pq Moff Mw R", "w"},            // back on the board: the key reached is held
        {"Pgap R", ""},                   // between keys
        {"Pbks R Pspace R", "< "},        // Backspace and space on the lift
        {"Pq T", "q"},                    // the first repeat types the key
        {"Pq T R", "q"},                  // ... and the lift adds nothing
        {"Pq T T T R", "qqq"},            // then at the rate
        {"Pq T Mw R", "qw"},              // what repeated stays; the slide moves on
        {"Pq T Moff R", "q"},             // leaving the board keeps what repeated
        {"Pabc T T T R", "a<b<c"},        // a held multi-tap key steps through its characters
        {"abc abc abc abc", "a<b<c<a"},   // multi-tap, one step per lift
        {"abc Z abc", "aa"},              // the reset time closes the cycle
        {"abc q abc", "aqa"},             // another key closes it
        {"abc Pabc Mq R abc", "aqa"},     // a slide onto another key closes it too
        {"abc Pabc Moff R abc", "a<b"},   // a cancelled press leaves the cycle open
        {"Pcaps Mq R", "q"},              // caps slid off does nothing
        {"Pswitch Mq R", "q"},            // nor does a switch key
    };
    for (const Case &c : cases) {
        fresh();
        EXPECT_EQ(play(c.script), c.typed) << c.script;
        EXPECT_EQ(engine.activeSlot, 0) << c.script;
    }
}

TEST_F(TouchPressTest, OneShotShiftAndLock)
{
    struct Case {
        const char *script;
        const char *typed;
        int32_t caps;  // after the script
    } cases[] = {
        {"caps", "", VX_CAPS_ONCE},
        {"caps q w", "Qw", VX_CAPS_OFF},               // the next character only
        {"caps caps q w", "QW", VX_CAPS_LOCKED},       // double tap locks
        {"caps caps q caps q", "Qq", VX_CAPS_OFF},     // a tap while locked releases
        {"caps Z caps q", "q", VX_CAPS_OFF},           // too slow for a double tap: released
        {"caps q caps w", "QW", VX_CAPS_OFF},          // a key between: two single shifts
        {"caps bks q", "<Q", VX_CAPS_OFF},             // Backspace does not use it up
        {"caps space q", " q", VX_CAPS_OFF},           // space does
        {"caps abc abc", "A<B", VX_CAPS_ONCE},         // a multi-tap cycle stays in capitals
        {"caps abc abc Z abc", "A<Ba", VX_CAPS_OFF},   // until it closes
        {"caps abc abc q", "A<Bq", VX_CAPS_OFF},       // or another key closes it
        {"caps Pq T T R w", "QQw", VX_CAPS_OFF},       // a held key repeats in capitals
        {"caps Pq Moff R w", "W", VX_CAPS_OFF},        // a cancelled press leaves the shift
        {"caps switch switch q", "Q", VX_CAPS_OFF},    // the shift belongs to its layout
    };
    for (const Case &c : cases) {
        fresh();
        EXPECT_EQ(play(c.script), c.typed) << c.script;
        EXPECT_EQ(engine.activeLayout()->caps, c.caps) << c.script;
        EXPECT_EQ(engine.activeLayout()->mode, c.caps == VX_CAPS_OFF ? 0 : 1) << c.script;
    }
}

TEST_F(TouchPressTest, WhatTheBoardIsToldAfterEachStep)
{
    play("Pq");
    EXPECT_EQ(last.held, Q);
    EXPECT_EQ(last.repeat, VX_KeyResult::TIMER_START);
    EXPECT_EQ(last.repeatInterval, 400);
    EXPECT_EQ(last.reset, VX_KeyResult::TIMER_STOP);
    play("Mgap");
    EXPECT_EQ(last.held, Q);
    EXPECT_EQ(last.repeat, VX_KeyResult::TIMER_KEEP) << "a gap keeps the repeat running";
    play("Mw");
    EXPECT_EQ(last.held, W);
    EXPECT_EQ(last.repeat, VX_KeyResult::TIMER_START) << "a new key waits its own period";
    play("Moff");
    EXPECT_EQ(last.held, -1);
    EXPECT_EQ(last.repeat, VX_KeyResult::TIMER_STOP);
    play("R");
    EXPECT_FALSE(last.send);

    play("Pcaps");
    EXPECT_EQ(last.repeat, VX_KeyResult::TIMER_STOP) << "caps types nothing, so it never repeats";
    play("R");
    EXPECT_TRUE(last.layoutChanged);
    EXPECT_EQ(last.reset, VX_KeyResult::TIMER_START) << "the time for a second tap";
    EXPECT_EQ(last.resetInterval, 1000);
    EXPECT_EQ(last.held, -1);
}

TEST_F(TouchPressTest, MarksOfAnOpenCycleAndOfTheLock)
{
    VX_Layout &l = *first;
    play("abc");
    EXPECT_TRUE(l.drawnPressed(ABC)) << "the open cycle's key stays drawn pressed";
    EXPECT_TRUE(last.repaint);
    l.redrawReleased = l.redrawPressed = -1;
    play("Z");
    EXPECT_FALSE(l.drawnPressed(ABC));
    EXPECT_TRUE(last.repaint) << "closing the cycle redraws the key";
    EXPECT_EQ(l.redrawReleased, ABC);

    play("caps");
    EXPECT_FALSE(l.drawnPressed(CAPS)) << "the one-shot shows in the capitals alone";
    play("caps");
    EXPECT_TRUE(l.drawnPressed(CAPS)) << "the lock shows on the caps key";
    play("caps");
    EXPECT_FALSE(l.drawnPressed(CAPS));

    engine.touch.marks = false;
    play("abc");
    EXPECT_FALSE(l.drawnPressed(ABC));
}

// The one-shot shift with typing on the press: the same rules.
TEST_F(TouchPressTest, OneShotShiftWhenKeysTypeOnThePress)
{
    engine.touch.typeOnLift = false;
    EXPECT_EQ(play("caps q w"), "Qw");
    EXPECT_EQ(play("caps caps q w caps q"), "QWq");
    EXPECT_EQ(play("Pq Mw R"), "qw") << "sliding types each key, as before";
    engine.touch.oneShotCaps = false;
    EXPECT_EQ(play("caps q w caps q"), "QWq") << "without it caps is a lock";
}

// A long press: keys with alternates wait for the long-press time instead
// of repeating, then the popup is open and the finger picks from it.
TEST_F(TouchPressTest, LongPressOffersTheAlternates)
{
    struct Case {
        const char *script;
        const char *typed;
    } cases[] = {
        {"Pq R", "e"},                        // a quick tap is unchanged
        {"Pq T R", "é"},                      // held past the time, lifted unmoved: the nearest alternate
        {"Pq T Mpop3 R", "ë"},                // slid to another alternate
        {"Pq T Mpop3 Mpop1 R", "è"},          // and back along the row
        {"Pq T Moff R", ""},                  // slid off the popup: nothing
        {"Pq T Mfar R", ""},                  // past its side: nothing
        {"Pq T Moff Mpop3 R", "ë"},           // back onto it
        {"Pq T Mleft R", "é"},                // just off the board, still within the popup's reach
        {"Pq T R q", "ée"},                   // the next tap types the key again
        {"Pw T R", "ń"},                      // the middle one of ñ ń ň is nearest the finger
        {"Pq Mw T R", "ń"},                   // slid to another key before the time: its own popup
        {"Pq T Pw R", "n"},                   // a second press closes the popup and is a tap
        {"caps Pq T R w", "Én"},              // the case the key shows, using up the one-shot shift
        {"caps caps Pq T Mpop1 R q", "ÈE"},   // locked caps stays
        {"Pbks T T R", "<<"},                 // Backspace has none: it still repeats
        {"Pspace T T R", "  "},               // and space
        {"abc Pabc T Mpop1 R", "ab"},         // a multi-tap key offers its own characters, no erase
        {"abc Pabc T Moff R abc", "aa"},      // a popup let go without a pick ends the cycle
        {"Pswitch T R", ""},                  // no menu: the switch key switches (checked below)
    };
    for (const Case &c : cases) {
        fresh();
        engine.touch.longPressMs = 400;
        for (VX_Layout *l : {first, second}) {
            std::strcpy(l->keys[Q].chars[0], "e");
            std::strcpy(l->keys[Q].chars[1], "E");
            std::strcpy(l->keys[W].chars[0], "n");
            std::strcpy(l->keys[W].chars[1], "N");
        }
        EXPECT_EQ(play(c.script), c.typed) << c.script;
        EXPECT_FALSE(engine.activeLayout()->popup.isOpen()) << c.script;
        EXPECT_EQ(engine.activeLayout()->pressedKey, -1) << c.script;
    }
    EXPECT_EQ(engine.activeSlot, 1) << "without a menu a held switch key still switches";
}

TEST_F(TouchPressTest, WhatTheBoardIsToldAboutALongPress)
{
    engine.touch.longPressMs = 350;
    std::strcpy(first->keys[Q].chars[0], "e");
    play("Pq");
    EXPECT_EQ(last.repeat, VX_KeyResult::TIMER_START) << "the long-press time, not a repeat";
    EXPECT_EQ(last.repeatInterval, 350);
    EXPECT_FALSE(last.popupChanged);
    play("T");
    EXPECT_TRUE(last.popupChanged) << "the popup opens";
    EXPECT_EQ(last.repeat, VX_KeyResult::TIMER_STOP) << "and the key never repeats";
    EXPECT_FALSE(last.send);
    EXPECT_EQ(last.held, Q);
    const VX_Popup &p = first->popup;
    ASSERT_TRUE(p.isOpen());
    EXPECT_EQ(p.kind, VX_Popup::ALTERNATES);
    EXPECT_EQ(p.key, Q);
    EXPECT_EQ(p.highlight, 0);
    EXPECT_LT(p.y + p.height(), first->keys[Q].y) << "above its key";
    play("Mpop0");
    EXPECT_FALSE(last.popupChanged) << "the same cell: nothing to draw";
    play("Mpop3");
    EXPECT_TRUE(last.popupChanged);
    EXPECT_EQ(p.highlight, 3);
    play("Moff");
    EXPECT_EQ(p.highlight, -1);
    play("R");
    EXPECT_FALSE(last.send);
    EXPECT_TRUE(last.popupChanged) << "it closes";
    EXPECT_FALSE(p.isOpen());

    engine.touch.longPressMs = 0;
    play("Pq");
    EXPECT_EQ(last.repeatInterval, 400) << "without a long-press time the key repeats";
    play("R");
    engine.touch.typeOnLift = false;
    engine.touch.longPressMs = 350;
    EXPECT_EQ(play("Pq T R"), "ee") << "keys typing on the press keep repeating";
}

TEST_F(TouchPressTest, LongPressOnTheSwitchKeyOpensTheMenu)
{
    struct Case {
        const char *script;
        int action;       // picked, or -1
        int32_t slot;     // shown after the script
    } cases[] = {
        {"Pswitch R", -1, 1},              // a tap switches
        {"Pswitch T Mmenu0 R", 7, 0},      // the entry nearest the key
        {"Pswitch T Mmenu1 R", 8, 0},      // the one above it
        {"Pswitch T R", -1, 0},            // lifted on the key: nothing, and no switch
        {"Pswitch T Mmenu1 Moff R", -1, 0},
    };
    for (const Case &c : cases) {
        fresh();
        engine.touch.longPressMs = 400;
        engine.menu.clear();
        engine.menu.add("One", 7);
        engine.menu.add("Two", 8);
        engine.menuCellWidth = 60;
        play(c.script);
        EXPECT_EQ(last.menuAction, c.action) << c.script;
        EXPECT_EQ(engine.activeSlot, c.slot) << c.script;
        EXPECT_FALSE(last.send) << c.script;
    }
}

}  // namespace
