// vexil-predict end to end through pipes: one answer line per input line,
// flushed before the next line is written, tabs between suggestions, an
// empty line when there is none; learning into a named file; forgetting.
#include "TestSupport.h"
#include "TinyModel.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string binDir()
{
    const char *dir = getenv("VEXIL_BIN_DIR");
    return dir ? dir : "";
}

// vexil-predict running with a pipe on each side: a line written is
// answered before the next one is, or the program does not flush.
class PredictProcess {
public:
    explicit PredictProcess(const std::vector<std::string> &args)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<char *> argv;
            const std::string program = binDir() + "/vexil-predict";
            argv.push_back(const_cast<char *>(program.c_str()));
            for (const std::string &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = fdopen(in[1], "w");
        from_ = fdopen(out[0], "r");
    }
    ~PredictProcess() { finish(); }

    // Writes one line and reads the answer line (without its line feed).
    std::string ask(const std::string &line)
    {
        fprintf(to_, "%s\n", line.c_str());
        fflush(to_);
        char *answer = nullptr;
        size_t size = 0;
        const ssize_t n = getline(&answer, &size, from_);
        std::string result = n > 0 ? std::string(answer, size_t(n)) : std::string("<no answer>");
        free(answer);
        if (!result.empty() && result.back() == '\n')
            result.pop_back();
        return result;
    }
    // Closes standard input and returns the exit status.
    int finish()
    {
        if (pid_ <= 0)
            return -1;
        if (to_)
            fclose(to_);
        to_ = nullptr;
        if (from_)
            fclose(from_);
        from_ = nullptr;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE *to_ = nullptr;
    FILE *from_ = nullptr;
};

TEST(PredictToolTest, AnswersEachLineAtOnce)
{
    Watchdog watchdog;
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    dir.write("en.vxlm", kTinyModel);
    PredictProcess predict({"--lang", "en", "--model", dir.file("en.vxlm")});
    struct Case {
        const char *line;
        const char *answer;
    };
    const Case cases[] = {
        {"we go th", "the\tthey\tthen"},
        {"go to the ", "house\tgarden\tcafé"},
        {"a cafe", "café"},
        {"we go qx", ""},
        {"", "I\tThe\tTo"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(predict.ask(c.line), c.answer) << "line: \"" << c.line << "\"";
    EXPECT_EQ(predict.finish(), 0);
}

TEST(PredictToolTest, SuggestionCountAndUsageErrors)
{
    Watchdog watchdog;
    TempDir dir;
    dir.write("en.vxlm", kTinyModel);
    {
        PredictProcess predict({"--lang", "en", "--model", dir.file("en.vxlm"), "--suggestions", "1"});
        EXPECT_EQ(predict.ask("we go th"), "the");
    }
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"--lang", "en", "--suggestions", "0"}, 2},
        {{"--lang", "en", "--suggestions", "x"}, 2},
        {{"--suggestions", "3"}, 2},
        {{"--lang", "en", "--bogus"}, 2},
        {{"--lang", "en", "--model", dir.file("missing.vxlm")}, 1},
        {{"--lang", "../../etc"}, 1},
    };
    for (const Case &c : cases) {
        PredictProcess predict(c.args);
        std::string shown;
        for (const std::string &a : c.args)
            shown += a + " ";
        EXPECT_EQ(predict.finish(), c.status) << shown;
    }
}

TEST(PredictToolTest, LearnsIntoTheNamedFileAndForgets)
{
    Watchdog watchdog;
    TempDir dir;
    dir.write("en.vxlm", kTinyModel);
    const std::string data = dir.file("learned/learned-en.txt");
    {
        PredictProcess predict({"--lang", "en", "--model", dir.file("en.vxlm"), "--learn", "--user-data", data});
        // The text grows as it is typed; each complete word is learned once.
        const char *lines[] = {"zorbl", "zorbl zo", "zorbl zorbl ", "zorbl zorbl a"};
        for (const char *line : lines)
            predict.ask(line);
        EXPECT_EQ(predict.ask("and zo"), "zorbl");
        EXPECT_EQ(predict.finish(), 0);
    }
    std::ifstream saved(data);
    std::string content((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("w 2 zorbl\n"), std::string::npos) << content;
    {
        // Without --learn the file is read but never written.
        PredictProcess predict({"--lang", "en", "--model", dir.file("en.vxlm"), "--user-data", data});
        EXPECT_EQ(predict.ask("so zo"), "zorbl");
        predict.ask("so zorbl zorbl zorbl and more words ");
        EXPECT_EQ(predict.finish(), 0);
        std::ifstream after(data);
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), content);
    }
    {
        PredictProcess forget({"--lang", "en", "--forget", "Zorbl", "--user-data", data});
        EXPECT_EQ(forget.finish(), 0);
    }
    PredictProcess predict({"--lang", "en", "--model", dir.file("en.vxlm"), "--user-data", data});
    EXPECT_EQ(predict.ask("so zo"), "");
}

}  // namespace
