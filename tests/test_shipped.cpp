// The layouts that ship with vexil, loaded from the source tree exactly as
// the keyboard loads them.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

std::string shippedDir()
{
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    return std::string(source ? source : ".") + "/layouts";
}

// Loads the shipped set once per test.
class Shipped : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        LogCapture capture;
        loaded = engine.load();
        // Every picture too, as each layout is when first shown.
        if (loaded)
            engine.prepareAll();
        log = capture.lines();
    }

    VX_Layout *find(const char *name) const
    {
        for (int row = 0; row < VX_Engine::kRows; ++row)
            for (int slot = 0; slot < VX_Engine::kSlots; ++slot) {
                VX_Layout *layout = engine.layouts[row][slot].get();
                if (layout && std::strcmp(layout->displayName(), name) == 0)
                    return layout;
            }
        return nullptr;
    }

    static QPoint centre(const VX_Key &key) { return {key.x + key.width / 2, key.y + key.height / 2}; }

    // Presses and releases key `index` of `layout` at its centre.
    static void tap(VX_Layout &layout, int index)
    {
        const QPoint c = centre(layout.keys[index]);
        layout.press(c.x(), c.y());
        layout.release();
    }

    // Slot of `layout` in its row of the engine, or -1.
    int slotOf(const VX_Layout *layout) const
    {
        for (int slot = 0; slot < VX_Engine::kSlots; ++slot)
            if (engine.layouts[layout->type][slot].get() == layout)
                return slot;
        return -1;
    }

    // Index of the key of `layout` that links to the aux layout `target`, or -1.
    int linkKey(const VX_Layout &layout, const char *target) const
    {
        for (int32_t i = 0; i < layout.keyCount; ++i) {
            const VX_Key &key = layout.keys[i];
            if (key.type == VX_KEY_LINK && engine.layouts[VX_LAYOUT_AUX][key.linkSlot] &&
                std::strcmp(engine.layouts[VX_LAYOUT_AUX][key.linkSlot]->displayName(), target) == 0)
                return i;
        }
        return -1;
    }

    // Index of the first key of `type`, or -1.
    static int keyOfType(const VX_Layout &layout, int32_t type)
    {
        for (int32_t i = 0; i < layout.keyCount; ++i)
            if (layout.keys[i].type == type)
                return i;
        return -1;
    }

    static QImage pixels(const VX_Image *piece)
    {
        return piece->rootPixmap()->toImage().copy(piece->x, piece->y, piece->width, piece->height);
    }

    VX_Engine engine{{shippedDir()}};
    bool loaded = false;
    std::vector<std::string> log;
};

// Every name of load.cfg, in order.
const char *const kNames[] = {"num", "sym", "en", "ru", "phone"};

TEST_F(Shipped, LoadsWithNoDiagnosticButTheSummary)
{
    ASSERT_TRUE(loaded);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "VX_Engine: load complete - basic: 3, aux: 2");
    // Besides the summary only the section readers' entry counts appear.
    const std::regex count(R"(VX_Layout: read \d+ entries from \[(Layout|Geometry|Strings|Pixs)\] \((num|sym|en|ru|phone)\))");
    for (size_t i = 0; i + 1 < log.size(); ++i)
        EXPECT_TRUE(std::regex_match(log[i], count)) << "unexpected line: " << log[i];
    for (const char *name : kNames)
        EXPECT_NE(find(name), nullptr) << name;
}

TEST_F(Shipped, EveryPressableKeyHasReleasedAndPressedPicturesInEveryMode)
{
    ASSERT_TRUE(loaded);
    for (const char *name : kNames) {
        const VX_Layout *layout = find(name);
        ASSERT_NE(layout, nullptr) << name;
        // One background, bg.gif, for every board: at least as large as each.
        ASSERT_NE(layout->background, nullptr) << name;
        EXPECT_EQ(layout->background, engine.boardPictures.first()) << name;
        EXPECT_TRUE(QRect(QPoint(0, 0), layout->background->rootPixmap()->size())
                        .contains(QRect(0, 0, layout->width, layout->height)))
            << name;
        EXPECT_GE(layout->width, 400) << name;
        EXPECT_LE(layout->width, 600) << name;
        EXPECT_NE(layout->drawPressed, 0) << name;
        for (int32_t i = 0; i < layout->keyCount; ++i) {
            SCOPED_TRACE(std::string(name) + " key " + std::to_string(i));
            const VX_Key &key = layout->keys[i];
            EXPECT_NE(key.type, VX_KEY_UNTYPED);
            // Pictures cut in place would not follow the mode.
            EXPECT_FALSE(key.pixInPlace);
            for (int m = 0; m < layout->modes; ++m) {
                const VX_Image *released = key.pix[m][VX_PIX_RELEASED];
                const VX_Image *pressed = key.pix[m][VX_PIX_PRESSED];
                ASSERT_NE(released, nullptr) << "mode " << m;
                ASSERT_NE(pressed, nullptr) << "mode " << m;
                EXPECT_NE(released, pressed) << "mode " << m;
                const QRect sheet(QPoint(0, 0), released->rootPixmap()->size());
                EXPECT_TRUE(sheet.contains(QRect(released->x, released->y, key.width, key.height)));
                EXPECT_TRUE(sheet.contains(QRect(pressed->x, pressed->y, key.width, key.height)));
                EXPECT_TRUE(pixels(released) != pixels(pressed)) << "mode " << m;
            }
            // Reachable: its centre hits it, and it lies on the board.
            const QPoint c = centre(key);
            EXPECT_EQ(layout->hitTest(c.x(), c.y()), i);
            EXPECT_TRUE(QRect(0, 0, layout->width, layout->height).contains(QRect(key.x, key.y, key.width, key.height)));
        }
    }
}

// Every picture a layout shows is decoded before it is shown, so the sheets
// hold each distinct key picture once and nothing else.
TEST_F(Shipped, SheetsHoldEachDistinctPictureOnce)
{
    ASSERT_TRUE(loaded);
    qint64 total = 0;
    for (const char *name : kNames) {
        SCOPED_TRACE(name);
        const VX_Layout *layout = find(name);
        ASSERT_NE(layout, nullptr);
        std::map<std::pair<int, int>, QImage> pieces;  // offset -> pixels
        qint64 used = 0;
        const QPixmap *sheet = nullptr;
        for (int32_t i = 0; i < layout->keyCount; ++i)
            for (int m = 0; m < layout->modes; ++m)
                for (int s = 0; s < VX_Key::kStates; ++s) {
                    const VX_Image *piece = layout->keys[i].pix[m][s];
                    ASSERT_NE(piece, nullptr);
                    sheet = piece->rootPixmap();
                    const QImage image = pixels(piece);
                    const auto at = pieces.emplace(std::make_pair(piece->x, piece->y), image);
                    if (at.second)
                        used += image.width() * image.height();
                    else
                        EXPECT_EQ(at.first->second.size(), image.size()) << "key " << i;
                }
        for (auto a = pieces.begin(); a != pieces.end(); ++a)
            for (auto b = std::next(a); b != pieces.end(); ++b)
                EXPECT_FALSE(a->second == b->second)
                    << "(" << a->first.first << " " << a->first.second << ") and (" << b->first.first << " "
                    << b->first.second << ")";
        ASSERT_NE(sheet, nullptr);
        const qint64 area = static_cast<qint64>(sheet->width()) * sheet->height();
        // Shelves of keys of a few sizes leave little unused.
        EXPECT_LE(area, used * 6 / 5) << "sheet " << sheet->width() << "x" << sheet->height();
        total += area;
    }
    const QSize background = engine.boardPictures.first()->rootPixmap()->size();
    total += static_cast<qint64>(background.width()) * background.height();
    EXPECT_LT(total, 1800 * 1000);
}

TEST_F(Shipped, BasicLayoutsHaveTwoModesAndTheKeysAUserNeeds)
{
    ASSERT_TRUE(loaded);
    const int32_t needed[] = {VX_KEY_BKS, VX_KEY_ENT, VX_KEY_SPACE, VX_KEY_CAPS, VX_KEY_SWITCH, VX_KEY_LINK};
    for (const char *name : {"en", "ru", "phone"}) {
        SCOPED_TRACE(name);
        const VX_Layout *layout = find(name);
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ(layout->type, VX_LAYOUT_BASIC);
        EXPECT_EQ(layout->modes, 2);
        for (int32_t type : needed)
            EXPECT_NE(keyOfType(*layout, type), -1) << "type " << type;
        // Caps changes what the letters look like.
        int letters = 0;
        for (int32_t i = 0; i < layout->keyCount; ++i) {
            const VX_Key &key = layout->keys[i];
            if (key.type != VX_KEY_ALPHA || std::strcmp(key.chars[0], key.chars[1]) == 0)
                continue;
            ++letters;
            EXPECT_TRUE(pixels(key.pix[0][VX_PIX_RELEASED]) != pixels(key.pix[1][VX_PIX_RELEASED])) << "key " << i;
        }
        EXPECT_GE(letters, 8);
    }
    const VX_Layout *en = find("en");
    EXPECT_NE(keyOfType(*en, VX_KEY_TAB), -1);
    EXPECT_NE(en->repeatOn, 0);
}

TEST_F(Shipped, EnglishTypesLettersAndCapitals)
{
    ASSERT_TRUE(loaded);
    VX_Layout *en = find("en");
    ASSERT_EQ(engine.activeLayout(), en);
    std::string lower, upper;
    for (int32_t i = 0; i < en->keyCount; ++i)
        if (en->keys[i].type == VX_KEY_ALPHA && en->keys[i].charCount[0] == 1) {
            lower += en->keys[i].chars[0];
            upper += en->keys[i].chars[1];
        }
    for (char c = 'a'; c <= 'z'; ++c) {
        EXPECT_NE(lower.find(c), std::string::npos) << c;
        EXPECT_NE(upper.find(static_cast<char>(c - 'a' + 'A')), std::string::npos) << c;
    }
    for (char c = '0'; c <= '9'; ++c)
        EXPECT_NE(lower.find(c), std::string::npos) << c;
}

TEST_F(Shipped, RussianCharactersAreTwoBytesEach)
{
    ASSERT_TRUE(loaded);
    const VX_Layout *ru = find("ru");
    ASSERT_NE(ru, nullptr);
    EXPECT_EQ(ru->charBytes, 2);
    int letters = 0;
    for (int32_t i = 0; i < ru->keyCount; ++i) {
        const VX_Key &key = ru->keys[i];
        if (key.type != VX_KEY_ALPHA)
            continue;
        for (int m = 0; m < ru->modes; ++m) {
            SCOPED_TRACE("key " + std::to_string(i) + " mode " + std::to_string(m) + ": " + key.chars[m]);
            const size_t bytes = std::strlen(key.chars[m]);
            ASSERT_GT(bytes, 0u);
            EXPECT_EQ(bytes % 2, 0u);
            EXPECT_EQ(static_cast<size_t>(key.charCount[m]) * 2, bytes);
            for (size_t b = 0; b + 1 < bytes; b += 2) {
                const auto lead = static_cast<unsigned char>(key.chars[m][b]);
                const auto cont = static_cast<unsigned char>(key.chars[m][b + 1]);
                EXPECT_TRUE(lead >= 0xC2 && lead <= 0xDF && cont >= 0x80 && cont <= 0xBF);
            }
        }
        const QString lower = QString::fromUtf8(key.chars[0]);
        EXPECT_EQ(lower.toUpper(), QString::fromUtf8(key.chars[1]));
        letters += key.charCount[0];
    }
    EXPECT_EQ(letters, 33 + 2);  // the alphabet and the two quotes
}

TEST_F(Shipped, PhoneKeypadTypesByMultiTap)
{
    ASSERT_TRUE(loaded);
    VX_Layout *phone = find("phone");
    ASSERT_NE(phone, nullptr);
    int abc = -1;
    for (int32_t i = 0; i < phone->keyCount; ++i)
        if (std::strcmp(phone->keys[i].chars[0], "abc2") == 0)
            abc = i;
    ASSERT_NE(abc, -1);
    for (const char *group : {"def3", "ghi4", "jkl5", "mno6", "pqrs7", "tuv8", "wxyz9"}) {
        bool found = false;
        for (int32_t i = 0; i < phone->keyCount; ++i)
            found = found || std::strcmp(phone->keys[i].chars[0], group) == 0;
        EXPECT_TRUE(found) << group;
    }
    // Three taps in a row: a, then b and c each replacing the one before.
    const QPoint c = centre(phone->keys[abc]);
    const struct {
        const char *text;
        bool erase;
    } taps[] = {{"a", false}, {"b", true}, {"c", true}, {"2", true}, {"a", true}};
    for (const auto &tap : taps) {
        SCOPED_TRACE(tap.text);
        EXPECT_NE(phone->press(c.x(), c.y()), 0);
        EXPECT_STREQ(phone->sendText, tap.text);
        EXPECT_EQ(phone->erasePrevious, tap.erase);
        phone->release();
    }
}

// Every way between the basic layouts and the aux layouts: each path of
// links opens its layouts in turn, and the aux switch key goes back to the
// basic layout the path started from.
TEST_F(Shipped, LinksOpenTheAuxLayoutsAndTheirSwitchKeyComesBack)
{
    ASSERT_TRUE(loaded);
    const struct {
        const char *basic;
        std::vector<const char *> path;
    } routes[] = {
        {"en", {"num"}},    {"en", {"sym"}},    {"en", {"sym", "num"}},
        {"ru", {"num"}},    {"ru", {"sym", "num"}},
        {"phone", {"num"}}, {"phone", {"sym"}}, {"phone", {"sym", "num"}},
    };
    for (const auto &route : routes) {
        std::string trace = route.basic;
        for (const char *step : route.path)
            trace += std::string(" > ") + step;
        SCOPED_TRACE(trace);
        VX_Layout *basic = find(route.basic);
        ASSERT_NE(basic, nullptr);
        engine.activeRow = basic->type;
        engine.activeSlot = slotOf(basic);
        for (const char *target : route.path) {
            VX_Layout *from = engine.activeLayout();
            const int link = linkKey(*from, target);
            ASSERT_NE(link, -1) << "no link to " << target << " on " << from->displayName();
            tap(*from, link);
            ASSERT_EQ(engine.activeLayout(), find(target));
        }
        VX_Layout *aux = engine.activeLayout();
        const int back = keyOfType(*aux, VX_KEY_SWITCH);
        ASSERT_NE(back, -1);
        tap(*aux, back);
        EXPECT_EQ(engine.activeLayout(), basic);
    }
}

}  // namespace
