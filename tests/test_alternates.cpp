// What a long press offers: the built-in table of alternates, the file of
// a layout's own alternates (<name>.alt) and its diagnostics, and where the
// popup lies and which cell a finger picks.
#include <gtest/gtest.h>

#include <QList>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/VX_Utf8.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "base/VX_Log.h"
#include "image/VX_LabelFont.h"
#include "interaction/VX_Alternates.h"
#include "interaction/VX_Popup.h"
#include "tests/TestSupport.h"

namespace {

std::string joined(const VX_PopupItems &items)
{
    std::string out;
    for (int32_t i = 0; i < items.count; ++i)
        out += (i ? " " : "") + std::string(items.texts[i]);
    return out;
}

VX_Key alphaKey(const char *lower, const char *upper)
{
    VX_Key key;
    key.type = VX_KEY_ALPHA;
    std::strcpy(key.chars[0], lower);
    std::strcpy(key.chars[1], upper);
    key.charCount[0] = vxUtf8Count(lower, std::strlen(lower));
    key.charCount[1] = vxUtf8Count(upper, std::strlen(upper));
    return key;
}

std::vector<std::string> words(const char *list)
{
    std::vector<std::string> out;
    std::string word;
    for (const char *at = list;; ++at) {
        if (*at == ' ' || *at == '\0') {
            if (!word.empty())
                out.push_back(word);
            word.clear();
            if (*at == '\0')
                return out;
        } else {
            word += *at;
        }
    }
}

TEST(Alternates, WhatAKeyOffers)
{
    struct Case {
        const char *lower, *upper;
        int32_t mode;
        const char *offered;
    } cases[] = {
        {"e", "E", 0, "é è ê ë ē ė ę ě"},
        {"e", "E", 1, "É È Ê Ë Ē Ė Ę Ě"},
        {"s", "S", 1, "ẞ Ś Š Ş"},
        {"ь", "Ь", 0, "ъ"},
        {"е", "Е", 1, "Ё Є"},
        {"ι", "Ι", 0, "ί ϊ ΐ"},
        {"1", "1", 0, "¹ ½ ⅓ ¼ ⅛"},
        {"$", "$", 0, "€ £ ¥ ¢ ₽ ₹ ₩"},
        {"q", "Q", 0, ""},
        // A multi-tap key: its own characters first, then their alternates.
        {".,?!", ".,?!", 0, ". , ? ! … · „ ‚ ; ¿ ‽ ¡ ‼"},
    };
    VX_Alternates table;
    for (const Case &c : cases) {
        VX_PopupItems items;
        items.add("stale");
        table.fill(alphaKey(c.lower, c.upper), c.mode, items);
        EXPECT_EQ(joined(items), c.offered) << c.lower << " mode " << c.mode;
    }
    VX_Key bks;
    bks.type = VX_KEY_BKS;
    VX_PopupItems items;
    table.fill(bks, 0, items);
    EXPECT_EQ(items.count, 0) << "only character keys have alternates";
}

// Each built-in capital offers the capitals of its small letter's
// alternates, in the same order, so caps never changes what a slide picks.
TEST(Alternates, BuiltInCasesAgree)
{
    int pairs = 0;
    VX_Alternates::forEachBuiltIn([&](const char *character, const char *alternates) {
        const QString lower = QString::fromUtf8(character);
        EXPECT_EQ(vxUtf8Count(character, std::strlen(character)), 1) << character;
        for (const std::string &alt : words(alternates))
            EXPECT_GT(vxUtf8Count(alt.data(), alt.size()), 0) << character << ": " << alt;
        if (lower.toUpper() == lower)
            return;
        const QByteArray upper = lower.toUpper().toUtf8();
        const char *upperList = VX_Alternates::builtIn(upper.constData());
        if (!upperList)
            return;  // final sigma has no capital of its own
        ++pairs;
        std::vector<std::string> expected;
        for (const std::string &alt : words(alternates)) {
            const QString up = alt == "ß" ? QStringLiteral("ẞ") : QString::fromUtf8(alt.c_str()).toUpper();
            // Letters without a capital of one character (ΐ, ΰ) and the
            // dotless i are left out of the capital's list.
            if (up.toUcs4().size() == 1 && up != QString::fromUtf8(alt.c_str()) && alt != "ı")
                expected.push_back(up.toStdString());
        }
        std::vector<std::string> got = words(upperList);
        if (character == std::string("i"))
            got.pop_back();  // İ, the dotted capital, has no small form here
        EXPECT_EQ(got, expected) << character;
    });
    EXPECT_GT(pairs, 25);
}

// The letters of the German, French and Spanish keyboards that English
// lacks are all one long press away on the English keyboard.
TEST(Alternates, TheAccentsOfDeFrEsAreOnEnglishKeys)
{
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    VX_Engine engine({std::string(source) + "/layouts"});
    LogCapture quiet;
    ASSERT_TRUE(engine.load("load-de-fr-es.cfg")) << quiet.text();
    const VX_Layout *en = engine.layoutNamed("en");
    ASSERT_NE(en, nullptr);
    std::set<std::string> reachable;
    for (int32_t k = 0; k < en->keyCount; ++k)
        for (int32_t m = 0; m < en->modes; ++m) {
            VX_PopupItems items;
            en->alternates.fill(en->keys[k], m, items);
            for (int32_t i = 0; i < items.count; ++i)
                reachable.insert(items.texts[i]);
            for (int32_t c = 0; c < en->keys[k].charCount[m]; ++c) {
                int length = 0;
                const char *at = vxUtf8At(en->keys[k].chars[m], c, length);
                reachable.insert(std::string(at, static_cast<size_t>(length)));
            }
        }
    int checked = 0;
    for (const char *name : {"de", "fr", "es"}) {
        const VX_Layout *l = engine.layoutNamed(name);
        ASSERT_NE(l, nullptr) << name;
        for (int32_t k = 0; k < l->keyCount; ++k)
            for (int32_t m = 0; m < l->modes; ++m)
                for (int32_t c = 0; c < l->keys[k].charCount[m]; ++c) {
                    int length = 0;
                    const char *at = vxUtf8At(l->keys[k].chars[m], c, length);
                    const std::string ch(at, static_cast<size_t>(length));
                    const QString q = QString::fromUtf8(ch.c_str());
                    if (!q.at(0).isLetter())
                        continue;
                    ++checked;
                    EXPECT_TRUE(reachable.count(ch)) << ch << " of " << name << " key " << k;
                }
    }
    EXPECT_GT(checked, 100);
}

// The shipped emoji board, as vexil-panel adds it to the default set: at
// least 150 distinct emoji over its two pages, each key one emoji of one
// code point drawn as emoji without a selector (4 bytes of UTF-8, or one
// of the BMP's emoji), and its file of skin tones and sequences loads.
TEST(Alternates, TheShippedEmojiBoard)
{
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    VX_Engine engine({std::string(source) + "/layouts"});
    LogCapture log;
    ASSERT_TRUE(engine.load("load.cfg")) << log.text();
    const int32_t slot = engine.addAuxLayout("emoji");
    ASSERT_GE(slot, 0) << log.text();
    EXPECT_EQ(engine.addAuxLayout("emoji"), -1) << "added once";
    const uint64_t before = vxLog.diagnostics;
    EXPECT_TRUE(engine.loadAlternates()) << log.text();
    EXPECT_EQ(vxLog.diagnostics, before) << log.text();
    const VX_Layout *emoji = engine.layoutAt(VX_LAYOUT_AUX, slot);
    ASSERT_NE(emoji, nullptr);
    EXPECT_GT(emoji->alternates.entryCount(), 15);
    std::set<std::string> seen;
    int fourBytes = 0;
    for (int32_t k = 0; k < emoji->keyCount; ++k) {
        const VX_Key &key = emoji->keys[k];
        if (key.type != VX_KEY_ALPHA)
            continue;
        for (int32_t m = 0; m < emoji->modes; ++m) {
            EXPECT_EQ(key.charCount[m], 1) << "key " << k << " mode " << m;
            EXPECT_TRUE(vxIsEmojiLabel(QString::fromUtf8(key.chars[m]))) << key.chars[m];
            EXPECT_TRUE(seen.insert(key.chars[m]).second) << key.chars[m] << " twice";
            fourBytes += std::strlen(key.chars[m]) == 4;
        }
    }
    EXPECT_GE(seen.size(), 150u);
    EXPECT_GE(fourBytes, 140);
    // Its long presses reach sequences: a skin tone, a selector, a joiner.
    std::string offered;
    for (int32_t k = 0; k < emoji->keyCount; ++k)
        for (int32_t m = 0; m < emoji->modes; ++m) {
            VX_PopupItems items;
            emoji->alternates.fill(emoji->keys[k], m, items);
            offered += joined(items) + " ";
        }
    for (const char *sequence : {"👍🏽", "❤️", "🧑\u200d💻", "❤️\u200d🔥"})
        EXPECT_NE(offered.find(sequence), std::string::npos) << sequence;
}

TEST(Alternates, FileEntriesAndTheirDiagnostics)
{
    struct Case {
        const char *content;
        const char *diagnostic;  // null: loads
        const char *offeredForE; // with a file that loads
    } cases[] = {
        {"# mine\n\ne e1 é\n", nullptr, "e1 é"},
        {"\xEF\xBB\xBF" "e ë\r\n", nullptr, "ë"},
        {"e\n", nullptr, ""},                              // no alternates at all
        {"x y\n", nullptr, "é è ê ë ē ė ę ě"},            // others keep the built-in ones
        {"e 👍🏽 🧑\u200d💻\n", nullptr, "👍🏽 🧑\u200d💻"},    // sequences
        {"e a\ne b\n", "VX_Alternates: 'e' is given twice (mine.alt, 2)", nullptr},
        {"e a a\n", "VX_Alternates: the alternate 'a' is given twice (mine.alt, 1)", nullptr},
        {"abcdefghijklmnop x\n", "VX_Alternates: 'abcdefghijklmnop' is longer than a key string (15 bytes) (mine.alt, 1)",
         nullptr},
        {"e 0123456789012345678901234567890123\n",
         "VX_Alternates: the alternate '0123456789012345678901234567890123' is longer than 31 bytes (mine.alt, 1)", nullptr},
        {"e ok\ne \xE9t\xE9\n", "VX_Alternates: not UTF-8 text at byte 3 of the line (mine.alt, 2)", nullptr},
        {"e a\x01\n", "VX_Alternates: a control character (byte 1) in the line (mine.alt, 1)", nullptr},
        {"e a b c d e f g h i j k l m n o p q r s t u v w x y z 1 2 3 4 5 6 7\n",
         "VX_Alternates: 'e' has more than 32 alternates (mine.alt, 1)", nullptr},
    };
    TempDir dir;
    for (const Case &c : cases) {
        dir.write("mine.alt", c.content);
        VX_Alternates table;
        LogCapture log;
        const bool loaded = table.load(dir.file("mine.alt").c_str(), "mine.alt");
        EXPECT_EQ(loaded, c.diagnostic == nullptr) << c.content;
        VX_PopupItems items;
        table.fill(alphaKey("e", "E"), 0, items);
        if (c.diagnostic) {
            EXPECT_EQ(log.lines(), std::vector<std::string>{c.diagnostic}) << c.content;
            EXPECT_EQ(table.entryCount(), 0) << "a failed file keeps nothing: " << c.content;
            EXPECT_EQ(joined(items), "é è ê ë ē ė ę ě") << c.content;
        } else {
            EXPECT_EQ(log.text(), "") << c.content;
            EXPECT_EQ(joined(items), c.offeredForE) << c.content;
        }
    }
    VX_Alternates table;
    LogCapture log;
    EXPECT_FALSE(table.load(dir.file("missing.alt").c_str(), "missing.alt"));
    EXPECT_EQ(log.lines().size(), 1u);
    const std::string big(VX_Alternates::kMaxFileBytes + 1, '#');
    dir.write("big.alt", big);
    log.clear();
    EXPECT_FALSE(table.load(dir.file("big.alt").c_str(), "big.alt"));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"VX_Alternates: cannot read big.alt: larger than 256 KiB"});
}

TEST(Alternates, PopupItemsKeepWholeCharacters)
{
    VX_PopupItems items;
    // 31 bytes hold ten 3-byte characters: the eleventh is left out whole.
    std::string long3;
    for (int i = 0; i < 11; ++i)
        long3 += "€";
    EXPECT_TRUE(items.add(long3.c_str()));
    EXPECT_EQ(std::string(items.texts[0]), long3.substr(0, 30));
    EXPECT_FALSE(items.add(long3.c_str())) << "the same text twice";
    EXPECT_FALSE(items.add(""));
    for (int i = 1; i < VX_PopupItems::kMaxItems; ++i)
        EXPECT_TRUE(items.add(std::to_string(i).c_str()));
    EXPECT_FALSE(items.add("full"));
    EXPECT_EQ(items.count, VX_PopupItems::kMaxItems);
}

TEST(Alternates, PopupPlaceAndPick)
{
    struct Case {
        int32_t count, keyX, keyWidth, boardWidth, maxColumns;
        int32_t x, y, columns, rows;
    } places[] = {
        // count keyX keyW board max   x    y   cols rows
        {3, 100, 20, 300, 0, 80, 16, 3, 1},      // centred over the key
        {8, 0, 20, 300, 0, 0, 16, 8, 1},         // kept inside the left edge
        {8, 280, 20, 300, 0, 140, 16, 8, 1},     // and the right
        {20, 100, 20, 200, 0, 0, -4, 10, 2},     // rows when the board is too narrow
        {5, 100, 20, 30, 0, 10, -64, 1, 5},      // one column at the least
        {3, 100, 20, 300, 1, 100, -24, 1, 3},    // a menu: one column
        {2, 100, 20, 10, 0, 0, -4, 1, 2},        // wider than the board: from its left edge
    };
    for (const Case &c : places) {
        VX_Popup p;
        for (int32_t i = 0; i < c.count; ++i)
            p.items.add(std::to_string(i).c_str());
        VX_Key key;
        key.x = c.keyX;
        key.y = 40;
        key.width = c.keyWidth;
        key.height = 20;
        p.open(c.maxColumns ? VX_Popup::MENU : VX_Popup::ALTERNATES, 5, key, c.boardWidth, 20, 20, c.maxColumns);
        EXPECT_EQ(p.x, c.x) << c.count << " at " << c.keyX;
        EXPECT_EQ(p.y, c.y) << c.count << " at " << c.keyX;
        EXPECT_EQ(p.columns, c.columns) << c.count << " at " << c.keyX;
        EXPECT_EQ(p.rows, c.rows) << c.count << " at " << c.keyX;
        EXPECT_EQ(p.y + p.height() + VX_Popup::kGap, key.y) << "just above the key";
    }

    // 13 alternates over a key at x 100..120, y 40..60, on a board 200 wide:
    // two rows of ten, the first (0-9) at y 16..36, the second (10-12) above.
    VX_Popup p;
    for (int i = 0; i < 13; ++i)
        p.items.add(std::to_string(i).c_str());
    VX_Key key;
    key.x = 100;
    key.y = 40;
    key.width = key.height = 20;
    p.open(VX_Popup::ALTERNATES, 5, key, 200, 20, 20);
    struct Pick {
        int32_t px, py, cell;
    } picks[] = {
        {110, 50, 5},    // on the key: the cell above it
        {5, 20, 0},      // first row
        {195, 20, 9},
        {5, 5, 10},      // second row
        {45, 5, 12},     // past the second row's end: its last cell
        {195, 5, 12},
        {-9, 20, 0},     // half a cell beside the popup still picks
        {-11, 20, -1},   // further is off
        {210, 20, -1},
        {5, -14, 10},    // half a cell above it
        {5, -15, -1},    // further is off
        {110, 69, 5},    // just below the key
        {110, 70, -1},   // below that: off
    };
    for (const Pick &k : picks)
        EXPECT_EQ(p.pick(k.px, k.py), k.cell) << k.px << "," << k.py;
    int32_t cx = 0, cy = 0;
    p.cellAt(12, cx, cy);
    EXPECT_EQ(cx, 40);
    EXPECT_EQ(cy, -4);
    p.close();
    EXPECT_EQ(p.pick(110, 50), -1) << "a closed popup picks nothing";
}

}  // namespace
