// The panel's suggestions over a real board: the language a layout names,
// when the strip shows, what it offers for the text before the cursor,
// what a tap hands on, and what is learned, forgotten and kept on disk.
#include <QCoreApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "panel/QVX_Suggestions.h"
#include "prediction/VX_Predictor.h"
#include "tests/TestSupport.h"
#include "tests/TinyModel.h"

namespace {

using Words = std::vector<std::string>;

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(SuggestionsLanguage, ALayoutNamesItsLanguageByItsLeadingCode)
{
    auto hasModel = [](const std::string &code) { return code == "en" || code == "de" || code == "ell"; };
    struct Case {
        const char *name;
        const char *language;
    } cases[] = {
        {"en", "en"},     {"en-dvorak", "en"}, {"de_CH", "de"}, {"ell", "ell"}, {"de-", "de"},
        {"english", ""},  {"e", ""},           {"", ""},        {"EN", ""},     {"fr", ""},
        {"phone", ""},    {"term", ""},        {"en.x", ""},    {"enx-1", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(QVX_Suggestions::languageOf(c.name, hasModel), c.language) << "layout \"" << c.name << "\"";
}

TEST(SuggestionsLanguage, OnlyFieldsForWordsTakeSuggestions)
{
    struct Case {
        VX_Purpose purpose;
        bool isPrivate;
        bool takes;
    } cases[] = {
        {VX_PURPOSE_NORMAL, false, true},    {VX_PURPOSE_ALPHA, false, true},   {VX_PURPOSE_NAME, false, true},
        {VX_PURPOSE_NORMAL, true, false},    {VX_PURPOSE_PASSWORD, true, false}, {VX_PURPOSE_PIN, true, false},
        {VX_PURPOSE_TERMINAL, false, false}, {VX_PURPOSE_DIGITS, false, false}, {VX_PURPOSE_PHONE, false, false},
        {VX_PURPOSE_URL, false, false},      {VX_PURPOSE_EMAIL, false, false},  {VX_PURPOSE_DATE, false, false},
    };
    for (const Case &c : cases) {
        VX_Field field;
        field.focused = true;
        field.purpose = c.purpose;
        field.isPrivate = c.isPrivate;
        EXPECT_EQ(QVX_Suggestions::fieldTakesWords(field), c.takes)
            << vxPurposeName(c.purpose) << (c.isPrivate ? " private" : "");
    }
}

// A set of two basic layouts (en, mine) and the aux layout term,
// with the tiny English model in the user's folder of models.
class SuggestionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        data = dir.mkdir("data");
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        dir.mkdir("data/vexil");
        dir.mkdir("data/vexil/models");
        dir.write("data/vexil/models/en.vxlm", kTinyModel);
        learned = data + "/vexil/learned-en.txt";
        dir.writeGif("k.gif", 400, 80, 0x336699);
        dir.write("load.cfg", "en mine term\n");
        for (const char *name : {"en", "mine"})
            dir.write(std::string(name) + ".cfg", layout(false));
        dir.write("term.cfg", layout(true));
    }
    void TearDown() override { unsetenv("XDG_DATA_HOME"); }

    static std::string layout(bool aux)
    {
        return std::string("[Common]\n") + (aux ? "type 1 " : "") +
               "keys 2 mode 2 bwid 40 bhei 30\n[Layout]\nalpha switch\n[Geometry]\n(0 0) (50 0)\n"
               "[Strings]\n( a A )\n[Board]\nwid 180 hei 40 color ( 40 44 52 )\n";
    }

    void start(bool suggest = true, bool learn = true)
    {
        suggestions.reset();  // before the board it belongs to
        window = std::make_unique<QVX_Main>(std::vector<std::string>{dir.path()});
        board = window->board;
        suggestions = std::make_unique<QVX_Suggestions>(*board, suggest, learn);
        QObject::connect(suggestions.get(), &QVX_Suggestions::chosen,
                         [this](const std::string &w) { chosen.push_back(w); });
        VX_Field field;
        field.focused = true;
        suggestions->setField(field);
    }

    // The text before the cursor grows one character at a time, as typing
    // makes it, and the event loop runs after each. (A word shown and then
    // typed past is not offered again for that word: tests that look at
    // the strip set the last text at once, as a click into a field does.)
    void type(const std::string &text)
    {
        for (size_t i = 1; i <= text.size(); ++i) {
            suggestions->textChanged(text.substr(0, i));
            settle();
        }
    }
    void show(const std::string &text)
    {
        suggestions->textChanged(text);
        settle();
    }
    void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    Words shown() const
    {
        Words words;
        for (int cell = 0; cell < VX_SuggestionBar::kCells; ++cell)
            words.push_back(board->bar.word(cell));
        return words;
    }
    void tap(int x)
    {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QPointF at(x, 5);
            QMouseEvent event(type, at, board->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(board, &event);
        }
    }

    TempDir dir;
    LogCapture log;
    std::string data, learned;
    std::unique_ptr<QVX_Main> window;
    QVX_Board *board = nullptr;
    std::unique_ptr<QVX_Suggestions> suggestions;
    Words chosen;
};

TEST_F(SuggestionsTest, TheStripShowsTheModelsWordsMostLikelyInTheMiddle)
{
    start();
    EXPECT_EQ(suggestions->language(), "en");
    ASSERT_TRUE(board->barShown());
    type("I");
    type("I am going to the ");
    // The same model and text give the same ranking as the engine alone.
    VX_LanguageModel model;
    ASSERT_TRUE(model.parse(kTinyModel, "tiny"));
    VX_Predictor predictor(model);
    const Words expected = predictor.predict("I am going to the ", 3);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(shown()[1], expected[0]) << log.text();
    if (expected.size() > 1) {
        EXPECT_EQ(shown()[0], expected[1]);
    }
    // Nothing to offer: an empty strip, still shown.
    suggestions->textChanged("zzzq");
    settle();
    EXPECT_EQ(shown(), (Words{"", "", ""}));
    EXPECT_TRUE(board->barShown());
}

TEST_F(SuggestionsTest, TheStripHidesForFieldsLayoutsAndOptionsWithoutWords)
{
    start();
    struct Case {
        const char *name;
        VX_Purpose purpose;
        bool isPrivate;
        bool shown;
    } cases[] = {
        {"normal", VX_PURPOSE_NORMAL, false, true},
        {"password", VX_PURPOSE_PASSWORD, true, false},
        {"terminal", VX_PURPOSE_TERMINAL, false, false},
        {"digits", VX_PURPOSE_DIGITS, false, false},
        {"normal again", VX_PURPOSE_NORMAL, false, true},
    };
    for (const Case &c : cases) {
        VX_Field field;
        field.focused = true;
        field.purpose = c.purpose;
        field.isPrivate = c.isPrivate;
        suggestions->setField(field);
        type("th");
        EXPECT_EQ(board->barShown(), c.shown) << c.name;
        EXPECT_EQ(board->bar.empty(), !c.shown) << c.name;
        suggestions->textChanged("");
    }
    // The terminal layout hides it; the next basic layout keeps the
    // language of the one before (it names none) and shows it.
    VX_Engine::Place place;
    place.row = VX_LAYOUT_AUX;
    place.slot = board->engine.auxLayoutIndex("term");
    place.returnSlot = 0;
    board->showPlace(place);
    suggestions->layoutShown();
    EXPECT_FALSE(board->barShown());
    board->showPlace(VX_Engine::Place{VX_LAYOUT_BASIC, 1, -1});
    suggestions->layoutShown();
    EXPECT_TRUE(board->barShown());
    EXPECT_EQ(suggestions->language(), "en");

    // --no-suggest: never shown, no model loaded.
    start(false);
    EXPECT_FALSE(board->barShown());
    EXPECT_EQ(suggestions->language(), "");
}

// A set that starts on a layout named by no language shows no strip until
// one that names a language is shown; then the other keeps it.
TEST_F(SuggestionsTest, NoStripUntilALayoutNamesALanguage)
{
    dir.write("load.cfg", "mine en term\n");
    start();
    EXPECT_EQ(suggestions->language(), "");
    EXPECT_FALSE(board->barShown());
    board->showPlace(VX_Engine::Place{VX_LAYOUT_BASIC, 1, -1});
    suggestions->layoutShown();
    EXPECT_EQ(suggestions->language(), "en");
    EXPECT_TRUE(board->barShown());
    board->showPlace(VX_Engine::Place{VX_LAYOUT_BASIC, 0, -1});
    suggestions->layoutShown();
    EXPECT_EQ(suggestions->language(), "en");
    EXPECT_TRUE(board->barShown());
}

TEST_F(SuggestionsTest, ATapHandsTheWordOnAndIsLearned)
{
    start();
    type("I am thinking about the ");
    show("I am thinking about the ga");
    ASSERT_EQ(shown()[1], "garden") << log.text();
    tap(90);
    EXPECT_EQ(chosen, Words{"garden"});
    // The typing session replaces the word and adds a space.
    suggestions->textChanged("I am thinking about the garden ");
    settle();
    suggestions->save();
    EXPECT_NE(readAll(learned).find(" garden"), std::string::npos) << readAll(learned);
}

TEST_F(SuggestionsTest, CompletedWordsAreLearnedOnceAndKeptPrivate)
{
    start();
    type("the zyx zyx ");
    suggestions->textChanged("the zyx zyx");  // a Backspace
    suggestions->textChanged("the zyx zyx ");  // the space again: not learned twice
    suggestions->save();
    const std::string file = readAll(learned);
    EXPECT_NE(file.find("w 2 zyx"), std::string::npos) << file;
    EXPECT_NE(file.find("w 1 the"), std::string::npos) << file;
    struct stat st;
    ASSERT_EQ(stat(learned.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((data + "/vexil").c_str(), &st), 0);
    // A learned word is offered from its first letters.
    show("a zy");
    EXPECT_EQ(shown()[1], "zyx");
}

TEST_F(SuggestionsTest, NothingIsLearnedInAPasswordFieldOrWithoutLearning)
{
    struct Case {
        const char *name;
        bool learn;
        bool isPrivate;
    } cases[] = {{"password field", true, true}, {"--no-learn", false, false}};
    for (const Case &c : cases) {
        dir.write("data/vexil/learned-en.txt", "vexil-learned 1 en\nw 3 garden\n");
        const std::string before = readAll(learned);
        start(true, c.learn);
        VX_Field field;
        field.focused = true;
        field.isPrivate = c.isPrivate;
        suggestions->setField(field);
        type("secret words here ");
        suggestions.reset();  // the panel ends
        EXPECT_EQ(readAll(learned), before) << c.name;
    }
}

TEST_F(SuggestionsTest, AHeldSuggestionIsForgottenAndSaved)
{
    start();
    type("I am thinking about the ");
    show("I am thinking about the ga");
    ASSERT_EQ(shown()[1], "garden");
    QPointF at(90, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, board->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(board, &press);
    board->holdSuggestion();
    settle();
    EXPECT_NE(shown()[1], "garden");
    suggestions->save();
    EXPECT_NE(readAll(learned).find("f garden"), std::string::npos) << readAll(learned);
}

TEST_F(SuggestionsTest, ADamagedLearnedFileIsReportedAndReplaced)
{
    dir.write("data/vexil/learned-en.txt", "not a file of learned words\n");
    start();
    EXPECT_NE(log.text().find("learned-en.txt"), std::string::npos) << log.text();
    type("the zyx ");
    suggestions->save();
    const std::string file = readAll(learned);
    EXPECT_EQ(file.rfind("vexil-learned 1 en", 0), 0u) << file;
    EXPECT_NE(file.find("zyx"), std::string::npos) << file;
}

}  // namespace
