#include "tests/XSession.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

bool Child::start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                  const std::string &outPath, int keepFd)
{
    pid_ = fork();
    if (pid_ < 0)
        return false;
    if (pid_ == 0) {
        for (const std::string &e : env)
            putenv(strdup(e.c_str()));
        if (!outPath.empty()) {
            int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0)
                dup2(fd, 1);
        }
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, 2);
        (void)keepFd;
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return true;
}

int Child::stop(int signal)
{
    if (pid_ <= 0)
        return -1;
    kill(pid_, signal);
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 40 && (done = waitpid(pid_, &status, WNOHANG)) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (done == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return status;
}

std::string shell(const std::string &command, bool *ok)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (ok)
            *ok = false;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    const int status = pclose(pipe);
    if (ok)
        *ok = status == 0;
    return out;
}

bool haveProgram(const char *name) { return !shell(std::string("command -v ") + name).empty(); }

std::string binDir()
{
    const char *dir = std::getenv("VEXIL_BIN_DIR");
    return dir ? dir : ".";
}

bool startXvfb(Child &server, std::string &display)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const std::string fd = std::to_string(fds[1]);
    if (!server.start({"Xvfb", "-displayfd", fd, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {},
                      std::string(), fds[1]))
        return false;
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until && number.find('\n') == std::string::npos) {
        if (poll(&p, 1, 100) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1)
                break;
            number += c;
        }
    }
    close(fds[0]);
    if (number.empty() || number.find('\n') == std::string::npos)
        return false;
    display = ":" + number.substr(0, number.find('\n'));
    return true;
}
