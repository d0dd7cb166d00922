// The one panel of a display and the commands it takes from the command
// line (--toggle, --show, --hide). Each user has a lock file and a socket
// per display in their runtime directory ($XDG_RUNTIME_DIR, else a private
// folder in /tmp): the panel that holds the lock listens on the socket,
// and a second `vexil-panel` finds the lock taken. The display is named by
// $DISPLAY (its screen number left out) on X11 and by $WAYLAND_DISPLAY on
// Wayland.
#ifndef VEXIL_APP_QVX_PANELCONTROL_H
#define VEXIL_APP_QVX_PANELCONTROL_H

#include <QObject>
#include <functional>
#include <string>

#include "app/QVX_Panel.h"

class QSocketNotifier;

class QVX_PanelControl : public QObject {
    Q_OBJECT

public:
    // What claim() found.
    enum Claim { CLAIM_OURS, CLAIM_TAKEN, CLAIM_FAILED };

    // The name of the display the panel works on, from the environment:
    // "x11-<DISPLAY>" or "wayland-<WAYLAND_DISPLAY>", with '/' made '_'.
    static std::string displayKey(bool wayland);
    // The lock file and socket of `key`, in the user's runtime folder
    // (made when missing). False with `error` when there is no private one
    // or the socket's path would be too long.
    static bool paths(const std::string &key, std::string &lock, std::string &socket, std::string &error);
    // Sends `command` to the panel of `key`. False with `error` when no
    // panel listens there.
    static bool send(const std::string &key, QVX_Panel::Command command, std::string &error);
    // Asks the panel of `key` for its status (COMMAND_STATUS) and puts its
    // answer, whole lines, into `reply`. False with `error` when no panel
    // listens there or it gives no answer within kAnswerWaitMs.
    static bool ask(const std::string &key, std::string &reply, std::string &error);
    // Longest wait for a panel's answer.
    static constexpr int kAnswerWaitMs = 2000;

    QVX_PanelControl() = default;
    ~QVX_PanelControl() override;  // gives the lock and the socket up

    // Becomes the panel of `key`: takes its lock, then listens on its
    // socket. CLAIM_TAKEN when another panel holds the lock.
    Claim claim(const std::string &key, std::string &error);

    // Called with each command a `vexil-panel --toggle` (...) sends.
    std::function<void(QVX_Panel::Command)> onCommand;
    // The answer to --status: "key: value" lines, each ending in a line feed.
    std::function<std::string()> onStatus;

private:
    void accept();

    int lockFd_ = -1;                     // holds the lock while open
    int listenFd_ = -1;                   // listening socket; -1 none
    std::string socketPath_;              // removed again when the panel ends
    QSocketNotifier *notifier_ = nullptr; // watches listenFd_; child of this
};

#endif
