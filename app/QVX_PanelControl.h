// The one panel of a display and the commands it takes from the command
// line (--toggle, --show, --hide, --status). Each user has a lock file and a socket
// per display in a private folder of theirs: the panel that holds the lock
// listens on the socket, and a second `vexil-panel` finds the lock taken.
//
// The display is named by $DISPLAY (its screen number left out) on X11. On
// Wayland it is the compositor's socket itself, however $WAYLAND_DISPLAY
// spells it (a name in $XDG_RUNTIME_DIR or a full path): the lock is named
// after the socket file's device and inode and lies in the folder of that
// socket when the folder is the user's own and private, so panels started
// with different environments still meet at one lock. The private folder
// is otherwise $XDG_RUNTIME_DIR when it is a folder of this user that
// nobody else may enter (mode 0700), else /tmp/vexil-<uid> under the same
// rule.
//
// Nothing a client of the socket does makes the panel wait: connections
// and reads are non-blocking, each connection has kDeadlineMs from its
// accept to send its line and is dropped after that, and at most
// kMaxClients are open at once (a new one drops the oldest).
#ifndef VEXIL_APP_QVX_PANELCONTROL_H
#define VEXIL_APP_QVX_PANELCONTROL_H

#include <QObject>
#include <functional>
#include <string>

#include "panel/VX_PanelOptions.h"

class QSocketNotifier;
class QTimer;

class QVX_PanelControl : public QObject {
    Q_OBJECT

public:
    // What claim() found.
    enum Claim { CLAIM_OURS, CLAIM_TAKEN, CLAIM_FAILED };

    static constexpr int kMaxClients = 8;      // connections read at once
    static constexpr int kDeadlineMs = 1000;   // from a connection's accept to its whole line
    static constexpr int kLineMax = 32;        // bytes of a command line, line feed included

    // The lock file and socket of the display the environment names.
    struct Place {
        std::string lock;    // full path
        std::string socket;  // full path, short enough for a socket address
    };
    // Where the panel of the display keeps its lock and socket (the private
    // folder made when missing). False with `error` when there is no
    // private folder, the Wayland socket cannot be found, or the socket's
    // path would be too long.
    static bool locate(bool wayland, Place &place, std::string &error);
    // Sends `command` to the panel of the display. False with `error` when
    // no panel listens there.
    static bool send(bool wayland, VX_PanelOptions::Command command, std::string &error);
    // Asks the panel of the display for its status (COMMAND_STATUS) and
    // puts its answer, whole lines, into `reply`. False with `error` when no
    // panel listens there or it gives no answer within kAnswerWaitMs.
    static bool ask(bool wayland, std::string &reply, std::string &error);
    // Longest wait for a panel's answer.
    static constexpr int kAnswerWaitMs = 2000;

    QVX_PanelControl() = default;
    ~QVX_PanelControl() override;  // gives the lock and the socket up

    // Becomes the panel of the display: takes its lock, then listens on
    // its socket. CLAIM_TAKEN when another panel holds the lock.
    Claim claim(bool wayland, std::string &error);

    // Called with each command a `vexil-panel --toggle` (...) sends.
    std::function<void(VX_PanelOptions::Command)> onCommand;
    // The answer to --status: "key: value" lines, each ending in a line feed.
    std::function<std::string()> onStatus;

private:
    struct Client {
        int fd = -1;                          // -1: slot free
        QSocketNotifier *notifier = nullptr;  // watches fd; child of the control
        qint64 deadline = 0;                  // steady ms after which it is dropped
        qint64 since = 0;                     // steady ms of its accept: the oldest goes first
        char line[kLineMax] = {};             // bytes read so far
        int got = 0;                          // bytes in line, < kLineMax
    };

    void accept();
    void read(Client &client);
    void drop(Client &client);
    // Drops every client past its deadline and arms the timer for the next.
    void expire();

    int lockFd_ = -1;                     // holds the lock while open
    int listenFd_ = -1;                   // listening socket; -1 none
    std::string socketPath_;              // removed again when the panel ends
    QSocketNotifier *notifier_ = nullptr; // watches listenFd_; child of this
    QTimer *deadlines_ = nullptr;         // fires at the earliest client deadline; child of this
    Client clients_[kMaxClients];         // open connections
};

#endif
