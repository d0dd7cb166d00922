// How the prediction engine reads letters and text: case, accent folding,
// what a word is, and the context at the cursor.
#include "prediction/VX_TextFold.h"
#include "prediction/VX_Words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TextFoldTest, FoldsCaseAndAccentsOfEveryShippedScript)
{
    struct Case {
        const char *text, *lower, *upper, *key;
    };
    const Case cases[] = {
        {"Café", "café", "CAFÉ", "cafe"},
        {"Straße", "straße", "STRAßE", "strasse"},
        {"ÜBER", "über", "ÜBER", "uber"},
        {"Łódź", "łódź", "ŁÓDŹ", "lodz"},
        {"Ñandú", "ñandú", "ÑANDÚ", "nandu"},
        {"Άνθρωπος", "άνθρωπος", "ΆΝΘΡΩΠΟΣ", "ανθρωποσ"},
        {"ΐ", "ΐ", "ΐ", "ι"},
        {"Ёлка", "ёлка", "ЁЛКА", "елка"},
        {"Йогурт", "йогурт", "ЙОГУРТ", "йогурт"},
        {"don’t", "don't", "DON’T", "don't"},
        {"e\xcc\x81t\xc3\xa9", "e\xcc\x81t\xc3\xa9", "E\xcc\x81T\xc3\x89", "ete"},  // a combining accent
        {"a\xff" "b", "a\xff" "b", "A\xff" "B", "a\xff" "b"},                  // not UTF-8: kept
    };
    for (const Case &c : cases) {
        EXPECT_EQ(vxLowerText(c.text), c.lower) << c.text;
        EXPECT_EQ(vxUpperText(c.text), c.upper) << c.text;
        EXPECT_EQ(vxFoldKey(c.text), c.key) << c.text;
    }
    EXPECT_EQ(vxCapitalized("élan"), "Élan");
    EXPECT_EQ(vxCapitalized("ωρα"), "Ωρα");
    EXPECT_EQ(vxCapitalized(""), "");
}

TEST(TextFoldTest, WordsAndSentences)
{
    struct Case {
        const char *text;
        bool completeOnly;
        const char *expected;  // words, "^" before the first of a sentence
        bool greek = false;    // ";" is the question mark
    };
    const Case cases[] = {
        {"Hi there, Tom! How's it going?", false, "^hi there tom ^how's it going"},
        {"one two", true, "^one"},
        {"one two", false, "^one two"},
        {"rock 'n' roll", false, "^rock n roll"},
        {"Τι κάνεις; Καλά", false, "^τι κάνεις ^καλά", true},
        {"Τι κάνεις\xcd\xbe Καλά", false, "^τι κάνεις ^καλά"},
        {"one; two", false, "^one two"},
        {"¿Qué tal? ¡Bien", false, "^qué tal ^bien"},
        {"line one\nline two", false, "^line one ^line two"},
        {"3 apples, 12kg", false, "^3 apples 12kg"},
        {"", false, ""},
    };
    for (const Case &c : cases) {
        std::string got;
        vxForEachWord(c.text, c.completeOnly, [&](std::string_view word, bool start) {
            if (!got.empty())
                got += ' ';
            got += (start ? "^" : "") + vxLowerText(word);
        }, c.greek);
        EXPECT_EQ(got, c.expected) << c.text;
    }
}

TEST(TextFoldTest, CursorContext)
{
    struct Case {
        std::string text;
        const char *prefix, *before2, *before1;
        int known;
        bool sentenceStart;
    };
    const Case cases[] = {
        {"", "", "", "", 0, true},
        {"Th", "Th", "", "", 0, true},
        {"I am go", "go", "i", "am", 2, false},
        {"I am going ", "", "am", "going", 2, false},
        {"Yes. I", "I", "", "", 0, true},
        {"Yes. I a", "a", "", "i", 1, false},
        {"Well, don'", "don'", "", "well", 1, false},
        {"ok!\n", "", "", "", 0, true},
        {"Сегодня мы ид", "ид", "сегодня", "мы", 2, false},
        // A long text: only its end counts, and a word is never cut.
        {std::string(5000, 'x') + " see you to", "to", "see", "you", 2, false},
    };
    for (const Case &c : cases) {
        const VX_CursorContext context = vxCursorContext(c.text);
        const std::string shown = c.text.size() > 60 ? c.text.substr(c.text.size() - 60) : c.text;
        EXPECT_EQ(context.prefix, c.prefix) << shown;
        EXPECT_EQ(context.previous[0], c.before2) << shown;
        EXPECT_EQ(context.previous[1], c.before1) << shown;
        EXPECT_EQ(context.known, c.known) << shown;
        EXPECT_EQ(context.sentenceStart, c.sentenceStart) << shown;
    }
}

}  // namespace
