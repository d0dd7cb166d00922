// A Wayland session of a test's own: a headless sway (no screen, software
// rendering) with one output, run as an unprivileged user since sway
// refuses root, and the clients the test starts in it as the same user.
// Each session has a runtime directory of its own, so its socket names
// never meet those of another session on the machine.
#ifndef VEXIL_TESTS_WAYLANDSESSION_H
#define VEXIL_TESTS_WAYLANDSESSION_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/XSession.h"

class WaylandSession {
public:
    // The user the compositor and its clients run as when the test runs as
    // root; created (useradd) when missing.
    static constexpr const char *kUser = "vexiltest";

    WaylandSession() = default;
    // Ends sway and removes the runtime directory.
    ~WaylandSession();
    WaylandSession(const WaylandSession &) = delete;
    WaylandSession &operator=(const WaylandSession &) = delete;

    // Starts sway with one output of width x height logical pixels at
    // `scale`, and waits until its socket and its IPC answer. False with
    // error() when it cannot.
    bool start(int width = 1024, int height = 768, int scale = 1);
    const std::string &error() const { return error_; }
    // Ends sway (SIGTERM) while its clients still run; its wait status.
    int stopCompositor() { return sway_.stop(SIGTERM); }

    // Starts `argv` as a client of the session, as the session's user, with
    // the session's environment and `env` on top of it.
    bool launch(Child &child, const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                ChildOptions options = ChildOptions());
    // The environment of a client: the runtime directory, the socket, the
    // user's home; no X display, so toolkits take Wayland.
    std::vector<std::string> env() const;

    // Output of `swaymsg <args>` (e.g. "-t get_tree"); `ok` false when it
    // fails.
    std::string swaymsg(const std::string &args, bool *ok = nullptr) const;
    // The pid of the client whose window has the keyboard focus (get_tree);
    // 0 when none has (the focus is on a workspace).
    int focusedPid() const;
    // The usable area of the focused workspace (get_workspaces): what the
    // output leaves once docks have taken their exclusive zones. False when
    // sway does not say.
    bool usableArea(int &x, int &y, int &width, int &height) const;
    // "identifier type" of every input device, one a line (get_inputs).
    std::string inputs() const;
    // Writes a PNG of the whole output to `path` (a file the session's user
    // may write, e.g. under a shared directory).
    bool screenshot(const std::string &path) const;
    // Makes `path` and everything below it the session user's, so that its
    // clients can read and write there.
    void share(const std::string &path) const;
    // `path` where the session's user can read (and run) it: the path itself
    // when every directory above it lets others through, otherwise a copy in
    // the runtime directory (a checkout under /root, say). A copied program
    // finds no files beside it.
    std::string reachable(const std::string &path) const;

    const std::string &runtimeDir() const { return runtimeDir_; }
    const std::string &display() const { return display_; }  // WAYLAND_DISPLAY
    int width() const { return width_; }
    int height() const { return height_; }

private:
    bool findUser();
    // Runs `script` on the parsed answer to `swaymsg -t <type>` (in `data`).
    std::string query(const std::string &type, const std::string &script) const;

    Child sway_;                 // the compositor
    std::string runtimeDir_;     // XDG_RUNTIME_DIR, the user's, mode 0700; removed at the end
    std::string display_;        // socket name in runtimeDir_
    std::string ipc_;            // sway's IPC socket (SWAYSOCK)
    std::string home_;           // the user's home
    std::string error_;          // why start() failed
    uid_t uid_ = (uid_t)-1;      // the session's user; -1: this process's own
    gid_t gid_ = (gid_t)-1;
    int width_ = 0, height_ = 0; // the output, logical pixels
};

// The virtual pointer of a session (vexil_wl_pointer): clicks where the
// compositor has no pointer of its own. Each command returns once the
// compositor has handled it.
class SessionPointer {
public:
    bool start(WaylandSession &session);
    bool move(int x, int y) { return command("move " + std::to_string(x) + " " + std::to_string(y)); }
    bool down() { return command("down"); }
    bool up() { return command("up"); }
    bool tap(int x, int y) { return command("tap " + std::to_string(x) + " " + std::to_string(y)); }
    // One line of the driver's commands, answered by "ok".
    bool command(const std::string &line);

private:
    Child driver_;
};

#endif
