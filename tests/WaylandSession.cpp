#include "tests/WaylandSession.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string quoted(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The first entry of `dir` whose name starts with `prefix` and does not end
// with `notSuffix`; empty when none.
std::string entryOf(const std::string &dir, const std::string &prefix, const std::string &notSuffix)
{
    std::string found;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            const bool suffixed = name.size() >= notSuffix.size() &&
                                  name.compare(name.size() - notSuffix.size(), notSuffix.size(), notSuffix) == 0;
            if (name.compare(0, prefix.size(), prefix) == 0 && !suffixed) {
                found = name;
                break;
            }
        }
        closedir(d);
    }
    return found;
}

}  // namespace

WaylandSession::~WaylandSession()
{
    sway_.stop(SIGTERM);
    if (!runtimeDir_.empty())
        shell("rm -rf " + quoted(runtimeDir_));
}

bool WaylandSession::findUser()
{
    if (getuid() != 0) {
        // Not root: the session is this user's own.
        const passwd *self = getpwuid(getuid());
        home_ = self && self->pw_dir ? self->pw_dir : "/tmp";
        return true;
    }
    const passwd *user = getpwnam(kUser);
    if (!user) {
        // Another test may be creating it at the same moment: look again
        // whatever useradd says.
        shell(std::string("useradd -m ") + kUser + " 2>&1");
        user = getpwnam(kUser);
    }
    if (!user) {
        error_ = std::string("cannot create the user ") + kUser + " (useradd)";
        return false;
    }
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
    home_ = user->pw_dir;
    return true;
}

bool WaylandSession::start(int width, int height, int scale)
{
    width_ = width;
    height_ = height;
    if (!haveProgram("sway") || !haveProgram("swaymsg")) {
        error_ = "sway is missing (make deps installs it)";
        return false;
    }
    if (!findUser())
        return false;
    char dir[] = "/tmp/vexil-wayland-XXXXXX";
    if (!mkdtemp(dir)) {
        error_ = "cannot make a runtime directory";
        return false;
    }
    runtimeDir_ = dir;
    share(runtimeDir_);
    chmod(runtimeDir_.c_str(), 0700);

    // No bar, no borders, no X server; the focus moves only when a test
    // asks, never under the pointer.
    const std::string config = runtimeDir_ + "/sway.config";
    {
        std::ofstream out(config);
        out << "output HEADLESS-1 resolution " << width * scale << "x" << height * scale << " scale " << scale
            << "\n"
            << "xwayland disable\n"
            << "default_border none\n"
            << "focus_follows_mouse no\n"
            << "mouse_warping none\n";
    }
    share(config);
    ChildOptions options;
    options.errPath = runtimeDir_ + "/sway.log";
    options.uid = uid_;
    options.gid = gid_;
    std::vector<std::string> environment = env();
    environment.insert(environment.end(), {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                                           "WAYLAND_DISPLAY", "SWAYSOCK", "I3SOCK"});
    if (!sway_.start({"sway", "-c", config}, environment, options)) {
        error_ = "cannot start sway";
        return false;
    }
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < until) {
        if (!sway_.running()) {
            error_ = "sway ended at start; its log:\n" + shell("cat " + quoted(options.errPath));
            return false;
        }
        if (display_.empty())
            display_ = entryOf(runtimeDir_, "wayland-", ".lock");
        if (ipc_.empty()) {
            const std::string name = entryOf(runtimeDir_, "sway-ipc.", "~");
            if (!name.empty())
                ipc_ = runtimeDir_ + "/" + name;
        }
        bool ok = false;
        if (!display_.empty() && !ipc_.empty()) {
            swaymsg("-t get_version", &ok);
            if (ok)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = "sway did not answer within 20 s; its log:\n" + shell("cat " + quoted(options.errPath));
    return false;
}

std::vector<std::string> WaylandSession::env() const
{
    std::vector<std::string> out = {"XDG_RUNTIME_DIR=" + runtimeDir_, "HOME=" + home_, "DISPLAY", "XDG_CONFIG_HOME",
                                    "XDG_DATA_HOME", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM",
                                    "XDG_SESSION_TYPE=wayland", "GDK_BACKEND=wayland", "GSK_RENDERER=cairo",
                                    "NO_AT_BRIDGE=1", "LC_ALL=C.UTF-8"};
    if (!display_.empty())
        out.push_back("WAYLAND_DISPLAY=" + display_);
    if (!ipc_.empty())
        out.push_back("SWAYSOCK=" + ipc_);
    if (uid_ != (uid_t)-1) {
        out.push_back(std::string("USER=") + kUser);
        out.push_back(std::string("LOGNAME=") + kUser);
    }
    return out;
}

bool WaylandSession::launch(Child &child, const std::vector<std::string> &argv, const std::vector<std::string> &extra,
                            ChildOptions options)
{
    std::vector<std::string> environment = env();
    environment.insert(environment.end(), extra.begin(), extra.end());
    options.uid = uid_;
    options.gid = gid_;
    return child.start(argv, environment, options);
}

std::string WaylandSession::swaymsg(const std::string &args, bool *ok) const
{
    return shell("SWAYSOCK=" + quoted(ipc_) + " swaymsg " + args + " 2>/dev/null", ok);
}

// The answers of swaymsg are JSON: the system's Python reads them.
std::string WaylandSession::query(const std::string &type, const std::string &script) const
{
    return shell("SWAYSOCK=" + quoted(ipc_) + " swaymsg -r -t " + type + " 2>/dev/null | /usr/bin/python3 -c " +
                 quoted("import json, sys\ndata = json.load(sys.stdin)\n" + script) + " 2>&1");
}

int WaylandSession::focusedPid() const
{
    const std::string out = query("get_tree",
                                  "def walk(node):\n"
                                  "    if node.get('focused'):\n"
                                  "        print(node.get('pid', 0)); sys.exit(0)\n"
                                  "    for child in node.get('nodes', []) + node.get('floating_nodes', []):\n"
                                  "        walk(child)\n"
                                  "walk(data)\nprint(0)\n");
    return std::atoi(out.c_str());
}

bool WaylandSession::usableArea(int &x, int &y, int &width, int &height) const
{
    const std::string out = query("get_workspaces",
                                  "for ws in data:\n"
                                  "    if ws.get('focused'):\n"
                                  "        r = ws['rect']; print(r['x'], r['y'], r['width'], r['height'])\n");
    return std::sscanf(out.c_str(), "%d %d %d %d", &x, &y, &width, &height) == 4;
}

std::string WaylandSession::inputs() const
{
    return query("get_inputs", "for device in data:\n    print(device['identifier'], device['type'])\n");
}

bool WaylandSession::screenshot(const std::string &path) const
{
    Child grim;
    WaylandSession &self = const_cast<WaylandSession &>(*this);
    if (!self.launch(grim, {"grim", path}))
        return false;
    for (int i = 0; i < 200 && grim.running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int status = grim.stop(SIGKILL);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WaylandSession::share(const std::string &path) const
{
    if (uid_ == (uid_t)-1)
        return;
    shell("chown -R " + std::to_string(uid_) + ":" + std::to_string(gid_) + " " + quoted(path));
}

std::string WaylandSession::reachable(const std::string &path) const
{
    if (uid_ == (uid_t)-1 || path.empty() || path[0] != '/')
        return path;
    bool open = true;
    struct stat info;
    for (size_t slash = path.find('/', 1); open && slash != std::string::npos; slash = path.find('/', slash + 1))
        open = stat(path.substr(0, slash).c_str(), &info) == 0 && (info.st_mode & S_IXOTH);
    if (open && stat(path.c_str(), &info) == 0 && (info.st_mode & S_IROTH))
        return path;
    const std::string copy = runtimeDir_ + "/" + path.substr(path.rfind('/') + 1);
    shell("cp -p " + quoted(path) + " " + quoted(copy));
    share(copy);
    return copy;
}

bool SessionPointer::start(WaylandSession &session)
{
    ChildOptions options;
    options.pipes = true;
    if (!session.launch(driver_,
                        {session.reachable(binDir() + "/vexil_wl_pointer"), std::to_string(session.width()),
                         std::to_string(session.height())},
                        {}, options))
        return false;
    std::string line;
    return driver_.readLine(line) && line == "ready";
}

bool SessionPointer::command(const std::string &line)
{
    std::string answer;
    return driver_.send(line) && driver_.readLine(answer) && answer == "ok";
}
