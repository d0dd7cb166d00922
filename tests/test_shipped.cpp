// The layouts that ship with vexil, loaded from the source tree exactly as
// the keyboard loads them.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"
#include "tests/TypingPlan.h"

namespace {

std::string shippedDir()
{
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    return std::string(source ? source : ".") + "/layouts";
}

// Names of a load list in the shipped folder, in order (comments skipped).
std::vector<std::string> listNames(const std::string &listFile)
{
    std::vector<std::string> names;
    std::ifstream in(shippedDir() + "/" + listFile);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            names.push_back(line);
    return names;
}

// Loads one shipped set per test: "load.cfg" as the keyboard finds it in the
// shipped folder, any other list as a user picks it, copied to load.cfg in
// their own folder that is searched first.
class ShippedSet : public ::testing::Test {
protected:
    void loadSet(const std::string &listFile)
    {
        ensureApp();
        std::vector<std::string> dirs{shippedDir()};
        if (listFile != "load.cfg") {
            std::ifstream in(shippedDir() + "/" + listFile, std::ios::binary);
            ASSERT_TRUE(in) << listFile;
            std::ostringstream text;
            text << in.rdbuf();
            user.write("load.cfg", text.str());
            dirs.insert(dirs.begin(), user.path());
        }
        engine = std::make_unique<VX_Engine>(dirs);
        names = listNames(listFile);
        LogCapture capture;
        loaded = engine->load();
        // Every picture too, as each layout is when first shown.
        if (loaded)
            engine->prepareAll();
        log = capture.lines();
    }

    // The default set with one shipped file replaced by `text`, from the
    // user's folder that is searched first.
    void loadReplacing(const std::string &file, const std::string &text)
    {
        ensureApp();
        user.write(file, text);
        engine = std::make_unique<VX_Engine>(std::vector<std::string>{user.path(), shippedDir()});
        names = listNames("load.cfg");
        LogCapture capture;
        loaded = engine->load();
        log = capture.lines();
    }

    static std::string shippedText(const std::string &file)
    {
        std::ifstream in(shippedDir() + "/" + file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The lines of the log that report a link left without its target.
    std::vector<std::string> deadLinkLines() const
    {
        std::vector<std::string> lines;
        for (const std::string &line : log)
            if (line.rfind("VX_Engine: layout '", 0) == 0)
                lines.push_back(line);
        return lines;
    }

    VX_Layout *find(const char *name) const { return engine->layoutNamed(name); }

    static QPoint centre(const VX_Key &key) { return {key.x + key.width / 2, key.y + key.height / 2}; }

    // Index of the key of `layout` that links to the aux layout `target`, or -1.
    int linkKey(const VX_Layout &layout, const char *target) const
    {
        for (int32_t i = 0; i < layout.keyCount; ++i) {
            const VX_Key &key = layout.keys[i];
            if (key.type == VX_KEY_LINK &&
                engine->layoutAt(VX_LAYOUT_AUX, key.linkSlot) == find(target))
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

    // Keys of the row with the least (top) or the greatest (bottom) y, left
    // to right.
    static std::vector<int> rowAt(const VX_Layout &layout, bool top)
    {
        int32_t y = top ? INT32_MAX : INT32_MIN;
        for (int32_t i = 0; i < layout.keyCount; ++i)
            y = top ? std::min(y, layout.keys[i].y) : std::max(y, layout.keys[i].y);
        std::vector<int> row;
        for (int32_t i = 0; i < layout.keyCount; ++i)
            if (layout.keys[i].y == y)
                row.push_back(i);
        std::sort(row.begin(), row.end(), [&layout](int a, int b) { return layout.keys[a].x < layout.keys[b].x; });
        return row;
    }
    static std::vector<int> topRow(const VX_Layout &layout) { return rowAt(layout, true); }
    static std::vector<int> bottomRow(const VX_Layout &layout) { return rowAt(layout, false); }

    static QImage pixels(const VX_Image *piece)
    {
        return piece->rootPixmap()->toImage().copy(piece->x, piece->y, piece->width, piece->height);
    }

    // Two pictures of one look from different sheets: each sheet has a
    // palette of its own, so colours may differ a little, but a label of
    // another size or text moves pixels from face to ink.
    static bool alike(const QImage &a, const QImage &b)
    {
        if (a.size() != b.size())
            return false;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                if (std::abs(qRed(p) - qRed(q)) > 16 || std::abs(qGreen(p) - qGreen(q)) > 16 ||
                    std::abs(qBlue(p) - qBlue(q)) > 16)
                    return false;
            }
        return true;
    }

    // The placed basic layouts, slot order.
    std::vector<VX_Layout *> basics() const
    {
        std::vector<VX_Layout *> all;
        engine->forEachLayout([&all](int32_t row, int32_t, VX_Layout &layout) {
            if (row == VX_LAYOUT_BASIC)
                all.push_back(&layout);
        });
        return all;
    }

    // Shows `layout` in its first mode with no cycle open, as after start-up.
    void show(VX_Layout *layout)
    {
        engine->forEachLayout([&](int32_t row, int32_t slot, VX_Layout &each) {
            if (&each == layout) {
                VX_Engine::Place here;
                here.row = row;
                here.slot = slot;
                engine->show(here);
            }
            each.resetEnum();
            each.mode = 0;
        });
    }

    TempDir user;
    std::unique_ptr<VX_Engine> engine;
    std::vector<std::string> names;  // the list's names, in load order
    bool loaded = false;
    std::vector<std::string> log;
};

// The default set, which the keyboard loads when the user picks none.
class Shipped : public ShippedSet {
protected:
    void SetUp() override { loadSet("load.cfg"); }
};

// Every set that ships: the default and the ones a user can pick.
class EverySet : public ShippedSet, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override { loadSet(GetParam()); }
};

const char *const kSets[] = {"load.cfg", "load-de-fr-es.cfg", "load-el-ru.cfg"};
INSTANTIATE_TEST_SUITE_P(Lists, EverySet, ::testing::ValuesIn(kSets), [](const auto &info) {
    std::string name = info.param;
    name = name.substr(0, name.find('.'));
    for (char &c : name)
        if (c == '-')
            c = '_';
    return name;
});

TEST_P(EverySet, LoadsWithNoDiagnosticButTheSummary)
{
    ASSERT_TRUE(loaded);
    ASSERT_FALSE(log.empty());
    int basic = 0, aux = 0;
    for (const std::string &name : names) {
        const VX_Layout *layout = find(name.c_str());
        ASSERT_NE(layout, nullptr) << name;
        ++(layout->type == VX_LAYOUT_BASIC ? basic : aux);
    }
    EXPECT_LE(basic, VX_Engine::kListSlots);
    EXPECT_EQ(log.back(), "VX_Engine: load complete - basic: " + std::to_string(basic) + ", aux: " + std::to_string(aux));
    // English comes first in every set.
    EXPECT_STREQ(engine->activeLayout()->displayName(), "en");
    // Besides the summary only the section readers' entry counts appear.
    const std::regex count(R"(VX_Layout: read \d+ entries from \[(Layout|Geometry|Strings|Pixs)\] \((\w+)\))");
    for (size_t i = 0; i + 1 < log.size(); ++i) {
        std::smatch match;
        EXPECT_TRUE(std::regex_match(log[i], match, count)) << "unexpected line: " << log[i];
        if (!match.empty()) {
            EXPECT_NE(std::find(names.begin(), names.end(), match[2].str()), names.end()) << log[i];
        }
    }
}

TEST_P(EverySet, EveryPressableKeyHasReleasedAndPressedPicturesInEveryMode)
{
    ASSERT_TRUE(loaded);
    for (const std::string &name : names) {
        const VX_Layout *layout = find(name.c_str());
        ASSERT_NE(layout, nullptr) << name;
        // One background, bg.gif, for every board: at least as large as each.
        ASSERT_NE(layout->background, nullptr) << name;
        EXPECT_EQ(layout->background, engine->boardPictures.first()) << name;
        EXPECT_TRUE(QRect(QPoint(0, 0), layout->background->rootPixmap()->size())
                        .contains(QRect(0, 0, layout->width, layout->height)))
            << name;
        EXPECT_GE(layout->width, 400) << name;
        EXPECT_LE(layout->width, 600) << name;
        EXPECT_NE(layout->drawPressed, 0) << name;
        for (int32_t i = 0; i < layout->keyCount; ++i) {
            SCOPED_TRACE(name + " key " + std::to_string(i));
            const VX_Key &key = layout->keys[i];
            EXPECT_NE(key.type, VX_KEY_UNTYPED);
            // Pictures cut in place would not follow the mode.
            EXPECT_FALSE(key.pixInPlace);
            int shownModes = 0;
            for (int m = 0; m < layout->modes; ++m) {
                const VX_Image *released = key.pix[m][VX_PIX_RELEASED];
                const VX_Image *pressed = key.pix[m][VX_PIX_PRESSED];
                if (!released && !pressed) {
                    // Shown in its other mode only: a key of this mode
                    // stands in its place (a function key over a character).
                    bool replaced = false;
                    for (int32_t j = 0; j < layout->keyCount && !replaced; ++j) {
                        const VX_Key &other = layout->keys[j];
                        replaced = j != i && other.pix[m][VX_PIX_RELEASED] &&
                                   QRect(other.x, other.y, other.width, other.height)
                                       .contains(QRect(key.x, key.y, key.width, key.height));
                    }
                    EXPECT_TRUE(replaced) << "mode " << m;
                    continue;
                }
                ++shownModes;
                ASSERT_NE(released, nullptr) << "mode " << m;
                ASSERT_NE(pressed, nullptr) << "mode " << m;
                EXPECT_NE(released, pressed) << "mode " << m;
                const QRect sheet(QPoint(0, 0), released->rootPixmap()->size());
                EXPECT_TRUE(sheet.contains(QRect(released->x, released->y, key.width, key.height)));
                EXPECT_TRUE(sheet.contains(QRect(pressed->x, pressed->y, key.width, key.height)));
                EXPECT_TRUE(pixels(released) != pixels(pressed)) << "mode " << m;
                // Reachable: its centre hits it in the mode it is shown in.
                VX_Layout &shown = const_cast<VX_Layout &>(*layout);
                const int32_t was = shown.mode;
                shown.mode = m;
                const QPoint c = centre(key);
                EXPECT_EQ(shown.hitTest(c.x(), c.y()), i) << "mode " << m;
                shown.mode = was;
            }
            EXPECT_GT(shownModes, 0);
            // It lies on the board.
            EXPECT_TRUE(QRect(0, 0, layout->width, layout->height).contains(QRect(key.x, key.y, key.width, key.height)));
        }
    }
}

// Every picture a layout shows is decoded before it is shown, so the sheets
// hold each distinct key picture once and nothing else.
TEST_P(EverySet, SheetsHoldEachDistinctPictureOnce)
{
    ASSERT_TRUE(loaded);
    qint64 total = 0;
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        const VX_Layout *layout = find(name.c_str());
        ASSERT_NE(layout, nullptr);
        std::map<std::pair<int, int>, QImage> pieces;  // offset -> pixels
        qint64 used = 0;
        const QPixmap *sheet = nullptr;
        for (int32_t i = 0; i < layout->keyCount; ++i)
            for (int m = 0; m < layout->modes; ++m)
                for (int s = 0; s < VX_Key::kStates; ++s) {
                    const VX_Image *piece = layout->keys[i].pix[m][s];
                    // A key shown in its other mode only has no picture here.
                    if (!piece && !layout->keys[i].pix[m][VX_PIX_RELEASED])
                        continue;
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
    const QSize background = engine->boardPictures.first()->rootPixmap()->size();
    total += static_cast<qint64>(background.width()) * background.height();
    // The terminal keys (term) take about 0.33 M of it, F1 to F12 included,
    // the addresses (web) about 0.08 M.
    EXPECT_LT(total, 3100 * 1000);
}

TEST_P(EverySet, BasicLayoutsHaveTwoModesAndTheKeysAUserNeeds)
{
    ASSERT_TRUE(loaded);
    const int32_t needed[] = {VX_KEY_BKS, VX_KEY_ENT, VX_KEY_SPACE, VX_KEY_CAPS, VX_KEY_SWITCH, VX_KEY_LINK};
    for (const VX_Layout *layout : basics()) {
        SCOPED_TRACE(layout->displayName());
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
}

// The letters of each language, lower case then upper case, in the order of
// their alphabet. A letter with no capital form stands in both.
struct Alphabet {
    const char *layout;
    const char *lower;
    const char *upper;
    int mostTaps;  // taps a letter may take, caps included
};
const Alphabet kAlphabets[] = {
    {"en", "abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2},
    {"de", "aäbcdefghijklmnoöpqrsßtuüvwxyz", "AÄBCDEFGHIJKLMNOÖPQRSẞTUÜVWXYZ", 2},
    {"fr", "aàâæbcçdeéèêëfghiîïjklmnoôœpqrstuùûüvwxyÿz", "AÀÂÆBCÇDEÉÈÊËFGHIÎÏJKLMNOÔŒPQRSTUÙÛÜVWXYŸZ", 2},
    {"es", "aábcdeéfghiíjklmnñoópqrstuúüvwxyz", "AÁBCDEÉFGHIÍJKLMNÑOÓPQRSTUÚÜVWXYZ", 2},
    {"el", "αάβγδεέζηήθιίϊΐκλμνξοόπρσςτυύϋΰφχψωώ", "ΑΆΒΓΔΕΈΖΗΉΘΙΊΪΐΚΛΜΝΞΟΌΠΡΣΣΤΥΎΫΰΦΧΨΩΏ", 2},
    {"ru", "абвгдеёжзийклмнопрстуфхцчшщъыьэюя", "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ", 2},
    // A keypad steps through its letters: pqrs7 takes four taps for s.
    {"phone", "abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 5},
};

// Every letter of each basic layout's language types exactly, pressed at key
// centres, in at most two taps on a full keyboard (caps included), and a
// letter typed twice gives two letters: a plain letter key opens no
// multi-tap cycle that would eat a double letter.
TEST_P(EverySet, EveryLetterOfTheLanguageTypesInFewTaps)
{
    ASSERT_TRUE(loaded);
    for (VX_Layout *layout : basics()) {
        const Alphabet *alphabet = nullptr;
        for (const Alphabet &each : kAlphabets)
            if (std::strcmp(each.layout, layout->displayName()) == 0)
                alphabet = &each;
        ASSERT_NE(alphabet, nullptr) << "no alphabet for " << layout->displayName();
        for (const char *letters : {alphabet->lower, alphabet->upper})
            for (uint c : QString::fromUtf8(letters).toUcs4()) {
                const std::string letter = QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1).toStdString();
                SCOPED_TRACE(std::string(layout->displayName()) + ": " + letter);
                show(layout);
                const TypingResult once = typeText(*engine, letter);
                ASSERT_EQ(once.error, "");
                EXPECT_EQ(once.typed, letter);
                EXPECT_LE(once.mostTapsForOne, alphabet->mostTaps);
                EXPECT_EQ(engine->activeLayout(), layout) << "typed from another layout";
                if (alphabet->mostTaps > 2)
                    continue;
                show(layout);
                const TypingResult twice = typeText(*engine, letter + letter);
                EXPECT_EQ(twice.typed, letter + letter);
                for (const PlannedTap &tap : twice.taps)
                    EXPECT_EQ(tap.waitMs, 0);
            }
    }
}

// Sentences typed through the state machine, pressing key centres and moving
// between layouts as a user does; what the keys send is exactly the text.
TEST_P(EverySet, SentencesTypeExactly)
{
    ASSERT_TRUE(loaded);
    const struct {
        const char *layout;
        const char *text;
    } sentences[] = {
        {"en", "The quick brown fox, 42 years old, jumps! (Really?)\n"},
        {"de", "Größe: 5 Äpfel über Straßen; Öl-Übung?"},
        {"fr", "Où est-ce? À l'école, très tôt: Noël, maïs, cœur, ÇA!"},
        {"es", "¿Qué año? ¡Mañana, Ñandú! Pingüino, acción, Índice."},
        {"el", "Καλημέρα! Πώς είσαι; Ξέρω ότι ΐ και ΰ, Άρης, Όλγα."},
        {"ru", "Съешь же ещё этих мягких булок, да выпей-ка чаю. Ёж!"},
        {"phone", "hi, 2 cats"},
    };
    int typed = 0;
    for (const auto &sentence : sentences) {
        VX_Layout *layout = find(sentence.layout);
        if (!layout || layout->type != VX_LAYOUT_BASIC)
            continue;
        SCOPED_TRACE(std::string(sentence.layout) + ": " + sentence.text);
        show(layout);
        const TypingResult result = typeText(*engine, sentence.text);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.typed, sentence.text);
        ++typed;
    }
    EXPECT_EQ(typed, static_cast<int>(basics().size())) << "a basic layout without a sentence";
}

TEST_F(Shipped, EnglishTypesLettersAndCapitals)
{
    ASSERT_TRUE(loaded);
    VX_Layout *en = find("en");
    ASSERT_EQ(engine->activeLayout(), en);
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
    EXPECT_NE(keyOfType(*en, VX_KEY_TAB), -1);
    EXPECT_NE(en->repeatOn, 0);
}

// The Russian file keeps "alpha 2": its letters are two bytes each, while
// the digits and the ASCII punctuation are one byte and the quotes « » two;
// every string is counted by its UTF-8 characters whatever "alpha" says.
TEST_F(Shipped, RussianLettersAreTwoBytesEachAndTheDigitsAndPunctuationCountedAsUtf8)
{
    ASSERT_TRUE(loaded);
    const VX_Layout *ru = find("ru");
    ASSERT_NE(ru, nullptr);
    EXPECT_EQ(ru->charBytes, 2);
    int letters = 0, others = 0;
    for (int32_t i = 0; i < ru->keyCount; ++i) {
        const VX_Key &key = ru->keys[i];
        if (key.type != VX_KEY_ALPHA)
            continue;
        for (int m = 0; m < ru->modes; ++m) {
            SCOPED_TRACE("key " + std::to_string(i) + " mode " + std::to_string(m) + ": " + key.chars[m]);
            const QString text = QString::fromUtf8(key.chars[m]);
            ASSERT_FALSE(text.isEmpty());
            EXPECT_EQ(key.charCount[m], text.toUcs4().size());
            for (uint c : text.toUcs4()) {
                const std::string one = QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1).toStdString();
                if (c >= 0x400 && c <= 0x4FF) {
                    EXPECT_EQ(one.size(), 2u) << one;
                    letters += m == 0;
                } else {
                    EXPECT_TRUE(c < 0x80 || c == u'«' || c == u'»') << one;
                    others += m == 0;
                }
            }
        }
        const QString lower = QString::fromUtf8(key.chars[0]);
        EXPECT_EQ(lower.toUpper(), QString::fromUtf8(key.chars[1]));
    }
    EXPECT_EQ(letters, 33);
    EXPECT_EQ(others, 10 + 5);  // the digits; full stop, comma, hyphen and the two quotes
}

// What every full keyboard shares, so that a user who switches language
// finds the keys where they were: the digits 1 to 0 first on the top row,
// and one bottom row, key for key in the same places with the same
// pictures (apart from the space key, which names the language, and the
// language's punctuation key). The keys are all one height, so the letters
// are drawn at one size. The phone keypad is a layout of another kind.
TEST_P(EverySet, FullKeyboardsShareTheDigitRowAndTheBottomRow)
{
    ASSERT_TRUE(loaded);
    const VX_Layout *en = find("en");
    ASSERT_NE(en, nullptr);
    const std::vector<int> enBottom = bottomRow(*en);
    const int32_t shared[] = {VX_KEY_TAB, VX_KEY_SWITCH, VX_KEY_LINK, VX_KEY_SPACE, VX_KEY_ALPHA, VX_KEY_LINK, VX_KEY_ENT};
    ASSERT_EQ(enBottom.size(), std::size(shared));
    int checked = 0;
    for (const VX_Layout *layout : basics()) {
        if (std::strcmp(layout->displayName(), "phone") == 0)
            continue;
        SCOPED_TRACE(layout->displayName());
        ++checked;
        for (int32_t i = 0; i < layout->keyCount; ++i)
            EXPECT_EQ(layout->keys[i].height, en->keys[0].height) << "key " << i;

        const std::vector<int> top = topRow(*layout);
        ASSERT_GE(top.size(), 10u);
        for (int d = 0; d < 10; ++d) {
            const VX_Key &key = layout->keys[top[d]];
            const std::string digit(1, static_cast<char>('0' + (d + 1) % 10));
            EXPECT_EQ(key.type, VX_KEY_ALPHA) << "top key " << d;
            EXPECT_EQ(key.chars[0], digit) << "top key " << d;
            EXPECT_EQ(key.chars[1], digit) << "top key " << d;
        }

        const std::vector<int> bottom = bottomRow(*layout);
        ASSERT_EQ(bottom.size(), enBottom.size());
        const char *const links[] = {"num", "sym"};
        int link = 0;
        for (size_t k = 0; k < bottom.size(); ++k) {
            SCOPED_TRACE("bottom key " + std::to_string(k));
            const VX_Key &key = layout->keys[bottom[k]];
            const VX_Key &ref = en->keys[enBottom[k]];
            EXPECT_EQ(key.type, shared[k]);
            EXPECT_EQ(QRect(key.x, layout->height - key.y, key.width, key.height),
                      QRect(ref.x, en->height - ref.y, ref.width, ref.height));
            if (key.type == VX_KEY_LINK) {
                EXPECT_EQ(bottom[k], linkKey(*layout, links[link])) << links[link];
                ++link;
            }
            if (key.type == VX_KEY_SPACE || key.type == VX_KEY_ALPHA)
                continue;
            for (int m = 0; m < layout->modes; ++m)
                for (int s = 0; s < VX_Key::kStates; ++s)
                    EXPECT_TRUE(alike(pixels(key.pix[m][s]), pixels(ref.pix[m][s]))) << "mode " << m << " state " << s;
        }
    }
    EXPECT_GE(checked, 1);
}

// The digits and the symbols keep the bottom row of the full keyboards:
// back where the switch key is, 123 and #+= where they are on every
// keyboard, drawn alike, and Return, space and tab in their places.
TEST_P(EverySet, AuxLayoutsKeepTheBottomRowInItsPlaces)
{
    ASSERT_TRUE(loaded);
    const VX_Layout *en = find("en");
    ASSERT_NE(en, nullptr);
    const std::vector<int> enBottom = bottomRow(*en);
    const struct {
        const char *layout;
        int32_t types[7];
    } rows[] = {
        {"num", {VX_KEY_TAB, VX_KEY_SWITCH, VX_KEY_LINK, VX_KEY_SPACE, VX_KEY_ALPHA, VX_KEY_LINK, VX_KEY_ENT}},
        {"sym", {VX_KEY_TAB, VX_KEY_SWITCH, VX_KEY_LINK, VX_KEY_SPACE, VX_KEY_BKS, VX_KEY_CAPS, VX_KEY_ENT}},
        {"term", {VX_KEY_TAB, VX_KEY_SWITCH, VX_KEY_LINK, VX_KEY_SPACE, VX_KEY_BKS, VX_KEY_CAPS, VX_KEY_ENT}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.layout);
        const VX_Layout *aux = find(row.layout);
        ASSERT_NE(aux, nullptr);
        EXPECT_EQ(aux->height, en->height);
        const std::vector<int> bottom = bottomRow(*aux);
        ASSERT_EQ(bottom.size(), enBottom.size());
        for (size_t k = 0; k < bottom.size(); ++k) {
            SCOPED_TRACE("bottom key " + std::to_string(k));
            const VX_Key &key = aux->keys[bottom[k]];
            const VX_Key &ref = en->keys[enBottom[k]];
            EXPECT_EQ(key.type, row.types[k]);
            EXPECT_EQ(QRect(key.x, key.y, key.width, key.height), QRect(ref.x, ref.y, ref.width, ref.height));
            // A link drawn alike where it opens what the full keyboards'
            // key there opens (the digits' term key stands where 123 is).
            const bool sameLink = key.type == VX_KEY_LINK && ref.type == VX_KEY_LINK && key.linkSlot == ref.linkSlot;
            if (sameLink || key.type == VX_KEY_TAB || key.type == VX_KEY_ENT) {
                for (int s = 0; s < VX_Key::kStates; ++s)
                    EXPECT_TRUE(alike(pixels(key.pix[0][s]), pixels(ref.pix[0][s]))) << "state " << s;
            }
        }
        for (int32_t i = 0; i < aux->keyCount; ++i)
            EXPECT_EQ(aux->keys[i].height, en->keys[0].height) << "key " << i;
    }
    const VX_Layout *num = find("num");
    const VX_Layout *sym = find("sym");
    const VX_Layout *term = find("term");
    ASSERT_NE(term, nullptr);
    EXPECT_EQ(bottomRow(*sym)[2], linkKey(*sym, "num"));
    EXPECT_EQ(bottomRow(*term)[2], linkKey(*term, "num"));
    EXPECT_EQ(bottomRow(*num)[5], linkKey(*num, "sym"));
    EXPECT_EQ(bottomRow(*num)[2], linkKey(*num, "term"));
}

// The symbols' caps key opens a second mode of the common symbols beyond
// ASCII; the first mode keeps every printable ASCII symbol. Each types with
// one tap from the symbols in its mode, and from every basic layout.
TEST_P(EverySet, SymbolsHoldAsciiAndASecondModeOfCommonSymbols)
{
    ASSERT_TRUE(loaded);
    VX_Layout *sym = find("sym");
    ASSERT_NE(sym, nullptr);
    ASSERT_EQ(sym->modes, 2);
    ASSERT_NE(keyOfType(*sym, VX_KEY_CAPS), -1);
    const struct {
        int mode;
        const char *symbols;
    } modes[] = {
        {0, "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~"},
        {1, "€£¥¢°§±×÷«»“”‘’„…–—•©®™≠≤≥≈∞"},
    };
    for (const auto &mode : modes)
        for (uint c : QString::fromUtf8(mode.symbols).toUcs4()) {
            const std::string symbol = QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1).toStdString();
            SCOPED_TRACE(symbol);
            int found = 0;
            for (int32_t i = 0; i < sym->keyCount; ++i)
                found += sym->keys[i].type == VX_KEY_ALPHA && symbol == sym->keys[i].chars[mode.mode];
            EXPECT_EQ(found, 1) << "mode " << mode.mode;
            for (VX_Layout *layout : basics()) {
                show(layout);
                const TypingResult result = typeText(*engine, symbol);
                EXPECT_EQ(result.error, "") << layout->displayName();
                EXPECT_EQ(result.typed, symbol) << layout->displayName();
            }
        }
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
        const VX_KeyResult out = phone->press(c.x(), c.y());
        EXPECT_TRUE(out.send);
        EXPECT_STREQ(out.text, tap.text);
        EXPECT_EQ(out.erase, tap.erase);
        phone->release();
    }
}

// Every way between the basic layouts and the aux layouts: from each basic
// layout its links open the digits and the symbols, the symbols link on to
// the digits, the digits to the terminal keys and back, and the aux switch
// key goes back to the basic layout the path started from.
TEST_P(EverySet, LinksOpenTheAuxLayoutsAndTheirSwitchKeyComesBack)
{
    ASSERT_TRUE(loaded);
    const std::vector<std::vector<const char *>> paths = {{"num"}, {"sym"}, {"sym", "num"}, {"num", "term"},
                                                          {"sym", "num", "term", "num"}};
    for (VX_Layout *basic : basics())
        for (const auto &path : paths) {
            std::string trace = basic->displayName();
            for (const char *step : path)
                trace += std::string(" > ") + step;
            SCOPED_TRACE(trace);
            show(basic);
            for (const char *target : path) {
                VX_Layout *from = engine->activeLayout();
                const int link = linkKey(*from, target);
                ASSERT_NE(link, -1) << "no link to " << target << " on " << from->displayName();
                std::string ignored;
                tapKey(*from, link, ignored);
                ASSERT_EQ(engine->activeLayout(), find(target));
            }
            VX_Layout *aux = engine->activeLayout();
            const int back = keyOfType(*aux, VX_KEY_SWITCH);
            ASSERT_NE(back, -1);
            std::string ignored;
            tapKey(*aux, back, ignored);
            EXPECT_EQ(engine->activeLayout(), basic);
        }
}

// A digits file that fails takes only the digits down: every layout that
// links to them loads, and each such link is reported once and does nothing.
TEST_F(ShippedSet, BrokenDigitsLeaveTheOtherLayoutsLoaded)
{
    // Where the intact set links to the digits: layout and key, load order.
    loadSet("load.cfg");
    ASSERT_TRUE(loaded);
    std::vector<std::pair<std::string, int>> links;
    engine->forEachLayout([&](int32_t, int32_t, VX_Layout &layout) {
        const int key = linkKey(layout, "num");
        if (key >= 0)
            links.emplace_back(layout.displayName(), key);
    });
    ASSERT_GE(links.size(), 4u);

    loadReplacing("num.cfg", "[Common]\ntype 1\nkeys 24\n[Layout]\nalpha alpha\n");
    ASSERT_TRUE(loaded);
    EXPECT_NE(std::find(log.begin(), log.end(), "VX_Engine: loading layout 'num' failed, remove it"), log.end());
    EXPECT_EQ(find("num"), nullptr);
    std::vector<std::string> expected;
    for (const auto &link : links)
        expected.push_back("VX_Engine: layout '" + link.first + "': key " + std::to_string(link.second) +
                           " links to 'num', which is no loaded aux layout");
    EXPECT_EQ(deadLinkLines(), expected);
    EXPECT_EQ(log.back(), "VX_Engine: load complete - basic: 3, aux: 3");
    // The dead keys do nothing; the links to the symbols still work.
    for (const auto &link : links) {
        SCOPED_TRACE(link.first);
        VX_Layout *layout = find(link.first.c_str());
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ(layout->keys[link.second].type, VX_KEY_UNTYPED);
        if (layout->type == VX_LAYOUT_BASIC) {
            EXPECT_NE(linkKey(*layout, "sym"), -1);
        }
    }
}

// A second [Common] in the digits file makes fewer keys after its link to
// the symbols was read: the link goes with the keys it named, and nothing
// is written past the new, shorter key array.
TEST_F(ShippedSet, DigitsThatShrinkTheirKeysAfterALinkLoadSafely)
{
    loadReplacing("num.cfg", shippedText("num.cfg") +
                                 "[Common]\nkeys 1\n[Layout]\nspace\n[Geometry]\n(0 0 10 10)\n");
    ASSERT_TRUE(loaded);
    const VX_Layout *num = find("num");
    ASSERT_NE(num, nullptr);
    ASSERT_EQ(num->keyCount, 1);
    EXPECT_EQ(num->keys[0].type, VX_KEY_SPACE);
    EXPECT_EQ(deadLinkLines(), std::vector<std::string>{});
    EXPECT_EQ(log.back(), "VX_Engine: load complete - basic: 3, aux: 4");
}

// The switch key goes round every basic layout of the set in load order.
TEST_P(EverySet, SwitchKeyGoesRoundTheBasicLayouts)
{
    ASSERT_TRUE(loaded);
    const std::vector<VX_Layout *> all = basics();
    ASSERT_GE(all.size(), 2u);
    show(all.front());
    for (size_t i = 1; i <= all.size(); ++i) {
        VX_Layout &shown = *engine->activeLayout();
        const int key = keyOfType(shown, VX_KEY_SWITCH);
        ASSERT_NE(key, -1) << shown.displayName();
        std::string ignored;
        tapKey(shown, key, ignored);
        EXPECT_EQ(engine->activeLayout(), all[i % all.size()]) << "after " << shown.displayName();
    }
}

}  // namespace
