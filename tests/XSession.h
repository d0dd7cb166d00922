// Helpers of the tests that run real programs on a real (virtual) X
// server: child processes, shell commands and an Xvfb of their own.
#ifndef VEXIL_TESTS_XSESSION_H
#define VEXIL_TESTS_XSESSION_H

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

class QImage;

// How a child process is started beyond its arguments.
struct ChildOptions {
    std::string outPath;      // its stdout, when not empty
    std::string errPath;      // its stderr, when not empty; /dev/null otherwise
    int keepFd = -1;          // a descriptor it inherits
    bool pipes = false;       // stdin and stdout are pipes: Child::send() and readLine()
    uid_t uid = (uid_t)-1;    // runs as this user (and gid) when set: root only
    gid_t gid = (gid_t)-1;
};

// A child process, ended and reaped when the object goes.
class Child {
public:
    Child() = default;
    ~Child() { stop(); }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Runs argv with the extra environment ("NAME=value" sets, a bare
    // "NAME" unsets); stdout to `outPath` when given, stderr to /dev/null.
    // `keepFd`: a descriptor the child inherits.
    bool start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
               const std::string &outPath = std::string(), int keepFd = -1);
    bool start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
               const ChildOptions &options);
    // Sends `signal`, waits up to 2 s, then kills; the wait status (also
    // of a child that running() found ended), or -1 when none was started.
    int stop(int signal = SIGTERM);
    // Still running; a child found ended is reaped and its status kept for
    // stop().
    bool running();
    pid_t pid() const { return pid_; }

    // With ChildOptions::pipes: writes `line` and a line feed to its stdin;
    // reads one line of its stdout (without the line feed), waiting up to
    // `timeoutMs`. False when the pipe is closed or the time is up.
    bool send(const std::string &line);
    bool readLine(std::string &line, int timeoutMs = 10000);

private:
    void closePipes();

    pid_t pid_ = -1;
    bool reaped_ = false;  // running() reaped it; status_ holds its wait status
    int status_ = 0;
    int in_ = -1;          // write end of its stdin; owned
    int out_ = -1;         // read end of its stdout; owned
    std::string pending_;  // read from out_, not yet a whole line
};

// Output of a shell command; `ok` false when it exits with a failure.
std::string shell(const std::string &command, bool *ok = nullptr);
bool haveProgram(const char *name);
// Where the built programs are ($VEXIL_BIN_DIR).
std::string binDir();
// Starts Xvfb with one 1024x768x24 screen on a free display and gives its
// name (":N") in `display`.
bool startXvfb(Child &server, std::string &display);
// The same with one width x height x 24 screen.
bool startXvfb(Child &server, std::string &display, int width, int height);
// An X screen dump (xwd, ZPixmap, 3 or 4 bytes per pixel) as an image; a
// null image when the dump is of another kind or cut short.
QImage readXwd(const std::string &data);

#endif
