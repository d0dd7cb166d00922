#include "app/QVX_PanelControl.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The words of the commands on the socket, one per connection.
struct CommandWord {
    QVX_Panel::Command command;
    const char *word;
};
constexpr CommandWord kWords[] = {
    {QVX_Panel::COMMAND_TOGGLE, "toggle"},
    {QVX_Panel::COMMAND_SHOW, "show"},
    {QVX_Panel::COMMAND_HIDE, "hide"},
    {QVX_Panel::COMMAND_STATUS, "status"},
};
constexpr int kReadWaitMs = 200;  // longest wait for a command's word after its connection
constexpr size_t kMaxAnswer = 4096;  // bytes of a status answer read at most

// The user's own runtime folder: $XDG_RUNTIME_DIR, else /tmp/vexil-<uid>,
// which must be a folder of this user that nobody else may enter.
bool runtimeDir(std::string &dir, std::string &error)
{
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && xdg[0] == '/') {
        dir = xdg;
        return true;
    }
    dir = "/tmp/vexil-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make " + dir + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0) {
        error = dir + " is not a private folder of this user (set XDG_RUNTIME_DIR)";
        return false;
    }
    return true;
}

bool socketAddress(const std::string &path, sockaddr_un &address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

std::string QVX_PanelControl::displayKey(bool wayland)
{
    const char *value = std::getenv(wayland ? "WAYLAND_DISPLAY" : "DISPLAY");
    std::string name = value && *value ? value : (wayland ? "wayland-0" : ":0");
    if (!wayland) {
        // ":1.0" and ":1" are the same display.
        const size_t colon = name.rfind(':');
        const size_t dot = name.rfind('.');
        if (colon != std::string::npos && dot != std::string::npos && dot > colon)
            name.erase(dot);
    }
    for (char &c : name)
        if (c == '/')
            c = '_';
    return (wayland ? "wayland-" : "x11-") + name;
}

bool QVX_PanelControl::paths(const std::string &key, std::string &lock, std::string &socket, std::string &error)
{
    std::string dir;
    if (!runtimeDir(dir, error))
        return false;
    lock = dir + "/vexil-panel-" + key + ".lock";
    socket = dir + "/vexil-panel-" + key + ".socket";
    sockaddr_un address;
    if (!socketAddress(socket, address)) {
        error = "the path " + socket + " is too long for a socket";
        return false;
    }
    return true;
}

namespace {

// A connection to the panel of `key` with `command`'s word sent; -1 with
// `error` when no panel listens there or it took no word.
int sendWord(const std::string &key, QVX_Panel::Command command, std::string &error)
{
    std::string lock, path;
    if (!QVX_PanelControl::paths(key, lock, path, error))
        return -1;
    const char *word = nullptr;
    for (const CommandWord &w : kWords)
        if (w.command == command)
            word = w.word;
    if (!word) {
        error = "no command to send";
        return -1;
    }
    sockaddr_un address;
    socketAddress(path, address);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        error = "no panel is running on this display";
        return -1;
    }
    const std::string line = std::string(word) + "\n";
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        close(fd);
        error = "the running panel did not take the command";
        return -1;
    }
    return fd;
}

}  // namespace

bool QVX_PanelControl::send(const std::string &key, QVX_Panel::Command command, std::string &error)
{
    const int fd = sendWord(key, command, error);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

bool QVX_PanelControl::ask(const std::string &key, std::string &reply, std::string &error)
{
    const int fd = sendWord(key, QVX_Panel::COMMAND_STATUS, error);
    if (fd < 0)
        return false;
    reply.clear();
    char buffer[512];
    pollfd wait{fd, POLLIN, 0};
    bool ended = false;
    while (!ended && reply.size() < kMaxAnswer && poll(&wait, 1, kAnswerWaitMs) > 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ended = true;
        else
            reply.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (!ended || reply.empty() || reply.back() != '\n') {
        error = "the running panel did not answer";
        return false;
    }
    return true;
}

QVX_PanelControl::~QVX_PanelControl()
{
    if (listenFd_ >= 0) {
        close(listenFd_);
        unlink(socketPath_.c_str());
    }
    if (lockFd_ >= 0)
        close(lockFd_);
}

QVX_PanelControl::Claim QVX_PanelControl::claim(const std::string &key, std::string &error)
{
    std::string lock;
    if (!paths(key, lock, socketPath_, error))
        return CLAIM_FAILED;
    lockFd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        error = "cannot open " + lock + ": " + std::strerror(errno);
        return CLAIM_FAILED;
    }
    if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        error = taken ? "a panel is already running on this display" : "cannot lock " + lock + ": " + std::strerror(errno);
        close(lockFd_);
        lockFd_ = -1;
        return taken ? CLAIM_TAKEN : CLAIM_FAILED;
    }
    // The lock is ours, so a socket left there is a dead panel's.
    unlink(socketPath_.c_str());
    sockaddr_un address;
    socketAddress(socketPath_, address);
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        listen(listenFd_, 4) != 0) {
        error = "cannot listen on " + socketPath_ + ": " + std::strerror(errno);
        if (listenFd_ >= 0)
            close(listenFd_);
        listenFd_ = -1;
        return CLAIM_FAILED;
    }
    notifier_ = new QSocketNotifier(listenFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { accept(); });
    return CLAIM_OURS;
}

void QVX_PanelControl::accept()
{
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;  // none left (or an error the next connection retries)
        // The word comes right after the connection; a client that sends
        // nothing is dropped after a moment, never stalls the panel.
        char buffer[16] = {};
        size_t got = 0;
        pollfd wait{fd, POLLIN, 0};
        while (got < sizeof buffer - 1 && poll(&wait, 1, kReadWaitMs) > 0) {
            const ssize_t n = read(fd, buffer + got, sizeof buffer - 1 - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
            if (std::memchr(buffer, '\n', got))
                break;
        }
        for (const CommandWord &w : kWords) {
            const size_t n = std::strlen(w.word);
            if (got != n + 1 || std::strncmp(buffer, w.word, n) != 0 || buffer[n] != '\n')
                continue;
            if (w.command == QVX_Panel::COMMAND_STATUS) {
                // A few short lines: they fit the socket's buffer, so the
                // write never waits for a reader.
                const std::string answer = onStatus ? onStatus() : std::string();
                const ssize_t ignored = ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                (void)ignored;
            } else if (onCommand) {
                onCommand(w.command);
            }
        }
        close(fd);
    }
}
