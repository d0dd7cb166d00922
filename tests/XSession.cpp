#include "tests/XSession.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

bool Child::start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                  const std::string &outPath, int keepFd)
{
    ChildOptions options;
    options.outPath = outPath;
    options.keepFd = keepFd;
    return start(argv, env, options);
}

bool Child::start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                  const ChildOptions &options)
{
    if (argv.empty())
        return false;
    int toChild[2] = {-1, -1}, fromChild[2] = {-1, -1};
    if (options.pipes && (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0))
        return false;
    // Everything the child needs is made before the fork: after it, only
    // async-signal-safe calls.
    std::vector<std::string> sets;
    std::vector<std::string> unsets;
    for (const std::string &e : env)
        (e.find('=') == std::string::npos ? unsets : sets).push_back(e);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    reaped_ = false;
    pid_ = fork();
    if (pid_ < 0)
        return false;
    if (pid_ == 0) {
        for (const std::string &name : unsets)
            unsetenv(name.c_str());
        for (std::string &e : sets)
            putenv(&e[0]);
        if (options.pipes) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
        }
        if (!options.outPath.empty()) {
            int fd = open(options.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0)
                dup2(fd, 1);
        }
        int err = options.errPath.empty() ? -1 : open(options.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0)
            err = open("/dev/null", O_WRONLY);
        if (err >= 0)
            dup2(err, 2);
        if (options.uid != (uid_t)-1) {
            if (setgroups(0, nullptr) != 0 || setgid(options.gid) != 0 || setuid(options.uid) != 0)
                _exit(126);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    if (options.pipes) {
        close(toChild[0]);
        close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
        pending_.clear();
    }
    return true;
}

bool Child::running()
{
    if (pid_ <= 0)
        return false;
    if (waitpid(pid_, &status_, WNOHANG) == 0)
        return true;
    pid_ = -1;
    reaped_ = true;
    return false;
}

void Child::closePipes()
{
    if (in_ >= 0)
        close(in_);
    if (out_ >= 0)
        close(out_);
    in_ = out_ = -1;
    pending_.clear();
}

bool Child::send(const std::string &line)
{
    if (in_ < 0)
        return false;
    const std::string all = line + "\n";
    size_t written = 0;
    while (written < all.size()) {
        const ssize_t n = write(in_, all.data() + written, all.size() - written);
        if (n <= 0)
            return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

bool Child::readLine(std::string &line, int timeoutMs)
{
    if (out_ < 0)
        return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[512];
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0)
            return false;
        pending_.append(buf, static_cast<size_t>(n));
    }
}

int Child::stop(int signal)
{
    closePipes();
    if (reaped_) {
        reaped_ = false;
        return status_;
    }
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

bool startXvfb(Child &server, std::string &display) { return startXvfb(server, display, 1024, 768); }

bool startXvfb(Child &server, std::string &display, int width, int height)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const std::string fd = std::to_string(fds[1]);
    if (!server.start({"Xvfb", "-displayfd", fd, "-screen", "0",
                       std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp"}, {},
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

// An X screen dump (xwd, ZPixmap, 3 or 4 bytes per pixel) as an image.
QImage readXwd(const std::string &data)
{
    auto card = [&](size_t i) -> uint32_t {
        const auto *p = reinterpret_cast<const unsigned char *>(data.data()) + 4 * i;
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    };
    if (data.size() < 100)
        return QImage();
    const uint32_t headerSize = card(0), format = card(2), width = card(4), height = card(5);
    const uint32_t byteOrder = card(7), bitsPerPixel = card(11), bytesPerLine = card(12);
    const uint32_t redMask = card(14), greenMask = card(15), blueMask = card(16), colours = card(19);
    const size_t start = headerSize + 12 * static_cast<size_t>(colours);
    const uint32_t stride = bitsPerPixel / 8;
    if (format != 2 || (bitsPerPixel != 24 && bitsPerPixel != 32) ||
        data.size() < start + static_cast<size_t>(bytesPerLine) * height)
        return QImage();
    auto shiftOf = [](uint32_t mask) { int s = 0; while (mask && !(mask & 1)) { mask >>= 1; ++s; } return s; };
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    for (uint32_t y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const unsigned char *>(data.data()) + start + y * bytesPerLine;
        QRgb *out = reinterpret_cast<QRgb *>(image.scanLine(static_cast<int>(y)));
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned char *p = row + stride * x;
            uint32_t v = 0;
            for (uint32_t b = 0; b < stride; ++b)
                v |= uint32_t(p[byteOrder == 0 ? b : stride - 1 - b]) << (8 * b);
            out[x] = qRgb(int((v & redMask) >> shiftOf(redMask)), int((v & greenMask) >> shiftOf(greenMask)),
                          int((v & blueMask) >> shiftOf(blueMask)));
        }
    }
    return image;
}
