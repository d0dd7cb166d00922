// The typing session against a fake field: what the board's keys become
// (commit, replace before the cursor, key strokes), the multi-tap
// replacement with and without the field's reports, the text context and
// choosing a suggestion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/VX_Utf8.h"
#include "typing/VX_EditSink.h"
#include "typing/VX_TypingSession.h"

namespace {

// A field that holds the text before its cursor and logs every edit. A
// replacement of text that is not before the cursor is logged as a fault.
class FakeField : public VX_EditSink {
public:
    void commitText(const char *text) override
    {
        log.push_back(std::string("commit ") + text);
        doc += text;
    }
    void replaceBefore(const std::string &before, const char *text) override
    {
        log.push_back("replace " + before + ">" + text);
        if (doc.size() < before.size() || doc.compare(doc.size() - before.size(), before.size(), before) != 0) {
            log.push_back("FAULT: '" + before + "' is not before the cursor of '" + doc + "'");
            return;
        }
        doc.resize(doc.size() - before.size());
        doc += text;
    }
    void sendStroke(uint32_t keysym, uint32_t mods) override
    {
        log.push_back("stroke " + std::to_string(keysym) + "+" + std::to_string(mods));
    }
    void sendBackspace() override
    {
        log.push_back("backspace");
        if (!doc.empty())
            doc.resize(doc.size() - vxUtf8LastLength(doc.data(), doc.size()));
    }
    void sendReturn() override
    {
        log.push_back("return");
        doc += "\n";
    }
    bool askReport(const char *text) override
    {
        if (!reports)
            return false;
        log.push_back(std::string("ask ") + text);
        return true;
    }

    std::vector<std::string> log;  // every edit, in order
    std::string doc;               // the text before the cursor
    bool reports = false;          // the field reports its text (input method)
};

// One thing that happens to the session.
struct Step {
    enum Kind { TEXT, ERASE_TEXT, BACKSPACE, RETURN, STROKE, ERASE_STROKE, RESET, REPORT, STALE_REPORT, NEW_FIELD,
                NO_FIELD, TIMEOUT, CHOOSE };
    Kind kind;
    std::string text;  // TEXT, ERASE_TEXT, CHOOSE: UTF-8; reports: the field's text before and after the cursor
    uint32_t cursor = 0;  // reports: byte offset of the cursor in `text`
};

Step text(const std::string &t) { return {Step::TEXT, t}; }
Step eraseText(const std::string &t) { return {Step::ERASE_TEXT, t}; }
// The field as it is now (the user may have typed into it or moved its
// cursor), reported.
Step report(const std::string &t, uint32_t cursor) { return {Step::REPORT, t, cursor}; }
// A report the field sent before the session's last edit reached it.
Step staleReport(const std::string &t, uint32_t cursor) { return {Step::STALE_REPORT, t, cursor}; }
// Another field became active (the focus moved), with this text.
Step newField(const std::string &t, uint32_t cursor) { return {Step::NEW_FIELD, t, cursor}; }
Step choose(const std::string &word) { return {Step::CHOOSE, word}; }
const Step kBackspace{Step::BACKSPACE, ""};
const Step kReturn{Step::RETURN, ""};
const Step kStroke{Step::STROKE, ""};
const Step kEraseStroke{Step::ERASE_STROKE, ""};
const Step kReset{Step::RESET, ""};
const Step kNoField{Step::NO_FIELD, ""};
const Step kTimeout{Step::TIMEOUT, ""};

VX_KeyResult keyResult(const Step &step)
{
    VX_KeyResult r;
    r.send = true;
    switch (step.kind) {
    case Step::ERASE_TEXT:
        r.erase = true;
        [[fallthrough]];
    case Step::TEXT:
        snprintf(r.text, sizeof r.text, "%s", step.text.c_str());
        break;
    case Step::BACKSPACE:
        r.code = VX_CODE_BACKSPACE;
        break;
    case Step::RETURN:
        r.code = VX_CODE_RETURN;
        break;
    case Step::ERASE_STROKE:
        r.erase = true;
        [[fallthrough]];
    default:
        r.keysym = 0x63;  // c, with Ctrl
        r.mods = 2;
        break;
    }
    return r;
}

struct Outcome {
    std::vector<std::string> log;
    std::string doc, before;
    int cycleCloses = 0;
    int waits = 0;
};

Outcome run(const std::vector<Step> &steps, bool reports)
{
    FakeField field;
    field.reports = reports;
    Outcome out;
    {
        VX_TypingSession session(field);
        uint32_t lastWait = 0;
        session.onCycleClosed = [&] { ++out.cycleCloses; };
        session.onAwaitReport = [&](uint32_t id) {
            lastWait = id;
            ++out.waits;
        };
        for (const Step &step : steps) {
            switch (step.kind) {
            case Step::RESET:
                session.resetContext();
                break;
            case Step::REPORT:
            case Step::NEW_FIELD:
                field.doc = step.text.substr(0, step.cursor);
                session.fieldReport({true, step.kind == Step::NEW_FIELD, true, step.text, step.cursor});
                break;
            case Step::STALE_REPORT:
                session.fieldReport({true, false, true, step.text, step.cursor});
                break;
            case Step::NO_FIELD:
                field.reports = false;
                session.fieldReport({});
                break;
            case Step::TIMEOUT:
                session.reportTimedOut(lastWait);
                break;
            case Step::CHOOSE:
                session.choose(step.text);
                break;
            default:
                session.apply(keyResult(step));
            }
        }
        out.before = session.textBeforeCursor();
    }
    out.log = field.log;
    out.doc = field.doc;
    return out;
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string all;
    for (const std::string &line : lines)
        all += "[" + line + "] ";
    return all;
}

struct Case {
    const char *name;
    bool reports;  // the field reports its surrounding text
    std::vector<Step> steps;
    std::vector<std::string> log;
    std::string doc;     // the field's text before the cursor at the end
    std::string before;  // what the session knows of it
    int cycleCloses;
};

void check(const Case &c)
{
    const Outcome got = run(c.steps, c.reports);
    EXPECT_EQ(joined(got.log), joined(c.log)) << c.name;
    EXPECT_EQ(got.doc, c.doc) << c.name;
    EXPECT_EQ(got.before, c.before) << c.name;
    EXPECT_EQ(got.cycleCloses, c.cycleCloses) << c.name;
}

// Without reports (X11, the virtual keyboard alone): the session knows
// what it typed since the last reset.
TEST(TypingSession, KeysWithoutReports)
{
    const Case cases[] = {
        {"multi-tap then another key", false,
         {text("a"), eraseText("b"), eraseText("c"), text("d")},
         {"commit a", "replace a>b", "replace b>c", "commit d"}, "cd", "cd", 0},
        {"a focus change closes the cycle and keeps what it typed", false,
         {text("x"), text("a"), kReset, eraseText("b")},
         {"commit x", "commit a", "commit b"}, "xab", "b", 1},
        {"an erase after a key stroke erases nothing of the user's", false,
         {text("q"), kStroke, eraseText("b")},
         {"commit q", "stroke 99+2", "commit b"}, "qb", "b", 0},
        {"an erase step with a stroke erases nothing either", false,
         {kStroke, kEraseStroke},
         {"stroke 99+2", "stroke 99+2"}, "", "", 0},
        {"Backspace takes one character of the context", false,
         {text("\xD0\xB6"), text("a"), text("\xC3\xA9"), kBackspace},
         {"commit \xD0\xB6", "commit a", "commit \xC3\xA9", "backspace"}, "\xD0\xB6" "a", "\xD0\xB6" "a", 0},
        {"the erase step of a cycle then Backspace", false,
         {text("a"), eraseText("b"), kBackspace},
         {"commit a", "replace a>b", "backspace"}, "", "", 0},
        {"Return ends the context", false,
         {text("a"), kReturn, text("b")},
         {"commit a", "return", "commit b"}, "a\nb", "b", 0},
    };
    for (const Case &c : cases)
        check(c);
}

// With reports (the Wayland input method): a replacement waits for a
// fresh report and replaces only while the cycle's text is before the
// cursor. The first report, of a field becoming active, closes the cycle
// too.
TEST(TypingSession, MultiTapWithTheFieldsReports)
{
    const Case cases[] = {
        {"the report confirms: one replacement", true,
         {report("xy", 2), text("a"), report("xya", 3), eraseText("b"), report("xya", 3)},
         {"commit a", "ask b", "replace a>b"}, "xyb", "xyb", 1},
        {"the user typed meanwhile: the cycle's character is added, nothing erased", true,
         {report("xy", 2), text("a"), report("xya", 3), report("xya q", 5), eraseText("b")},
         {"commit a", "commit b"}, "xya qb", "xya qb", 2},
        {"the cursor moved away while waiting: nothing erased", true,
         {report("xy", 2), text("a"), report("xya", 3), eraseText("b"), report("xya", 1)},
         {"commit a", "ask b", "commit b"}, "xb", "xb", 2},
        {"no report comes: the character goes in, then the keys behind it", true,
         {report("", 0), text("a"), report("a", 1), eraseText("b"), text("c"), kBackspace, kTimeout},
         {"commit a", "ask b", "commit b", "commit c", "backspace"}, "ab", "ab", 2},
        {"a report older than the cycle's character is not the user's edit", true,
         {report("x", 1), text("a"), staleReport("x", 1), report("xa", 2), eraseText("b"), report("xa", 2)},
         {"commit a", "ask b", "replace a>b"}, "xb", "xb", 1},
        {"the field goes while waiting: the character is typed, nothing erased", true,
         {report("", 0), text("a"), report("a", 1), eraseText("b"), kNoField, eraseText("c")},
         {"commit a", "ask b", "commit b", "commit c"}, "abc", "bc", 1},
        {"a second erase queued behind the first waits for its own report", true,
         {report("", 0), text("a"), report("a", 1), eraseText("b"), eraseText("c"), report("a", 1),
          report("b", 1)},
         {"commit a", "ask b", "replace a>b", "ask c", "replace b>c"}, "c", "c", 1},
        {"a click elsewhere in the field is the new context", true,
         {report("hello world", 11), report("hello world", 5)},
         {}, "hello", "hello", 1},
        {"another field while a cycle is open: the erase step does not reach it", true,
         {report("ab", 2), text("x"), report("abx", 3), newField("cd", 2), eraseText("y")},
         {"commit x", "commit y"}, "cdy", "cdy", 2},
        {"another field while the replacement waits: the character goes there, nothing erased", true,
         {report("ab", 2), text("x"), report("abx", 3), eraseText("y"), newField("cd", 2), eraseText("z")},
         {"commit x", "ask y", "commit y", "commit z"}, "cdyz", "cdyz", 2},
        {"a cursor beyond the text is at its end", true,
         {report("ab", 99), text("x"), report("abx", 3), eraseText("y"), report("abx", 3)},
         {"commit x", "ask y", "replace x>y"}, "aby", "aby", 1},
    };
    for (const Case &c : cases)
        check(c);
}

// Choosing a suggestion: the typed word becomes the chosen one and a
// space; a mark typed next goes before that space.
TEST(TypingSession, ChoosingASuggestion)
{
    const Case cases[] = {
        {"the rest of the word and a space", false,
         {text("t"), text("h"), choose("the")},
         {"commit t", "commit h", "commit e "}, "the ", "the ", 1},
        {"a word that differs replaces the typed letters", false,
         {text("t"), text("e"), text("h"), choose("the")},
         {"commit t", "commit e", "commit h", "replace teh>the "}, "the ", "the ", 1},
        {"a mark goes before the automatic space", false,
         {text("h"), choose("hi"), text(",")},
         {"commit h", "commit i ", "replace  >, "}, "hi, ", "hi, ", 1},
        {"a cycle of marks replaces the mark before the space", false,
         {text("h"), choose("hi"), text("."), eraseText(",")},
         {"commit h", "commit i ", "replace  >. ", "replace . >, "}, "hi, ", "hi, ", 1},
        {"a letter after the space is just typed", false,
         {text("h"), choose("hi"), text("a"), text(",")},
         {"commit h", "commit i ", "commit a", "commit ,"}, "hi a,", "hi a,", 1},
        {"the chosen word after a multi-tap cycle: the board's cycle closes", false,
         {text("a"), eraseText("b"), choose("be"), eraseText("x")},
         {"commit a", "replace a>b", "commit e ", "commit x"}, "be x", "be x", 1},
        {"multi-tap then a suggestion, with the field reporting", true,
         {report("", 0), text("a"), report("a", 1), eraseText("b"), report("a", 1), report("b", 1), choose("by")},
         {"commit a", "ask b", "replace a>b", "commit y "}, "by ", "by ", 2},
        {"an empty suggestion types nothing", false,
         {text("a"), choose("")},
         {"commit a"}, "a", "a", 0},
        {"a case that differs is replaced, accents too", false,
         {text("c"), text("a"), text("f"), text("e"), choose("Caf\xC3\xA9")},
         {"commit c", "commit a", "commit f", "commit e", "replace cafe>Caf\xC3\xA9 "}, "Caf\xC3\xA9 ", "Caf\xC3\xA9 ", 1},
        {"a mark with the field reporting", true,
         {report("", 0), text("o"), choose("ok"), report("ok ", 3), text("!")},
         {"commit o", "commit k ", "replace  >! "}, "ok! ", "ok! ", 2},
    };
    for (const Case &c : cases)
        check(c);
}

TEST(TypingSession, WordBeforeTheCursor)
{
    struct WordCase {
        std::string before, word;
    } cases[] = {
        {"", ""},
        {"hello wor", "wor"},
        {"don't", "don't"},
        {"l'\xC3\xA9t\xC3\xA9", "l'\xC3\xA9t\xC3\xA9"},              // l'été
        {"say 'quo", "quo"},
        {"end. ", ""},
        {"end.", ""},
        {"\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB0", "\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB0"},  // жена
        {"in 1990s", "1990s"},
        {"a\xE2\x80\x94" "b", "b"},                                  // a—b
        {"x\xC2\xA0y", "y"},                                        // no-break space
        {"\xC2\xABtr", "tr"},                                       // «tr
        {"costs 5\xE2\x82\xAC", ""},                              // 5€: a sign ends no word
        {"don'", "don'"},                                          // an apostrophe just typed
        {"x\xFF" "ab", "ab"},                                       // a bad byte is no letter
    };
    for (const WordCase &c : cases) {
        FakeField field;
        VX_TypingSession session(field);
        session.fieldReport({true, true, true, c.before + "tail", static_cast<uint32_t>(c.before.size())});
        EXPECT_EQ(session.textBeforeCursor(), c.before) << "'" << c.before << "'";
        EXPECT_EQ(session.wordBeforeCursor(), c.word) << "'" << c.before << "'";
    }
}

// The context stays bounded and whole characters: a long run of two-byte
// letters keeps the last ones, and each letter changes it.
TEST(TypingSession, ContextIsBoundedAtCharacters)
{
    FakeField field;
    VX_TypingSession session(field);
    int changes = 0;
    session.onContextChanged = [&] { ++changes; };
    const char *letters[] = {"\xC3\xA9", "\xD0\xB6", "\xCE\xBB"};  // é ж λ
    std::string typed;
    for (int i = 0; i < 700; ++i) {
        VX_KeyResult r;
        r.send = true;
        snprintf(r.text, sizeof r.text, "%s", letters[i % 3]);
        typed += r.text;
        session.apply(r);
    }
    const std::string &before = session.textBeforeCursor();
    EXPECT_LE(before.size(), VX_TypingSession::kContextBytes);
    EXPECT_GE(before.size(), VX_TypingSession::kContextBytes - 1);
    EXPECT_EQ(vxUtf8Count(before.data(), before.size()), static_cast<int32_t>(before.size() / 2));
    EXPECT_EQ(before, typed.substr(typed.size() - before.size()));
    EXPECT_EQ(changes, 700);
}

// A session that ends while a character waits for its report types it.
TEST(TypingSession, EndingWhileWaitingTypesTheCharacter)
{
    const Outcome got = run({report("", 0), text("a"), report("a", 1), eraseText("b"), text("c")}, true);
    EXPECT_EQ(joined(got.log), joined({"commit a", "ask b", "commit b", "commit c"}));
    EXPECT_EQ(got.waits, 1);
}

}  // namespace
