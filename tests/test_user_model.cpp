// The learned words on disk: what a save keeps, the file's privacy and
// atomic replacement, the bounds, and damaged or foreign files refused with
// one message and replaced.
#include "TestSupport.h"
#include "prediction/VX_UserModel.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace {

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

int entriesIn(const std::string &dir)
{
    int n = 0;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return -1;
    while (dirent *e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n;
}

TEST(UserModelTest, SaveKeepsCountsFormsAndForgottenWordsPrivately)
{
    TempDir dir;
    const std::string folder = dir.file("data/vexil");
    const std::string path = folder + "/learned-en.txt";
    VX_UserModel model;
    ASSERT_TRUE(model.load(path, "en"));  // no file yet: empty
    model.learn("", VX_UserModel::kSentenceStart, "Hello");
    model.learn(VX_UserModel::kSentenceStart, "hello", "Zoë");
    model.learn("hello", "zoë", "again");
    model.learn("hello", "zoë", "again");
    model.forget("secret");
    ASSERT_TRUE(model.save(path));

    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(entriesIn(folder), 1) << "a temporary file was left behind";

    VX_UserModel again;
    LogCapture log;
    ASSERT_TRUE(again.load(path, "en")) << log.text();
    EXPECT_EQ(again.count("hello"), 1u);
    EXPECT_EQ(again.form("hello"), "hello");  // its capital came from the sentence start
    EXPECT_EQ(again.form("zoë"), "Zoë");
    EXPECT_EQ(again.count("again"), 2u);
    EXPECT_TRUE(again.isForgotten("secret"));
    EXPECT_GT(again.probability("again", "hello", "zoë"), again.probability("again", "", ""));
    EXPECT_EQ(log.text(), "");
}

TEST(UserModelTest, DamagedOrForeignFilesAreRefusedOnceAndReplaced)
{
    struct Case {
        const char *content;
        const char *message;
    };
    const Case cases[] = {
        {"", "empty file"},
        {"\x7f" "ELF\x02\x01\x01", "cut short"},
        {"vexil-lm 1 en\n", "not a file of learned words"},
        {"vexil-learned 1 de\nw 3 Haus\n", "another language"},
        {"vexil-learned 1 en\nw 3 house\nw 0 zero\n", "expected"},
        {"vexil-learned 1 en\nw 3 two words\n", "expected"},
        {"vexil-learned 1 en\nw 99999999999 big\n", "expected"},
        {"vexil-learned 1 en\np 2 a\n", "expected"},
        {"vexil-learned 1 en\nw 3 house\nw 2 House\n", "listed twice"},
        {"vexil-learned 1 en\nw 3 house", "cut short"},
        {"vexil-learned 1 en\nw 3 \xff\xfe\n", "expected"},
    };
    for (const Case &c : cases) {
        TempDir dir;
        const std::string path = dir.file("learned-en.txt");
        dir.write("learned-en.txt", c.content);
        VX_UserModel model;
        LogCapture log;
        EXPECT_FALSE(model.load(path, "en")) << c.content;
        EXPECT_EQ(model.wordCount(), 0u) << c.content;
        const std::vector<std::string> lines = log.lines();
        ASSERT_EQ(lines.size(), 1u) << c.content << "\nlog: " << log.text();
        EXPECT_NE(lines[0].find(c.message), std::string::npos) << c.content << "\nlog: " << lines[0];
        EXPECT_NE(lines[0].find(path), std::string::npos) << lines[0];
        EXPECT_TRUE(model.changed()) << "the next save must replace the damaged file";
        // The next save replaces it with a good file.
        model.learn("", "", "fresh");
        ASSERT_TRUE(model.save(path));
        VX_UserModel again;
        EXPECT_TRUE(again.load(path, "en")) << readAll(path);
        EXPECT_EQ(again.count("fresh"), 1u);
    }
}

TEST(UserModelTest, ADirectoryOrAnOversizedFileIsNoFileOfLearnedWords)
{
    TempDir dir;
    dir.mkdir("learned-en.txt");
    VX_UserModel model;
    LogCapture log;
    EXPECT_FALSE(model.load(dir.file("learned-en.txt"), "en"));
    EXPECT_EQ(log.lines().size(), 1u) << log.text();

    TempDir big;
    std::string text = "vexil-learned 1 en\n";
    while (text.size() <= VX_UserModel::kMaxFileBytes)
        text += "f abcdefghijklmnopqrstuvwxyz\n";
    big.write("learned-en.txt", text);
    log.clear();
    EXPECT_FALSE(model.load(big.file("learned-en.txt"), "en"));
    EXPECT_NE(log.text().find("larger"), std::string::npos) << log.text();
}

TEST(UserModelTest, StaysWithinItsBoundsKeepingFrequentWords)
{
    VX_UserModel model;
    for (int i = 0; i < 50; ++i)
        model.learn("", "", "often");
    std::string previous = VX_UserModel::kSentenceStart;
    for (size_t i = 0; i < VX_UserModel::kMaxWords + 500; ++i) {
        const std::string word = "w" + std::to_string(i);
        model.learn("", previous, word);
        previous = word;
    }
    EXPECT_LE(model.wordCount(), VX_UserModel::kMaxWords);
    EXPECT_EQ(model.count("often"), 50u);
    // What is left still saves and loads within the reader's bounds.
    TempDir dir;
    ASSERT_TRUE(model.save(dir.file("l.txt")));
    VX_UserModel again;
    EXPECT_TRUE(again.load(dir.file("l.txt"), ""));
}

TEST(UserModelTest, ForgettingDropsTheWordFromEveryPairAndTriple)
{
    VX_UserModel model;
    model.learn("", VX_UserModel::kSentenceStart, "see");
    model.learn(VX_UserModel::kSentenceStart, "see", "you");
    model.learn("see", "you", "soon");
    model.forget("YOU");
    EXPECT_EQ(model.count("you"), 0u);
    EXPECT_TRUE(model.isForgotten("you"));
    // "soon" after "see you" and "you" after "see" are gone with it.
    EXPECT_EQ(model.probability("soon", "see", "you"), model.probability("soon", "", ""));
    std::vector<std::string> next;
    model.candidates("", "", "see", next);
    EXPECT_TRUE(next.empty());
    model.learn("", "", "you");
    EXPECT_FALSE(model.isForgotten("you"));
}

TEST(UserModelTest, DefaultPathFollowsXdgDataHome)
{
    const char *oldData = getenv("XDG_DATA_HOME");
    const std::string savedData = oldData ? oldData : "";
    const char *oldHome = getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    struct Case {
        const char *data;  // nullptr: unset
        const char *home;
        const char *expected;
    };
    const Case cases[] = {
        {"/x/data", "/home/u", "/x/data/vexil/learned-en.txt"},
        {"relative", "/home/u", "/home/u/.local/share/vexil/learned-en.txt"},
        {nullptr, "/home/u", "/home/u/.local/share/vexil/learned-en.txt"},
        {nullptr, "", ""},
    };
    for (const Case &c : cases) {
        if (c.data)
            setenv("XDG_DATA_HOME", c.data, 1);
        else
            unsetenv("XDG_DATA_HOME");
        setenv("HOME", c.home, 1);
        EXPECT_EQ(VX_UserModel::defaultPath("en"), c.expected)
            << "XDG_DATA_HOME=" << (c.data ? c.data : "(unset)") << " HOME=" << c.home;
    }
    if (oldData)
        setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
