// Helpers of the tests that run real programs on a real (virtual) X
// server: child processes, shell commands and an Xvfb of their own.
#ifndef VEXIL_TESTS_XSESSION_H
#define VEXIL_TESTS_XSESSION_H

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

// A child process, ended and reaped when the object goes.
class Child {
public:
    Child() = default;
    ~Child() { stop(); }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Runs argv with the extra environment; stdout to `outPath` when given,
    // stderr to /dev/null. `keepFd`: a descriptor the child inherits.
    bool start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
               const std::string &outPath = std::string(), int keepFd = -1);
    // Sends `signal`, waits up to 2 s, then kills; the wait status, or -1
    // when no child was running.
    int stop(int signal = SIGTERM);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Output of a shell command; `ok` false when it exits with a failure.
std::string shell(const std::string &command, bool *ok = nullptr);
bool haveProgram(const char *name);
// Where the built programs are ($VEXIL_BIN_DIR).
std::string binDir();
// Starts Xvfb with one 1024x768x24 screen on a free display and gives its
// name (":N") in `display`.
bool startXvfb(Child &server, std::string &display);

#endif
