// The key press state machine driven without a window: layouts and keys are
// built by hand, the pointer is played through press/move/release and the
// repeat and reset timers through repeatStep/resetEnum.
#include <gtest/gtest.h>

#include <QPixmap>
#include <cstring>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/VX_Utf8.h"
#include "engine/VX_Engine.h"
#include "engine/VX_KeyNames.h"
#include "engine/VX_Layout.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

// What one key action asks the board to send.
struct Output {
    bool send;
    bool erase;
    int32_t code;
    std::string text;
};

// The interval a result starts the repeat timer with; 0 when it keeps the
// timer, -1 when it stops it.
int32_t repeatInterval(const VX_KeyResult &r)
{
    if (r.repeat == VX_KeyResult::TIMER_START)
        return r.repeatInterval;
    return r.repeat == VX_KeyResult::TIMER_STOP ? -1 : 0;
}

class KeyPressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        sheet.pixmap = std::make_unique<QPixmap>(64, 32);
        sheet.pixmap->fill(Qt::gray);
        released = piece(0, 0, 10, 10);
        pressed = piece(10, 0, 10, 10);
    }

    VX_Image *piece(int x, int y, int w, int h)
    {
        pieces.push_back(std::make_unique<VX_Image>());
        pieces.back()->cutFrom(&sheet, x, y, w, h);
        return pieces.back().get();
    }

    // Puts a new layout with `keyCount` untyped keys into the next free slot
    // of `row`.
    VX_Layout &addLayout(int row, int32_t keyCount)
    {
        const uint32_t slot = engine.layoutCount[row]++;
        engine.layouts[row][slot] = std::make_unique<VX_Layout>(&engine);
        VX_Layout &layout = *engine.layouts[row][slot];
        layout.type = row;
        layout.keyCount = keyCount;
        layout.keys = std::make_unique<VX_Key[]>(keyCount);
        return layout;
    }

    // A key with a released picture in both modes and the given strings.
    static VX_Key &setKey(VX_Layout &layout, int32_t index, int32_t type, int32_t x,
                          int32_t y, int32_t w, int32_t h, VX_Image *pic,
                          const char *chars0 = "", const char *chars1 = "")
    {
        VX_Key &key = layout.keys[index];
        key.type = type;
        key.x = x;
        key.y = y;
        key.width = w;
        key.height = h;
        key.pix[0][VX_PIX_RELEASED] = pic;
        key.pix[1][VX_PIX_RELEASED] = pic;
        std::strcpy(key.chars[0], chars0);
        std::strcpy(key.chars[1], chars1);
        key.charCount[0] = vxUtf8Count(chars0, std::strlen(chars0));
        key.charCount[1] = vxUtf8Count(chars1, std::strlen(chars1));
        return key;
    }

    static Output outputOf(const VX_KeyResult &r)
    {
        return {r.send, r.erase, r.code, r.code == 0 ? r.text : ""};
    }

    // A press at (x, y) and its release.
    static Output tap(VX_Layout &layout, int32_t x, int32_t y)
    {
        Output out = outputOf(layout.press(x, y));
        layout.release();
        return out;
    }

    VX_Layout *active() const
    {
        return engine.layouts[engine.activeRow][engine.activeSlot].get();
    }

    VX_Image sheet;
    std::vector<std::unique_ptr<VX_Image>> pieces;
    VX_Image *released = nullptr;
    VX_Image *pressed = nullptr;
    VX_Engine engine;
};

// --- Hit test ---

TEST_F(KeyPressTest, HitTestEdgesAndSkippedKeys)
{
    VX_Layout &l = addLayout(0, 5);
    setKey(l, 0, VX_KEY_ALPHA, 20, 0, 10, 10, released, "a");
    setKey(l, 1, VX_KEY_ALPHA, 30, 0, 10, 10, released, "b");  // shares x 30
    setKey(l, 2, VX_KEY_LABEL, 50, 0, 10, 10, released);
    setKey(l, 3, VX_KEY_ALPHA, 70, 0, 10, 10, nullptr, "c");   // no picture
    setKey(l, 4, VX_KEY_ALPHA, 70, 0, 10, 10, released, "d");  // under key 3

    struct Case {
        int32_t x, y, want;
    } cases[] = {
        {20, 0, 0},  {30, 5, 0},  {31, 5, 1},  {19, 5, 5},  {20, 10, 0},
        {20, 11, 5}, {25, -1, 5}, {40, 10, 1}, {41, 10, 5}, {55, 5, 5},
        {75, 5, 4},  {-5, -5, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("at " + std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(l.hitTest(c.x, c.y), c.want);
    }
}

TEST_F(KeyPressTest, HitTestUsesThePictureOfTheCurrentMode)
{
    VX_Layout &l = addLayout(0, 1);
    l.modes = 2;
    setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, "a", "A");
    l.keys[0].pix[1][VX_PIX_RELEASED] = nullptr;
    EXPECT_EQ(l.hitTest(5, 5), 0);
    l.mode = 1;
    EXPECT_EQ(l.hitTest(5, 5), 1);
}

TEST_F(KeyPressTest, HitTestWithoutKeysReturnsZero)
{
    VX_Layout &l = addLayout(0, 0);
    l.keys.reset();
    EXPECT_EQ(l.hitTest(0, 0), 0);
    EXPECT_FALSE(l.press(0, 0).send);
    EXPECT_EQ(l.pressedKey, -1);
}

// --- Key output and multi-tap ---

TEST_F(KeyPressTest, KeyTypesSendTheirOutput)
{
    VX_Layout &l = addLayout(0, 6);
    setKey(l, 0, VX_KEY_TAB, 0, 0, 9, 9, released);
    setKey(l, 1, VX_KEY_BKS, 10, 0, 9, 9, released);
    setKey(l, 2, VX_KEY_SPACE, 20, 0, 9, 9, released);
    setKey(l, 3, VX_KEY_ENT, 30, 0, 9, 9, released);
    setKey(l, 4, VX_KEY_SHIFT, 40, 0, 9, 9, released);
    setKey(l, 5, VX_KEY_UNTYPED, 50, 0, 9, 9, released);

    struct Case {
        int32_t x;
        int32_t code;
        const char *text;
    } cases[] = {{5, 0, "\t"}, {15, VX_CODE_BACKSPACE, ""}, {25, 0, " "}, {35, VX_CODE_RETURN, ""}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        const Output out = tap(l, c.x, 5);
        EXPECT_TRUE(out.send);
        EXPECT_FALSE(out.erase);
        EXPECT_EQ(out.code, c.code);
        EXPECT_EQ(out.text, c.text);
    }
    // Shift and untyped keys can be held but send nothing and change nothing.
    for (int32_t x : {45, 55}) {
        SCOPED_TRACE(x);
        EXPECT_FALSE(l.press(x, 5).send);
        EXPECT_NE(l.pressedKey, -1);
        l.release();
        EXPECT_EQ(l.pressedKey, -1);
        EXPECT_EQ(l.enumKey, -1);
    }
}

TEST_F(KeyPressTest, MultiTapCyclesThroughThreeCharacters)
{
    VX_Layout &l = addLayout(0, 2);
    setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, "abc");
    setKey(l, 1, VX_KEY_ALPHA, 20, 0, 10, 10, released, "x");

    struct Step {
        bool erase;
        const char *text;
    } steps[] = {{false, "a"}, {true, "b"}, {true, "c"}, {true, "a"}};
    int n = 0;
    for (const Step &s : steps) {
        SCOPED_TRACE("tap " + std::to_string(++n));
        Output out = tap(l, 5, 5);
        EXPECT_TRUE(out.send);
        EXPECT_EQ(out.erase, s.erase);
        EXPECT_EQ(out.code, 0);
        EXPECT_EQ(out.text, s.text);
        EXPECT_EQ(l.enumKey, 0);
    }

    // The reset time ran out: the cycle starts again without an erase.
    l.resetEnum();
    EXPECT_EQ(l.enumKey, -1);
    Output out = tap(l, 5, 5);
    EXPECT_FALSE(out.erase);
    EXPECT_EQ(out.text, "a");

    // A tap on another key in between closes the cycle too.
    tap(l, 25, 5);
    EXPECT_EQ(l.keys[0].enumPos, 0);
    EXPECT_FALSE(l.keys[0].enumActive);
    out = tap(l, 5, 5);
    EXPECT_FALSE(out.erase);
    EXPECT_EQ(out.text, "a");

    // And so does a press on empty board.
    tap(l, 100, 100);
    EXPECT_EQ(l.enumKey, -1);
    out = tap(l, 5, 5);
    EXPECT_FALSE(out.erase);
    EXPECT_EQ(out.text, "a");
}

TEST_F(KeyPressTest, OneCharacterKeyNeverErases)
{
    VX_Layout &l = addLayout(0, 1);
    setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, "q");
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Output out = tap(l, 5, 5);
        EXPECT_FALSE(out.erase);
        EXPECT_EQ(out.text, "q");
        EXPECT_EQ(l.enumKey, -1);
    }
}

TEST_F(KeyPressTest, EachActionSendsOneWholeCharacter)
{
    // The layout's "alpha" does not matter: characters are UTF-8 sequences.
    for (int32_t charBytes : {1, 2}) {
        SCOPED_TRACE(charBytes);
        VX_Layout &l = addLayout(0, 2);
        l.charBytes = charBytes;
        // a, e acute, euro sign, U+1F600, sharp s: 1, 2, 3, 4 and 2 bytes.
        const char *chars = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\x9F";
        setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, chars);
        setKey(l, 1, VX_KEY_ALPHA, 20, 0, 10, 10, released, "z");
        ASSERT_EQ(l.keys[0].charCount[0], 5);

        const std::string sent[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                    "\xC3\x9F", "a"};
        for (size_t i = 0; i < std::size(sent); ++i) {
            SCOPED_TRACE(i);
            const Output out = tap(l, 5, 5);
            EXPECT_EQ(out.erase, i > 0);
            EXPECT_EQ(out.text, sent[i]);
        }
        // A one-byte string is one character, also with alpha 2.
        for (int i = 0; i < 2; ++i) {
            const Output out = tap(l, 25, 5);
            EXPECT_FALSE(out.erase);
            EXPECT_EQ(out.text, "z");
        }
        engine.layouts[0][0].reset();
        engine.layoutCount[0] = 0;
    }
}

TEST_F(KeyPressTest, BytesThatAreNoCharacterAreSentOneByOne)
{
    // The loader refuses such strings; a key filled some other way still
    // never has its output read past the string's end.
    VX_Layout &l = addLayout(0, 1);
    VX_Key &key = setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, "\xE2\x82");
    key.charCount[0] = 3;
    EXPECT_EQ(tap(l, 5, 5).text, "\xE2");
    EXPECT_EQ(tap(l, 5, 5).text, "\x82");
    EXPECT_EQ(tap(l, 5, 5).text, "");
    EXPECT_EQ(tap(l, 5, 5).text, "\xE2");
}

// --- Auto-repeat ---

TEST_F(KeyPressTest, RepeatIntervals)
{
    VX_Layout &l = addLayout(0, 6);
    l.repeatOn = 1;
    l.tmPeriod = 400;
    l.tmRate = 110;
    l.tmEnumRate = 330;
    setKey(l, 0, VX_KEY_ALPHA, 0, 0, 9, 9, released, "k");
    setKey(l, 1, VX_KEY_BKS, 10, 0, 9, 9, released);
    setKey(l, 2, VX_KEY_TAB, 20, 0, 9, 9, released);
    setKey(l, 3, VX_KEY_SPACE, 30, 0, 9, 9, released);
    setKey(l, 4, VX_KEY_ENT, 40, 0, 9, 9, released);
    setKey(l, 5, VX_KEY_ALPHA, 50, 0, 9, 9, released, "abc");

    for (int32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE("key " + std::to_string(i));
        const VX_KeyResult pressed = l.press(i * 10 + 5, 5);
        EXPECT_EQ(repeatInterval(pressed), 400);
        const Output first = outputOf(pressed);
        VX_KeyResult tick = l.repeatStep();
        EXPECT_EQ(repeatInterval(tick), 110);
        tick = l.repeatStep();
        EXPECT_EQ(repeatInterval(tick), 0);
        EXPECT_TRUE(tick.send);
        EXPECT_FALSE(tick.erase);
        EXPECT_EQ(tick.code, first.code);
        EXPECT_EQ(outputOf(tick).text, first.text);
        EXPECT_EQ(repeatInterval(l.release()), -1);
    }

    VX_KeyResult r = l.press(55, 5);
    EXPECT_EQ(repeatInterval(r), 400);
    EXPECT_STREQ(r.text, "a");
    r = l.repeatStep();
    EXPECT_EQ(repeatInterval(r), 330);
    EXPECT_TRUE(r.erase);
    EXPECT_STREQ(r.text, "b");
    r = l.repeatStep();
    EXPECT_EQ(repeatInterval(r), 0);
    EXPECT_TRUE(r.erase);
    EXPECT_STREQ(r.text, "c");
    l.release();

    // No key held: a stray tick sends nothing.
    r = l.repeatStep();
    EXPECT_FALSE(r.send);
    EXPECT_FALSE(r.erase);
}

// Which timer instructions each event gives, with repeat on and off.
TEST_F(KeyPressTest, TimerInstructions)
{
    using T = VX_KeyResult;
    for (int32_t repeatOn : {0, 1}) {
        SCOPED_TRACE("repeat-on " + std::to_string(repeatOn));
        engine.layouts[0][0].reset();
        engine.layoutCount[0] = 0;
        VX_Layout &l = addLayout(0, 2);
        l.repeatOn = repeatOn;
        l.tmEnumReset = 700;
        setKey(l, 0, VX_KEY_ALPHA, 0, 0, 9, 9, released, "abc");
        setKey(l, 1, VX_KEY_SHIFT, 20, 0, 9, 9, released);
        const T::Timer stopIfOn = repeatOn ? T::TIMER_STOP : T::TIMER_KEEP;

        VX_KeyResult r = l.press(5, 5);
        EXPECT_EQ(r.repeat, repeatOn ? T::TIMER_START : T::TIMER_KEEP);
        EXPECT_EQ(r.reset, T::TIMER_STOP);
        r = l.move(6, 6);  // same key
        EXPECT_EQ(r.repeat, T::TIMER_KEEP);
        EXPECT_EQ(r.reset, T::TIMER_KEEP);
        EXPECT_FALSE(r.send);
        r = l.move(25, 5);  // onto a key without output
        EXPECT_EQ(r.repeat, stopIfOn);
        EXPECT_EQ(r.reset, T::TIMER_KEEP);
        r = l.move(100, 5);  // off every key
        EXPECT_EQ(r.repeat, stopIfOn);
        r = l.move(101, 5);  // still off: nothing was held
        EXPECT_EQ(r.repeat, T::TIMER_KEEP);
        r = l.release();
        EXPECT_EQ(r.repeat, stopIfOn);
        EXPECT_EQ(r.reset, T::TIMER_KEEP);

        l.press(5, 5);
        r = l.release();  // the cycle of "abc" is open
        EXPECT_EQ(r.reset, T::TIMER_START);
        EXPECT_EQ(r.resetInterval, 700);
    }
}

// A period of 0 turns auto-repeat off; every tap still types, and the erase
// step of a multi-tap key never goes without the character replacing it.
TEST_F(KeyPressTest, ZeroPeriodTypesEveryTapWithoutRepeat)
{
    VX_Layout &l = addLayout(0, 2);
    l.tmPeriod = 0;
    l.repeatOn = 1;
    setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, "abc");
    setKey(l, 1, VX_KEY_ALPHA, 20, 0, 10, 10, released, "q");
    struct Step {
        int32_t x;
        bool erase;
        const char *text;
    } steps[] = {{5, false, "a"}, {5, true, "b"}, {25, false, "q"}, {25, false, "q"}};
    for (const Step &s : steps) {
        SCOPED_TRACE(std::to_string(s.x) + " " + s.text);
        const VX_KeyResult r = l.press(s.x, 5);
        EXPECT_TRUE(r.send);
        EXPECT_EQ(r.erase, s.erase);
        EXPECT_STREQ(r.text, s.text);
        EXPECT_NE(r.repeat, VX_KeyResult::TIMER_START);
        l.release();
    }
}

// --- Sliding and pressed looks ---

TEST_F(KeyPressTest, SlidingMovesThePressAndQueuesRepaints)
{
    VX_Layout &l = addLayout(0, 2);
    l.drawPressed = 1;
    VX_Key &a = setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, "abc");
    setKey(l, 1, VX_KEY_ALPHA, 20, 0, 10, 10, released, "x");
    a.pix[0][VX_PIX_PRESSED] = pressed;
    l.keys[1].pix[0][VX_PIX_PRESSED] = released;  // looks the same pressed
    l.fullRedraw = false;  // the board is painted

    tap(l, 5, 5);  // a, cycle open
    l.redrawPressed = l.redrawReleased = -1;
    VX_KeyResult r = l.press(5, 5);  // erase + b
    EXPECT_TRUE(r.send && r.erase);
    EXPECT_TRUE(r.repaint);
    EXPECT_EQ(l.redrawPressed, 0);
    l.redrawPressed = -1;  // painted

    // Staying on the key changes nothing.
    r = l.move(10, 10);
    EXPECT_FALSE(r.send || r.erase || r.repaint);
    EXPECT_EQ(l.redrawPressed, -1);

    r = l.move(25, 5);
    EXPECT_TRUE(r.send);
    EXPECT_FALSE(r.erase);
    EXPECT_STREQ(r.text, "x");
    EXPECT_EQ(l.pressedKey, 1);
    EXPECT_EQ(l.redrawReleased, 0);
    EXPECT_EQ(l.redrawPressed, 1);
    EXPECT_EQ(a.enumPos, 0);
    EXPECT_FALSE(a.enumActive);

    // Off every key: the press ends without output and the release is idle.
    l.redrawPressed = l.redrawReleased = -1;  // painted
    r = l.move(100, 100);
    EXPECT_FALSE(r.send);
    EXPECT_EQ(l.pressedKey, -1);
    EXPECT_EQ(l.redrawReleased, -1);  // key 1 looks the same pressed
    r = l.release();
    EXPECT_FALSE(r.repaint);
    EXPECT_EQ(l.redrawReleased, -1);

    // A move that starts outside every key presses the key it reaches.
    EXPECT_FALSE(l.move(100, 101).send);
    EXPECT_TRUE(l.move(5, 5).send);
    EXPECT_EQ(l.pressedKey, 0);
}

// Once a held key is let go it is drawn released again, whenever its pressed
// look may be on the board; a pressed look not yet painted is never painted
// afterwards, whatever happens before the next paint.
TEST_F(KeyPressTest, LetGoKeysAreQueuedForTheirReleasedLook)
{
    VX_Layout &l = addLayout(0, 4);
    l.drawPressed = 1;
    setKey(l, 0, VX_KEY_SPACE, 0, 0, 9, 9, released).pix[0][VX_PIX_PRESSED] = pressed;
    setKey(l, 1, VX_KEY_SPACE, 10, 0, 9, 9, released).pix[0][VX_PIX_PRESSED] = released;
    setKey(l, 2, VX_KEY_SPACE, 20, 0, 9, 9, released);  // pressed slot left empty
    setKey(l, 3, VX_KEY_SPACE, 30, 0, 9, 9, released).pix[0][VX_PIX_PRESSED] = pressed;

    // Pressed, painted, released: only a key that looks different pressed
    // is drawn again.
    struct Case {
        int32_t x, want;
    } cases[] = {{5, 0}, {15, -1}, {25, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        l.press(c.x, 5);
        EXPECT_EQ(l.redrawPressed, c.x / 10);
        l.redrawPressed = -1;  // painted
        l.release();
        EXPECT_EQ(l.redrawReleased, c.want);
        EXPECT_EQ(l.redrawPressed, -1);
        l.redrawReleased = -1;
    }

    // Pressed and released before a paint: no pressed look is left to draw.
    tap(l, 5, 5);
    EXPECT_EQ(l.redrawPressed, -1);
    EXPECT_EQ(l.redrawReleased, 0);
    l.redrawReleased = -1;

    // Key 0 painted pressed, then slid to key 3 and released there before a
    // paint: key 0 must still come back, key 3 is never drawn pressed.
    l.press(5, 5);
    l.redrawPressed = -1;  // painted
    l.move(35, 5);
    l.release();
    EXPECT_EQ(l.redrawReleased, 0);
    EXPECT_EQ(l.redrawPressed, -1);
    l.redrawReleased = -1;

    l.drawPressed = 0;
    tap(l, 5, 5);
    EXPECT_EQ(l.redrawPressed, -1);
    EXPECT_EQ(l.redrawReleased, -1);
}

// --- Caps and layout changes ---

TEST_F(KeyPressTest, CapsTogglesTheMode)
{
    VX_Layout &l = addLayout(0, 1);
    l.modes = 2;
    setKey(l, 0, VX_KEY_CAPS, 0, 0, 10, 10, released);
    for (int32_t want : {1, 0, 1}) {
        l.fullRedraw = false;
        tap(l, 5, 5);
        EXPECT_EQ(l.mode, want);
        EXPECT_TRUE(l.fullRedraw);
    }

    VX_Layout &single = addLayout(0, 1);
    setKey(single, 0, VX_KEY_CAPS, 0, 0, 10, 10, released);
    single.fullRedraw = false;
    tap(single, 5, 5);
    EXPECT_EQ(single.mode, 0);
    EXPECT_FALSE(single.fullRedraw);
}

// A key typed once in one mode must not erase that character when it is first
// tapped after a caps change, even where it has several characters.
TEST_F(KeyPressTest, ModeChangeClosesEveryCycle)
{
    VX_Layout &l = addLayout(0, 3);
    l.modes = 2;
    setKey(l, 0, VX_KEY_CAPS, 0, 0, 10, 10, released);
    VX_Key &one = setKey(l, 1, VX_KEY_ALPHA, 20, 0, 10, 10, released, "a", "xyz");
    VX_Key &many = setKey(l, 2, VX_KEY_ALPHA, 40, 0, 10, 10, released, "mno", "pq");

    tap(l, 25, 5);
    EXPECT_TRUE(one.enumActive);
    tap(l, 45, 5);
    tap(l, 45, 5);  // "n", cycle open at position 2
    EXPECT_EQ(l.enumKey, 2);

    tap(l, 5, 5);
    ASSERT_EQ(l.mode, 1);
    EXPECT_EQ(l.enumKey, -1);
    for (int32_t i = 0; i < l.keyCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(l.keys[i].enumPos, 0);
        EXPECT_FALSE(l.keys[i].enumActive);
    }

    Output out = tap(l, 25, 5);
    EXPECT_FALSE(out.erase);
    EXPECT_EQ(out.text, "x");
    out = tap(l, 45, 5);
    EXPECT_FALSE(out.erase);
    EXPECT_EQ(out.text, "p");
    EXPECT_EQ(many.enumPos, 1);
}

TEST_F(KeyPressTest, SwitchCyclesThroughBasicLayouts)
{
    for (int i = 0; i < 3; ++i) {
        VX_Layout &l = addLayout(0, 1);
        setKey(l, 0, VX_KEY_SWITCH, 0, 0, 10, 10, released);
        l.fullRedraw = false;
    }
    for (int32_t want : {1, 2, 0}) {
        VX_Layout *left = active();
        tap(*left, 5, 5);
        EXPECT_EQ(engine.activeRow, 0);
        EXPECT_EQ(engine.activeSlot, want);
        EXPECT_TRUE(left->fullRedraw);
        EXPECT_EQ(left->pressedKey, -1);
        left->fullRedraw = false;
    }
}

TEST_F(KeyPressTest, SwitchWithOneBasicLayoutStays)
{
    VX_Layout &l = addLayout(0, 1);
    setKey(l, 0, VX_KEY_SWITCH, 0, 0, 10, 10, released);
    l.fullRedraw = false;
    tap(l, 5, 5);
    EXPECT_EQ(engine.activeSlot, 0);
    EXPECT_FALSE(l.fullRedraw);
}

TEST_F(KeyPressTest, LinkToAuxAndBack)
{
    for (int i = 0; i < 3; ++i) {
        VX_Layout &l = addLayout(0, 1);
        setKey(l, 0, VX_KEY_LINK, 0, 0, 10, 10, released).linkSlot = 1;
    }
    for (int i = 0; i < 2; ++i)
        setKey(addLayout(1, 1), 0, VX_KEY_SWITCH, 0, 0, 10, 10, released);
    engine.activeSlot = 2;

    VX_Layout *basic = active();
    basic->fullRedraw = false;
    tap(*basic, 5, 5);
    EXPECT_EQ(engine.activeRow, 1);
    EXPECT_EQ(engine.activeSlot, 1);
    EXPECT_EQ(engine.returnSlot, 2);
    EXPECT_TRUE(basic->fullRedraw);

    tap(*active(), 5, 5);
    EXPECT_EQ(engine.activeRow, 0);
    EXPECT_EQ(engine.activeSlot, 2);
    EXPECT_EQ(engine.returnSlot, -1);
    EXPECT_EQ(active(), basic);
}

// A link out of an aux layout keeps the way back to the basic layout the user
// came from; the aux slot number is no basic slot.
TEST_F(KeyPressTest, LinkFromAuxKeepsTheReturnSlot)
{
    VX_Layout &basic = addLayout(0, 1);
    setKey(basic, 0, VX_KEY_LINK, 0, 0, 10, 10, released).linkSlot = 1;
    VX_Layout &aux0 = addLayout(1, 1);
    setKey(aux0, 0, VX_KEY_SWITCH, 0, 0, 10, 10, released);
    VX_Layout &aux1 = addLayout(1, 1);
    setKey(aux1, 0, VX_KEY_LINK, 0, 0, 10, 10, released).linkSlot = 0;

    tap(basic, 5, 5);
    ASSERT_EQ(active(), &aux1);
    tap(aux1, 5, 5);
    ASSERT_EQ(active(), &aux0);
    EXPECT_EQ(engine.returnSlot, 0);
    tap(aux0, 5, 5);
    EXPECT_EQ(active(), &basic);
}

// --- Failure paths ---

TEST_F(KeyPressTest, LinksToMissingLayoutsChangeNothing)
{
    VX_Layout &basic = addLayout(0, 2);
    setKey(basic, 0, VX_KEY_LINK, 0, 0, 10, 10, released).linkSlot = 3;   // empty
    setKey(basic, 1, VX_KEY_LINK, 20, 0, 10, 10, released).linkSlot = 4;  // out of range
    addLayout(1, 1);
    basic.fullRedraw = false;
    for (int32_t x : {5, 25}) {
        SCOPED_TRACE(x);
        tap(basic, x, 5);
        EXPECT_EQ(active(), &basic);
        EXPECT_EQ(engine.returnSlot, -1);
        EXPECT_FALSE(basic.fullRedraw);
    }
}

TEST_F(KeyPressTest, SwitchInAuxWithoutAReturnSlotStays)
{
    addLayout(0, 1);
    VX_Layout &aux = addLayout(1, 1);
    setKey(aux, 0, VX_KEY_SWITCH, 0, 0, 10, 10, released);
    engine.activeRow = 1;
    aux.fullRedraw = false;
    for (int32_t back : {-1, 4, 2}) {  // none, out of range, empty basic slot
        SCOPED_TRACE(back);
        engine.returnSlot = back;
        tap(aux, 5, 5);
        EXPECT_EQ(active(), &aux);
        EXPECT_FALSE(aux.fullRedraw);
    }
}

TEST_F(KeyPressTest, PressOnNothingClosesTheOpenCycle)
{
    VX_Layout &l = addLayout(0, 3);
    setKey(l, 0, VX_KEY_ALPHA, 0, 0, 10, 10, released, "abc");
    setKey(l, 1, VX_KEY_LABEL, 20, 0, 10, 10, released, "l");
    setKey(l, 2, VX_KEY_ALPHA, 40, 0, 10, 10, nullptr, "n");
    for (int32_t x : {25, 45, 100}) {
        SCOPED_TRACE(x);
        tap(l, 5, 5);
        ASSERT_EQ(l.enumKey, 0);
        const VX_KeyResult r = l.press(x, 5);
        EXPECT_FALSE(r.send || r.erase);
        EXPECT_EQ(l.pressedKey, -1);
        EXPECT_EQ(l.enumKey, -1);
        EXPECT_FALSE(l.keys[0].enumActive);
        l.release();
    }
}

// --- Named keys and sticky modifiers ---

constexpr uint32_t kLeft = 0xff51;      // XKB Left
constexpr uint32_t kControlL = 0xffe3;  // XKB Control_L
constexpr uint32_t kAltL = 0xffe9;      // XKB Alt_L

// A named key (or, with a modifier keysym, a modifier key) at `index`.
VX_Key &setNamed(VX_Layout &layout, int32_t index, int32_t x, VX_Image *pic, uint32_t keysym)
{
    VX_Key &key = layout.keys[index];
    key.type = vxModifierOf(keysym) ? VX_KEY_MODIFIER : VX_KEY_NAMED;
    key.x = x;
    key.width = 9;
    key.height = 9;
    key.pix[0][VX_PIX_RELEASED] = pic;
    key.keysym = keysym;
    key.modifier = vxModifierOf(keysym);
    return key;
}

// What went out, as the board hands it on: a key by keysym with modifiers,
// or plain code/text.
struct Sent {
    bool send;
    uint32_t keysym;
    uint32_t mods;
    std::string text;  // plain output only
};

Sent sentOf(const VX_KeyResult &r)
{
    return {r.send, r.keysym, r.mods, r.keysym == 0 && r.code == 0 ? r.text : ""};
}

bool operator==(const Sent &a, const Sent &b)
{
    return a.send == b.send && a.keysym == b.keysym && a.mods == b.mods && a.text == b.text;
}

std::ostream &operator<<(std::ostream &os, const Sent &s)
{
    return os << (s.send ? "send" : "none") << " keysym 0x" << std::hex << s.keysym << " mods "
              << s.mods << std::dec << " '" << s.text << "'";
}

class ModifierTest : public KeyPressTest {
protected:
    // Keys at x 0, 10, 20 ... in this order.
    enum { CTRL, ALT, LEFT, C, ABC, BKS, SWITCH, kKeys };

    void SetUp() override
    {
        KeyPressTest::SetUp();
        VX_Layout &l = addLayout(0, kKeys);
        setNamed(l, CTRL, 0, released, kControlL).pix[0][VX_PIX_PRESSED] = pressed;
        setNamed(l, ALT, 10, released, kAltL);
        setNamed(l, LEFT, 20, released, kLeft);
        setKey(l, C, VX_KEY_ALPHA, 30, 0, 9, 9, released, "c");
        setKey(l, ABC, VX_KEY_ALPHA, 40, 0, 9, 9, released, "abc");
        setKey(l, BKS, VX_KEY_BKS, 50, 0, 9, 9, released);
        setKey(l, SWITCH, VX_KEY_SWITCH, 60, 0, 9, 9, released);
        board = &l;
    }

    Sent tapKey(int key)
    {
        const Sent out = sentOf(board->press(key * 10 + 5, 5));
        board->release();
        return out;
    }

    VX_Layout *board = nullptr;
};

TEST_F(ModifierTest, LatchLockAndRelease)
{
    const Sent ctrlC{true, 'c', VX_MOD_CONTROL, ""};
    const Sent plainC{true, 0, 0, "c"};
    const Sent none{false, 0, 0, ""};
    struct Step {
        int key;
        Sent want;
        VX_Modifiers::State after;  // Control's state after the tap
    } steps[] = {
        {C, plainC, VX_Modifiers::OFF},
        {CTRL, none, VX_Modifiers::LATCHED},   // tap latches
        {C, ctrlC, VX_Modifiers::OFF},         // for the next key alone
        {C, plainC, VX_Modifiers::OFF},
        {CTRL, none, VX_Modifiers::LATCHED},
        {CTRL, none, VX_Modifiers::LOCKED},    // second tap before a key locks
        {C, ctrlC, VX_Modifiers::LOCKED},
        {LEFT, {true, kLeft, VX_MOD_CONTROL, ""}, VX_Modifiers::LOCKED},
        {CTRL, none, VX_Modifiers::OFF},       // third tap releases
        {C, plainC, VX_Modifiers::OFF},
        {LEFT, {true, kLeft, 0, ""}, VX_Modifiers::OFF},
    };
    int n = 0;
    for (const Step &s : steps) {
        SCOPED_TRACE("step " + std::to_string(n++) + " key " + std::to_string(s.key));
        EXPECT_EQ(tapKey(s.key), s.want);
        EXPECT_EQ(engine.modifiers.state(VX_MOD_CONTROL), s.after);
    }
}

TEST_F(ModifierTest, ModifiersCombineAndGoWithCodesAndCharacters)
{
    tapKey(CTRL);
    tapKey(ALT);
    EXPECT_EQ(tapKey(LEFT), (Sent{true, kLeft, VX_MOD_CONTROL | VX_MOD_ALT, ""}));
    tapKey(CTRL);
    EXPECT_EQ(tapKey(BKS), (Sent{true, 0xff08, VX_MOD_CONTROL, ""}));  // BackSpace
    EXPECT_EQ(tapKey(BKS).keysym, 0u);
    EXPECT_EQ(engine.modifiers.active(), 0u);
}

// Keys that send nothing (a switch, a modifier) keep the latch for the next
// key that does, on whichever layout it is.
TEST_F(ModifierTest, TheLatchOutlivesKeysWithoutOutputAndLayoutChanges)
{
    VX_Layout &other = addLayout(0, 2);
    setKey(other, 0, VX_KEY_ALPHA, 0, 0, 9, 9, released, "x");
    setKey(other, 1, VX_KEY_SWITCH, 10, 0, 9, 9, released);
    tapKey(CTRL);
    tapKey(SWITCH);
    ASSERT_EQ(active(), &other);
    EXPECT_EQ(engine.modifiers.state(VX_MOD_CONTROL), VX_Modifiers::LATCHED);
    EXPECT_EQ(sentOf(other.press(5, 5)), (Sent{true, 'x', VX_MOD_CONTROL, ""}));
    other.release();
    EXPECT_EQ(engine.modifiers.active(), 0u);
}

// The focus moves (another window or field): a latched modifier was meant
// for the place it was latched over and lets go, a locked one stays, and an
// open cycle closes so its next tap starts afresh.
TEST_F(ModifierTest, AFocusChangeLetsALatchGoAndKeepsALock)
{
    struct Case {
        const char *what;
        int ctrlTaps;                // before the focus change
        VX_Modifiers::State after;   // Control's state after it
        Sent next;                   // what C sends then
    } cases[] = {
        {"off", 0, VX_Modifiers::OFF, {true, 0, 0, "c"}},
        {"latched", 1, VX_Modifiers::OFF, {true, 0, 0, "c"}},
        {"locked", 2, VX_Modifiers::LOCKED, {true, 'c', VX_MOD_CONTROL, ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        engine.modifiers.clear();
        for (int i = 0; i < c.ctrlTaps; ++i)
            tapKey(CTRL);
        board->fullRedraw = false;
        board->redrawPressed = board->redrawReleased = -1;
        board->focusChanged();
        EXPECT_EQ(engine.modifiers.state(VX_MOD_CONTROL), c.after);
        if (c.ctrlTaps == 1) {
            EXPECT_TRUE(board->fullRedraw || board->redrawReleased == CTRL || board->redrawPressed == CTRL)
                << "the let-go Control key is not drawn again";
        }
        EXPECT_EQ(tapKey(C), c.next);
    }
    // An open cycle: the tap after the focus change starts it again.
    engine.modifiers.clear();
    tapKey(ABC);
    board->focusChanged();
    const VX_KeyResult again = board->press(ABC * 10 + 5, 5);
    board->release();
    EXPECT_FALSE(again.erase) << "the focus change left the cycle open";
    EXPECT_STREQ(again.text, "a");
}

// Under a modifier an alpha key is a shortcut: its first character, with no
// erase step and no cycle for the next tap to continue.
TEST_F(ModifierTest, AMultiTapKeyUnderAModifierSendsItsFirstCharacterOnly)
{
    EXPECT_EQ(tapKey(ABC).text, "a");  // opens a cycle
    ASSERT_EQ(board->enumKey, ABC);
    tapKey(CTRL);
    VX_KeyResult r = board->press(ABC * 10 + 5, 5);
    EXPECT_FALSE(r.erase);
    EXPECT_EQ(sentOf(r), (Sent{true, 'a', VX_MOD_CONTROL, ""}));
    board->release();
    EXPECT_EQ(board->enumKey, -1);
    r = board->press(ABC * 10 + 5, 5);
    EXPECT_FALSE(r.erase);
    EXPECT_STREQ(r.text, "a");
    EXPECT_EQ(r.keysym, 0u);
    board->release();
}

TEST_F(ModifierTest, AHeldNamedKeyRepeatsWithTheModifiersOfItsPress)
{
    board->repeatOn = 1;
    board->tmPeriod = 300;
    board->tmRate = 90;
    tapKey(CTRL);
    VX_KeyResult r = board->press(LEFT * 10 + 5, 5);
    EXPECT_EQ(repeatInterval(r), 300);
    EXPECT_EQ(sentOf(r), (Sent{true, kLeft, VX_MOD_CONTROL, ""}));
    EXPECT_EQ(engine.modifiers.active(), 0u) << "the latch let go at the press";
    for (int32_t want : {90, 0, 0}) {
        r = board->repeatStep();
        EXPECT_EQ(repeatInterval(r), want);
        EXPECT_FALSE(r.erase);
        EXPECT_EQ(sentOf(r), (Sent{true, kLeft, VX_MOD_CONTROL, ""}));
    }
    board->release();
    r = board->press(LEFT * 10 + 5, 5);
    EXPECT_EQ(sentOf(r), (Sent{true, kLeft, 0, ""}));
    EXPECT_EQ(sentOf(board->repeatStep()), (Sent{true, kLeft, 0, ""}));
    board->release();
}

TEST_F(ModifierTest, NamedKeysHaveNoMultiTapAndCloseTheOpenCycle)
{
    tapKey(ABC);
    ASSERT_EQ(board->enumKey, ABC);
    for (int i = 0; i < 2; ++i) {
        VX_KeyResult r = board->press(LEFT * 10 + 5, 5);
        EXPECT_FALSE(r.erase);
        board->release();
        EXPECT_EQ(board->enumKey, -1);
    }
    EXPECT_EQ(tapKey(ABC).text, "a");
}

// A latched or locked modifier is drawn pressed, also without draw-pressed,
// until it lets go; each change of its look asks for a repaint.
TEST_F(ModifierTest, LatchedAndLockedModifiersAreDrawnPressed)
{
    board->fullRedraw = false;
    EXPECT_FALSE(board->drawnPressed(CTRL));
    board->press(CTRL * 10 + 5, 5);
    VX_KeyResult r = board->release();
    EXPECT_TRUE(r.repaint);
    EXPECT_TRUE(board->drawnPressed(CTRL));
    EXPECT_FALSE(board->drawnPressed(ALT));
    board->redrawReleased = board->redrawPressed = -1;

    r = board->press(C * 10 + 5, 5);
    EXPECT_TRUE(r.repaint) << "the modifier let go";
    EXPECT_FALSE(board->drawnPressed(CTRL));
    board->release();
    board->redrawReleased = board->redrawPressed = -1;

    tapKey(CTRL);
    tapKey(CTRL);
    EXPECT_TRUE(board->drawnPressed(CTRL)) << "locked";
    tapKey(C);
    EXPECT_TRUE(board->drawnPressed(CTRL)) << "still locked";
    tapKey(CTRL);
    EXPECT_FALSE(board->drawnPressed(CTRL));
}

}  // namespace
