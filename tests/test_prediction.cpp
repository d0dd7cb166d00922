// The prediction engine over a small model: completions, next words, the
// back-off from trigram to bigram to word frequency, accents, case, what
// learning and forgetting change.
#include "TestSupport.h"
#include "TinyModel.h"
#include "prediction/VX_LanguageModel.h"
#include "prediction/VX_Predictor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

std::string joined(const Words &words)
{
    std::string out;
    for (const std::string &w : words)
        out += (out.empty() ? "" : "|") + w;
    return out;
}

class PredictionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(model.parse(kTinyModel, "tiny")); }
    VX_LanguageModel model;
};

struct Case {
    const char *before;    // text before the cursor
    size_t n;              // suggestions asked for
    const char *expected;  // suggestions joined by |
};

TEST_F(PredictionTest, SuggestsFromContextWordAndFrequency)
{
    const Case cases[] = {
        // Completion of the word being typed, most frequent first.
        {"we go th", 3, "the|they|then"},
        {"we go thi", 3, "thinking"},
        // Next words: the trigram decides over the bigram...
        {"go to the ", 1, "house"},
        // ...the bigram when the trigram context was never seen...
        {"about the ", 2, "café|house"},
        // ...and word frequency when the word before is unknown.
        {"zzz ", 3, "the|I|to"},
        // The trigram's own followers come before a bigram one with a prefix.
        {"go to the g", 3, "garden"},
        // A sentence start has its own followers, capitalised.
        {"", 2, "I|The"},
        {"Fine. ", 2, "I|The"},
        {"Fine? th", 3, "The|They|Then"},
        // Nothing matches: no suggestion.
        {"we go qx", 3, ""},
        {"we go th", 0, ""},
        // Inside a word with an apostrophe, or after one, nothing breaks.
        {"we don't th", 1, "the"},
    };
    for (const Case &c : cases) {
        VX_Predictor predictor(model);
        EXPECT_EQ(joined(predictor.predict(c.before, c.n)), c.expected) << "text: \"" << c.before << "\"";
    }
}

// A front end that knows only what it typed (the panel on X11) hands text
// that may go on before it: its first sentence is no sentence start, a
// later one is.
TEST_F(PredictionTest, TextThatMayGoOnBeforeHasNoSentenceStartOfItsOwn)
{
    const Case cases[] = {
        {"th", 3, "the|they|then"},
        {"", 3, "the|I|to"},
        {"we go ", 1, "the"},
        {"Fine? th", 3, "The|They|Then"},
        {"Fine. ", 2, "I|The"},
        {"Th", 1, "The"},  // typed capitalised: still capitalised
    };
    for (const Case &c : cases) {
        VX_Predictor predictor(model);
        EXPECT_EQ(joined(predictor.predict(c.before, c.n, false)), c.expected) << "text: \"" << c.before << "\"";
    }
}

TEST_F(PredictionTest, AccentsAndCaseNeverLoseAMatch)
{
    const Case cases[] = {
        {"a cafe", 1, "café"},       // typed without its accent
        {"a CAF", 1, "CAFÉ"},        // typed in capitals: offered in capitals
        {"a Caf", 1, "Café"},        // typed capitalised
        {"a caf", 1, "café"},
        {"we i", 1, "I"},            // "I" keeps its capital inside a sentence
        {"on mon", 1, "Monday"},     // so do names
        {"a thé", 1, "the"},         // an accent typed on a word without one still finds it
    };
    for (const Case &c : cases) {
        VX_Predictor predictor(model);
        EXPECT_EQ(joined(predictor.predict(c.before, c.n)), c.expected) << "text: \"" << c.before << "\"";
    }
}

TEST_F(PredictionTest, SuggestionsPassedOverAreNotOfferedAgainForTheSameWord)
{
    VX_Predictor predictor(model);
    EXPECT_EQ(joined(predictor.predict("we go t", 2)), "the|to");
    // Another letter typed instead of choosing: the/to were not the word.
    EXPECT_EQ(joined(predictor.predict("we go th", 2)), "they|then");
    // Back to the shorter word (a correction): everything again.
    EXPECT_EQ(joined(predictor.predict("we go t", 2)), "the|to");
    // The same text asked twice shows the same words.
    EXPECT_EQ(joined(predictor.predict("we go t", 2)), "the|to");
    // A new word starts afresh.
    EXPECT_EQ(joined(predictor.predict("we go to t", 2)), "the|to");
}

TEST_F(PredictionTest, LearningChangesTheRanking)
{
    VX_Predictor predictor(model);
    EXPECT_EQ(joined(predictor.predict("so th", 3)), "the|they|then");
    for (int i = 0; i < 20; ++i)
        predictor.learnText("so thinking about it, ");
    // A rare word typed often after "so" passes the model's more frequent ones.
    EXPECT_EQ(joined(predictor.predict("so th", 3)), "the|thinking|they");
    // The learned pair: after "so", before any letter.
    const Words next = predictor.predict("and so ", 3);
    EXPECT_NE(std::find(next.begin(), next.end(), "thinking"), next.end()) << joined(next);
    // A word learned at a sentence start keeps the model's form mid-sentence.
    predictor.learnText("I said so. ");
    EXPECT_EQ(predictor.predict("and i", 1), Words{"I"});
    // A word the model never had is learned with the case it was typed in.
    predictor.learnText("we met Zyxel there. ");
    EXPECT_EQ(predictor.predict("with zy", 1), Words{"Zyxel"});
    // The word cut by the end of the text is not learned yet.
    predictor.learnText("a qwertzy");
    EXPECT_EQ(predictor.user().count("qwertzy"), 0u);
}

TEST_F(PredictionTest, ForgottenWordsAreNotSuggestedUntilTypedAgain)
{
    VX_Predictor predictor(model);
    predictor.learnText("I thinking now. I thinking now. ");
    ASSERT_EQ(predictor.predict("I ", 1), Words{"thinking"});
    predictor.forget("Thinking");  // any case
    EXPECT_EQ(predictor.user().count("thinking"), 0u);
    EXPECT_EQ(joined(predictor.predict("we thi", 3)), "");
    const Words next = predictor.predict("I ", 3);
    EXPECT_EQ(std::find(next.begin(), next.end(), "thinking"), next.end()) << joined(next);
    // Typed again, it comes back.
    predictor.learnText("thinking again ");
    EXPECT_EQ(predictor.predict("we thi", 1), Words{"thinking"});
}

TEST_F(PredictionTest, EmptyModelStillOffersLearnedWords)
{
    VX_LanguageModel empty;
    VX_Predictor predictor(empty);
    EXPECT_TRUE(predictor.predict("th", 3).empty());
    predictor.learnText("thunder and lightning ");
    EXPECT_EQ(predictor.predict("a th", 3), Words{"thunder"});
}

struct BadModel {
    const char *text;
    const char *message;  // part of the one diagnostic
};

TEST(LanguageModelTest, RefusesMalformedModels)
{
    const BadModel cases[] = {
        {"", "not a vexil language model"},
        {"vexil-learned 1 en\n", "not a vexil language model"},
        {"vexil-lm 1 en\ndiscounts 0 500\n", "discounts"},
        {"vexil-lm 1 en\ndiscounts 500 500\nwords 2\n10 a\n", "expected \"<count> <word>\""},
        {"vexil-lm 1 en\ndiscounts 500 500\nwords 2\n10 a\n5 A\nbigrams 0\ntrigrams 0\n", "listed twice"},
        {"vexil-lm 1 en\ndiscounts 500 500\nwords 1\n10 a\nbigrams 1\n1 5 1:9\ntrigrams 0\n", "expected"},
        {"vexil-lm 1 en\ndiscounts 500 500\nwords 1\n10 a\nbigrams 1\n1 5 7:1\ntrigrams 0\n", "expected"},
        {"vexil-lm 1 en\ndiscounts 500 500\nwords 2\n10 a\n5 b\nbigrams 1\n1 9 2:1 1:1\ntrigrams 0\n",
         "rising word order"},
        {"vexil-lm 1 en\ndiscounts 500 500\nwords 1\n10 a\nbigrams 0\ntrigrams 0\nmore\n", "after the last"},
    };
    for (const BadModel &c : cases) {
        LogCapture log;
        VX_LanguageModel model;
        EXPECT_FALSE(model.parse(c.text, "bad.vxlm")) << c.text;
        EXPECT_TRUE(model.empty()) << c.text;
        const std::string written = log.text();
        EXPECT_NE(written.find(c.message), std::string::npos) << c.text << "\nlog: " << written;
        EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
        // An empty model answers without crashing.
        VX_Predictor predictor(model);
        EXPECT_TRUE(predictor.predict("a b", 3).empty());
    }
}

}  // namespace
