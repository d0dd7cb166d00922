#include "bench/StartupProbe.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

long long monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The environment of this process with the two variables the probe needs
// replaced.
std::vector<std::string> probeEnvironment(const std::string &dataHome)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) == 0 || std::strncmp(*e, "XDG_DATA_HOME=", 14) == 0)
            continue;
        env.emplace_back(*e);
    }
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("XDG_DATA_HOME=" + dataHome);
    return env;
}

}  // namespace

bool runStartupProbe(const std::string &program, const std::vector<std::string> &args,
                     const std::string &dataHome, int timeoutMs,
                     StartupSample &sample, std::string &error)
{
    std::vector<std::string> env = probeEnvironment(dataHome);
    std::vector<char *> envp;
    for (std::string &s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    pid_t pid = 0;
    const long long started = monotonicNs();
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        error = "cannot start " + program + ": " + std::strerror(rc);
        return false;
    }

    // Everything the probe writes (the program's own diagnostics included),
    // until it closes its output or the time is up.
    std::string text;
    bool timedOut = false;
    for (;;) {
        long long leftMs = timeoutMs - (monotonicNs() - started) / 1000000;
        if (leftMs <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(leftMs));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            timedOut = n == 0;
            break;
        }
        char buf[4096];
        ssize_t got = read(out[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buf, static_cast<size_t>(got));
    }
    close(out[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        error = program + " did not paint within " + std::to_string(timeoutMs) + " ms";
        return false;
    }

    size_t at = text.find("first-paint ");
    long long paintedNs = 0;
    long peak = 0;
    if (at == std::string::npos ||
        std::sscanf(text.c_str() + at, "first-paint %lld %ld", &paintedNs, &peak) != 2) {
        error = program + " reported no paint";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = program + " did not exit cleanly";
        return false;
    }
    sample.milliseconds = static_cast<double>(paintedNs - started) / 1e6;
    sample.peakKiB = peak;
    return true;
}
