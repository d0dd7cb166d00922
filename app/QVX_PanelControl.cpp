#include "app/QVX_PanelControl.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
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

// The words of the commands on the socket, one line per connection.
struct CommandWord {
    VX_PanelOptions::Command command;
    const char *word;
};
constexpr CommandWord kWords[] = {
    {VX_PanelOptions::COMMAND_TOGGLE, "toggle"},
    {VX_PanelOptions::COMMAND_SHOW, "show"},
    {VX_PanelOptions::COMMAND_HIDE, "hide"},
    {VX_PanelOptions::COMMAND_STATUS, "status"},
};
constexpr int kBacklog = 16;         // connections the kernel holds before the panel accepts them
constexpr size_t kMaxAnswer = 4096;  // bytes of a status answer read at most

qint64 nowMs()
{
    // QElapsedTimer reads the monotonic clock.
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

// `dir` is a real folder (not a link) of this user that nobody else may
// enter.
bool isPrivateDir(const std::string &dir)
{
    struct stat info {};
    return !dir.empty() && dir[0] == '/' && lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

// The user's own runtime folder: $XDG_RUNTIME_DIR when it is private, else
// /tmp/vexil-<uid> (made when missing), which must be private too.
bool runtimeDir(std::string &dir, std::string &error)
{
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && isPrivateDir(xdg)) {
        dir = xdg;
        return true;
    }
    dir = "/tmp/vexil-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make " + dir + ": " + std::strerror(errno);
        return false;
    }
    if (!isPrivateDir(dir)) {
        error = dir + " is not a private folder of this user, nor is XDG_RUNTIME_DIR";
        return false;
    }
    return true;
}

// The Wayland socket the environment names, as the client library finds
// it: a full path as it is, a name in $XDG_RUNTIME_DIR.
std::string waylandSocketPath()
{
    const char *value = std::getenv("WAYLAND_DISPLAY");
    const std::string name = value && *value ? value : "wayland-0";
    if (name[0] == '/')
        return name;
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    return xdg && *xdg ? std::string(xdg) + "/" + name : std::string();
}

// The name of the X display, ":1.0" and ":1" alike, with '/' made '_'.
std::string x11Key()
{
    const char *value = std::getenv("DISPLAY");
    std::string name = value && *value ? value : ":0";
    const size_t colon = name.rfind(':');
    const size_t dot = name.rfind('.');
    if (colon != std::string::npos && dot != std::string::npos && dot > colon)
        name.erase(dot);
    for (char &c : name)
        if (c == '/')
            c = '_';
    return "x11-" + name;
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

bool QVX_PanelControl::locate(bool wayland, Place &place, std::string &error)
{
    std::string dir, key;
    if (wayland) {
        // The compositor is its socket: two spellings of one socket are one
        // file, of one device and inode.
        const std::string path = waylandSocketPath();
        struct stat info {};
        if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
            error = "cannot find the Wayland compositor's socket " + (path.empty() ? "(no XDG_RUNTIME_DIR)" : path);
            return false;
        }
        char id[64];
        std::snprintf(id, sizeof id, "wayland-%llx-%llx", static_cast<unsigned long long>(info.st_dev),
                      static_cast<unsigned long long>(info.st_ino));
        key = id;
        // The socket's folder by its one true name, however it was reached.
        std::string socketDir;
        if (char *real = realpath(path.substr(0, path.rfind('/')).c_str(), nullptr)) {
            socketDir = real;
            std::free(real);
        }
        if (isPrivateDir(socketDir))
            dir = socketDir;
    } else {
        key = x11Key();
    }
    if (dir.empty() && !runtimeDir(dir, error))
        return false;
    place.lock = dir + "/vexil-panel-" + key + ".lock";
    place.socket = dir + "/vexil-panel-" + key + ".socket";
    sockaddr_un address;
    if (!socketAddress(place.socket, address)) {
        error = "the path " + place.socket + " is too long for a socket";
        return false;
    }
    return true;
}

// Connects to the panel of the display and sends the word of `command`;
// the connection, or -1 with `error`.
static int sendWord(bool wayland, VX_PanelOptions::Command command, std::string &error)
{
    QVX_PanelControl::Place place;
    if (!QVX_PanelControl::locate(wayland, place, error)) {
        // No compositor there, so no panel of it either.
        struct stat info {};
        const std::string path = wayland ? waylandSocketPath() : std::string();
        if (wayland && (path.empty() || stat(path.c_str(), &info) != 0))
            error = "no panel is running on this display";
        return -1;
    }
    const char *word = nullptr;
    for (const CommandWord &w : kWords)
        if (w.command == command)
            word = w.word;
    if (!word) {
        error = "no command to send";
        return -1;
    }
    sockaddr_un address;
    socketAddress(place.socket, address);
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

bool QVX_PanelControl::send(bool wayland, VX_PanelOptions::Command command, std::string &error)
{
    const int fd = sendWord(wayland, command, error);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

bool QVX_PanelControl::ask(bool wayland, std::string &reply, std::string &error)
{
    const int fd = sendWord(wayland, VX_PanelOptions::COMMAND_STATUS, error);
    if (fd < 0)
        return false;
    reply.clear();
    char buffer[512];
    pollfd wait{fd, POLLIN, 0};
    bool ended = false;
    while (!ended && reply.size() < kMaxAnswer && poll(&wait, 1, kAnswerWaitMs) > 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
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
    for (Client &client : clients_)
        if (client.fd >= 0)
            close(client.fd);
    if (listenFd_ >= 0) {
        close(listenFd_);
        unlink(socketPath_.c_str());
    }
    if (lockFd_ >= 0)
        close(lockFd_);
}

QVX_PanelControl::Claim QVX_PanelControl::claim(bool wayland, std::string &error)
{
    Place place;
    if (!locate(wayland, place, error))
        return CLAIM_FAILED;
    socketPath_ = place.socket;
    lockFd_ = open(place.lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) {
        error = "cannot open " + place.lock + ": " + std::strerror(errno);
        return CLAIM_FAILED;
    }
    if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        error = taken ? "a panel is already running on this display"
                      : "cannot lock " + place.lock + ": " + std::strerror(errno);
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
        listen(listenFd_, kBacklog) != 0) {
        error = "cannot listen on " + socketPath_ + ": " + std::strerror(errno);
        if (listenFd_ >= 0)
            close(listenFd_);
        listenFd_ = -1;
        return CLAIM_FAILED;
    }
    notifier_ = new QSocketNotifier(listenFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { accept(); });
    deadlines_ = new QTimer(this);
    deadlines_->setSingleShot(true);
    connect(deadlines_, &QTimer::timeout, this, [this] { expire(); });
    return CLAIM_OURS;
}

void QVX_PanelControl::accept()
{
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            break;  // none left (or an error the next connection retries)
        // A free slot, else the oldest connection's: it had the longest to
        // say its line.
        Client *slot = &clients_[0];
        for (Client &client : clients_) {
            if (client.fd < 0) {
                slot = &client;
                break;
            }
            if (client.since < slot->since)
                slot = &client;
        }
        drop(*slot);
        Client &client = *slot;
        client.fd = fd;
        client.since = nowMs();
        client.deadline = client.since + kDeadlineMs;
        client.got = 0;
        client.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(client.notifier, &QSocketNotifier::activated, this, [this, &client] { read(client); });
        // The line may be there already.
        read(client);
    }
    expire();
}

void QVX_PanelControl::read(Client &client)
{
    if (client.fd < 0)
        return;
    for (;;) {
        const ssize_t n = ::read(client.fd, client.line + client.got, kLineMax - client.got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;  // more may come before the deadline
        if (n <= 0) {
            drop(client);  // closed before a whole line, or an error
            return;
        }
        client.got += static_cast<int>(n);
        const void *end = std::memchr(client.line, '\n', static_cast<size_t>(client.got));
        if (end || client.got == kLineMax)
            break;
    }
    char line[kLineMax];
    std::memcpy(line, client.line, static_cast<size_t>(client.got));
    const char *end = static_cast<const char *>(std::memchr(line, '\n', static_cast<size_t>(client.got)));
    const size_t length = end ? static_cast<size_t>(end - line) : 0;
    if (!end) {
        drop(client);  // too long for any command
        return;
    }
    for (const CommandWord &w : kWords) {
        if (length != std::strlen(w.word) || std::strncmp(line, w.word, length) != 0)
            continue;
        if (w.command == VX_PanelOptions::COMMAND_STATUS) {
            // A few short lines: they fit the socket's buffer, so the write
            // never waits for a reader.
            const std::string answer = onStatus ? onStatus() : std::string();
            const ssize_t ignored =
                ::send(client.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            (void)ignored;
        }
        // One line per connection: what comes after it is not read.
        drop(client);
        if (w.command != VX_PanelOptions::COMMAND_STATUS && onCommand)
            onCommand(w.command);
        return;
    }
    drop(client);
}

void QVX_PanelControl::drop(Client &client)
{
    if (client.fd < 0)
        return;
    // The notifier may be the sender of the signal that got here: deleted
    // once the event loop is back.
    client.notifier->setEnabled(false);
    client.notifier->deleteLater();
    client.notifier = nullptr;
    close(client.fd);
    client.fd = -1;
}

void QVX_PanelControl::expire()
{
    const qint64 now = nowMs();
    qint64 next = 0;
    for (Client &client : clients_) {
        if (client.fd < 0)
            continue;
        if (client.deadline <= now)
            drop(client);
        else if (next == 0 || client.deadline < next)
            next = client.deadline;
    }
    if (next != 0)
        deadlines_->start(static_cast<int>(next - now));
    else
        deadlines_->stop();
}
