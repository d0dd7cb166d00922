// The field's purpose: what a Wayland content type means, the purpose file
// of a layout set, and where the board goes as fields come and go.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "purpose/VX_Purpose.h"
#include "purpose/VX_PurposeChooser.h"
#include "purpose/VX_PurposeTable.h"
#include "tests/TestSupport.h"

namespace {

// Content hint bits as a compositor sends them.
constexpr uint32_t kCompletion = 0x1;
constexpr uint32_t kHidden = 0x40;
constexpr uint32_t kSensitive = 0x80;
constexpr uint32_t kMultiline = 0x200;

TEST(Purpose, ContentTypeGivesPurposeAndPrivacy)
{
    struct Case {
        uint32_t hint, purpose;
        const char *name;  // vxPurposeName of the result
        bool isPrivate;
    };
    const Case cases[] = {
        {0, 0, "normal", false},         {0, 1, "alpha", false},
        {0, 2, "digits", false},         {0, 3, "number", false},
        {0, 4, "phone", false},          {0, 5, "url", false},
        {0, 6, "email", false},          {0, 7, "name", false},
        {0, 8, "password", true},        {0, 9, "pin", false},
        {0, 10, "date", false},          {0, 11, "time", false},
        {0, 12, "datetime", false},      {0, 13, "terminal", false},
        {kSensitive, 0, "normal", true}, {kHidden, 9, "pin", true},
        {kCompletion | kMultiline, 6, "email", false},
        {kHidden | kSensitive, 8, "password", true},
        {0, 14, "normal", false},        {0, 0xffffffffu, "normal", false},
        {kSensitive, 99, "normal", true},
    };
    for (const Case &c : cases) {
        const VX_Field field = vxFieldFromContentType(c.hint, c.purpose);
        EXPECT_TRUE(field.focused);
        EXPECT_STREQ(vxPurposeName(field.purpose), c.name) << "hint " << c.hint << " purpose " << c.purpose;
        EXPECT_EQ(field.isPrivate, c.isPrivate) << "hint " << c.hint << " purpose " << c.purpose;
    }
}

TEST(Purpose, NamesGoBothWays)
{
    for (int i = 0; i < VX_PURPOSE_COUNT; ++i) {
        VX_Purpose back = VX_PURPOSE_COUNT;
        const char *name = vxPurposeName(static_cast<VX_Purpose>(i));
        ASSERT_TRUE(vxPurposeFromName(name, back)) << name;
        EXPECT_EQ(back, i) << name;
    }
    for (const char *word : std::initializer_list<const char *>{"", "Digits", "digit", "none", "digits ", nullptr}) {
        VX_Purpose p;
        EXPECT_FALSE(vxPurposeFromName(word, p)) << (word ? word : "(null)");
    }
}

TEST(PurposeTable, FileNameFollowsTheLoadList)
{
    const std::pair<const char *, const char *> cases[] = {
        {"load.cfg", "load.purpose"},
        {"load-de-fr-es.cfg", "load-de-fr-es.purpose"},
        {"mine", "mine.purpose"},
        {".cfg", ".cfg.purpose"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(VX_PurposeTable::fileFor(c.first), c.second) << c.first;

    // The first folder that has it, as for every file of a set.
    TempDir dir;
    const std::string a = dir.mkdir("a"), b = dir.mkdir("b");
    dir.write("b/load-x.purpose", "digits num\n");
    dir.write("a/load.purpose", "digits num\n");
    dir.write("b/load.purpose", "digits num\n");
    EXPECT_EQ(VX_PurposeTable::find({a, b}, "load-x.cfg"), b + "/load-x.purpose");
    EXPECT_EQ(VX_PurposeTable::find({a, b}, "load.cfg"), a + "/load.purpose");
    EXPECT_EQ(VX_PurposeTable::find({b, a}, "load.cfg"), b + "/load.purpose");
    EXPECT_EQ(VX_PurposeTable::find({a, b}, "load-y.cfg"), "");
}

TEST(PurposeTable, ReadsLinesAndRefusesWrongOnesWithTheirPlace)
{
    struct Case {
        const char *text;
        const char *diagnostic;  // expected line; empty: the file loads
        const char *digits;      // the digits line's names, blank-joined, when it loads
    };
    const Case cases[] = {
        {"digits num\n", "", "num"},
        {"# comment\n\n   \ndigits\tphone  num \r\nurl web\n", "", "phone num"},
        {"url web\n", "", ""},
        {"digits a b c d\n", "", "a b c d"},
        {"digits num", "", "num"},
        {"digits num\nfoo bar\n", "VX_Purpose: unknown purpose 'foo' (p.purpose, 2)", ""},
        {"\n\n Digits num\n", "VX_Purpose: unknown purpose 'Digits' (p.purpose, 3)", ""},
        {"digits num\ndigits sym\n", "VX_Purpose: purpose 'digits' given twice (p.purpose, 2)", ""},
        {"phone\n", "VX_Purpose: purpose 'phone' names no layout (p.purpose, 1)", ""},
        {"phone  \t \n", "VX_Purpose: purpose 'phone' names no layout (p.purpose, 1)", ""},
        {"digits a b c d e\n", "VX_Purpose: purpose 'digits' names more than 4 layouts (p.purpose, 1)", ""},
    };
    for (const Case &c : cases) {
        TempDir dir;
        dir.write("p.purpose", c.text);
        VX_PurposeTable table;
        LogCapture log;
        const bool loaded = table.load(dir.file("p.purpose").c_str());
        const std::vector<std::string> lines = log.lines();
        if (!*c.diagnostic) {
            EXPECT_TRUE(loaded) << c.text;
            EXPECT_TRUE(lines.empty()) << c.text << " said " << log.text();
            std::string joined;
            for (const std::string &name : table.choices(VX_PURPOSE_DIGITS))
                joined += (joined.empty() ? "" : " ") + name;
            EXPECT_EQ(joined, c.digits) << c.text;
        } else {
            EXPECT_FALSE(loaded) << c.text;
            ASSERT_EQ(lines.size(), 1u) << c.text << " said " << log.text();
            EXPECT_EQ(lines[0], c.diagnostic) << c.text;
            EXPECT_TRUE(table.empty()) << c.text;
        }
    }
}

TEST(PurposeTable, AFailedLoadLeavesNothingOfAnEarlierOne)
{
    TempDir dir;
    dir.write("good.purpose", "digits num\nphone phone\n");
    dir.write("long.purpose", "digits num\nphone " + std::string(300, 'x') + "\n");
    VX_PurposeTable table;
    ASSERT_TRUE(table.load(dir.file("good.purpose").c_str()));
    LogCapture log;
    EXPECT_FALSE(table.load(dir.file("long.purpose").c_str()));
    EXPECT_EQ(log.lines().size(), 1u) << log.text();
    EXPECT_TRUE(table.empty());
    ASSERT_TRUE(table.load(dir.file("good.purpose").c_str()));
    log.clear();
    EXPECT_FALSE(table.load(dir.file("missing.purpose").c_str()));
    EXPECT_EQ(log.lines().size(), 1u) << log.text();
    EXPECT_TRUE(table.empty());
}

// A place written "b1" (basic slot 1) or "a0<1" (aux slot 0, back to
// basic slot 1).
VX_Engine::Place placeOf(const std::string &text)
{
    VX_Engine::Place place;
    place.row = text[0] == 'a' ? VX_LAYOUT_AUX : VX_LAYOUT_BASIC;
    place.slot = text[1] - '0';
    place.returnSlot = text.size() > 3 ? text[3] - '0' : -1;
    return place;
}

std::string textOf(const VX_Engine::Place &place)
{
    std::string text = (place.row == VX_LAYOUT_AUX ? "a" : "b") + std::to_string(place.slot);
    if (place.row == VX_LAYOUT_AUX)
        text += "<" + std::to_string(place.returnSlot);
    return text;
}

TEST(PurposeChooser, FieldsMoveTheBoardAndGiveTheUsersLayoutBack)
{
    // The set: basic en, ru, phone; aux num, sym, term, web.
    const std::map<std::string, std::pair<int32_t, int32_t>> placed = {
        {"en", {0, 0}},  {"ru", {0, 1}},  {"phone", {0, 2}}, {"num", {1, 0}},
        {"sym", {1, 1}}, {"term", {1, 2}}, {"web", {1, 3}},
    };
    VX_PurposeTable table;
    table.set(VX_PURPOSE_DIGITS, {"num"});
    table.set(VX_PURPOSE_PHONE, {"phone", "num"});
    table.set(VX_PURPOSE_EMAIL, {"web"});
    table.set(VX_PURPOSE_URL, {"web"});
    table.set(VX_PURPOSE_TERMINAL, {"term"});
    table.set(VX_PURPOSE_PIN, {"absent", "num"});
    table.set(VX_PURPOSE_NUMBER, {"absent"});
    const auto find = [&placed](int32_t row, const char *name) -> int32_t {
        const auto it = placed.find(name);
        return it != placed.end() && it->second.first == row ? it->second.second : -1;
    };

    // Each scenario starts at its first place; each step is a field
    // ("digits", "password!" for a private field, "-" for no field) or a
    // move by hand ("hand b1"), and the place the board is at after it.
    struct Step {
        const char *event;
        const char *expect;
    };
    struct Scenario {
        const char *start;
        std::vector<Step> steps;
    };
    const Scenario scenarios[] = {
        {"b0", {{"digits", "a0<0"}, {"-", "b0"}}},
        {"b1", {{"phone", "b2"}, {"normal", "b1"}}},
        {"b0", {{"email", "a3<0"}, {"url", "a3<0"}, {"terminal", "a2<0"}, {"-", "b0"}}},
        // From the symbols of ru and back to them.
        {"a1<1", {{"digits", "a0<1"}, {"-", "a1<1"}}},
        // A pick by hand stays until the field changes.
        {"b0", {{"digits", "a0<0"}, {"hand a1<0", "a1<0"}, {"digits", "a0<0"}, {"normal", "b0"}}},
        // Another language picked by hand is where the board comes back to.
        {"b0", {{"digits", "a0<0"}, {"hand b1", "b1"}, {"-", "b1"}, {"digits", "a0<1"}, {"-", "b1"}}},
        {"b0", {{"terminal", "a2<0"}, {"hand b0", "b0"}, {"hand b1", "b1"}, {"hand a1<1", "a1<1"}, {"-", "b1"}}},
        // A private field shows the letters, whatever was shown.
        {"a0<1", {{"password!", "b1"}, {"-", "a0<1"}}},
        {"b0", {{"normal!", "b0"}, {"digits", "a0<0"}, {"pin!", "a0<0"}, {"password!", "b0"}, {"-", "b0"}}},
        // The first layout of a line that is loaded; none loaded: home.
        {"b0", {{"pin", "a0<0"}, {"number", "b0"}, {"number", "b0"}}},
        {"b1", {{"number", "b1"}, {"-", "b1"}}},
        // No field layout shown: fields without one leave the board alone.
        {"a1<0", {{"-", "a1<0"}, {"normal", "a1<0"}, {"name", "a1<0"}, {"alpha", "a1<0"}}},
        {"b2", {{"date", "b2"}, {"time", "b2"}}},
    };
    for (const Scenario &scenario : scenarios) {
        VX_PurposeChooser chooser(table, find);
        VX_Engine::Place now = placeOf(scenario.start);
        std::string trail = scenario.start;
        for (const Step &step : scenario.steps) {
            trail += std::string(" / ") + step.event;
            const std::string event = step.event;
            if (event.compare(0, 5, "hand ") == 0) {
                now = placeOf(event.substr(5));
                chooser.movedByHand(now);
            } else {
                VX_Field field;
                field.focused = event != "-";
                field.isPrivate = event.back() == '!';
                const std::string word = field.isPrivate ? event.substr(0, event.size() - 1) : event;
                if (field.focused)
                    ASSERT_TRUE(vxPurposeFromName(word.c_str(), field.purpose)) << trail;
                VX_Engine::Place to;
                const bool moves = chooser.fieldChanged(field, now, to);
                if (moves) {
                    EXPECT_NE(textOf(to), textOf(now)) << trail << ": a move to where the board is";
                    now = to;
                }
                EXPECT_EQ(chooser.field(), field) << trail;
            }
            EXPECT_EQ(textOf(now), step.expect) << trail;
        }
    }
}

}  // namespace
