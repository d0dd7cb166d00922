// Where a panel keeps its lock and control socket: only a private folder of
// the user's own is trusted as the runtime folder, and every spelling of one
// Wayland socket leads to one lock.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/QVX_PanelControl.h"
#include "tests/TestSupport.h"

namespace {

// Sets (or with a null value unsets) a variable for the scope, then puts
// back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        if (const char *old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char *name_;
    bool had_ = false;
    std::string old_;
};

std::string folderOf(const std::string &path) { return path.substr(0, path.rfind('/')); }

TEST(PanelControl, OnlyAPrivateFolderOfTheUsersOwnIsTheRuntimeFolder)
{
    const TempDir root;
    const std::string fallback = "/tmp/vexil-" + std::to_string(getuid());
    const std::string good = root.mkdir("good"), open = root.mkdir("open"), shared = root.mkdir("shared");
    ASSERT_EQ(chmod(good.c_str(), 0700), 0);
    ASSERT_EQ(chmod(open.c_str(), 0755), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string link = root.file("link");
    ASSERT_EQ(symlink(good.c_str(), link.c_str()), 0);
    root.write("file", "");
    ASSERT_EQ(chmod(root.file("file").c_str(), 0700), 0);
    std::string other;
    if (getuid() == 0) {
        other = root.mkdir("other");
        ASSERT_EQ(chmod(other.c_str(), 0700), 0);
        ASSERT_EQ(chown(other.c_str(), 65534, 65534), 0);
    }
    struct Case {
        const char *what;
        std::string xdg;  // empty: unset
        std::string folder;
    } cases[] = {
        {"private and ours", good, good},
        {"mode 0755", open, fallback},
        {"mode 1777, like /tmp", shared, fallback},
        {"a link to a private folder", link, fallback},
        {"a file", root.file("file"), fallback},
        {"a relative path", "good", fallback},
        {"missing", root.file("missing"), fallback},
        {"unset", "", fallback},
        {"another user's (as root only)", other, other.empty() ? "" : fallback},
    };
    ScopedEnv display("DISPLAY", ":77");
    for (const Case &c : cases) {
        if (c.folder.empty())
            continue;
        ScopedEnv xdg("XDG_RUNTIME_DIR", c.xdg.empty() ? nullptr : c.xdg.c_str());
        QVX_PanelControl::Place place;
        std::string error;
        ASSERT_TRUE(QVX_PanelControl::locate(false, place, error)) << c.what << ": " << error;
        EXPECT_EQ(folderOf(place.lock), c.folder) << c.what << " (XDG_RUNTIME_DIR=" << c.xdg << ")";
        EXPECT_EQ(folderOf(place.socket), c.folder) << c.what;
        EXPECT_NE(place.lock.find("x11-:77"), std::string::npos) << place.lock;
    }
}

TEST(PanelControl, EverySpellingOfOneWaylandSocketLeadsToOneLock)
{
    const TempDir root;
    const std::string runtime = root.mkdir("runtime");
    ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
    const std::string path = runtime + "/wayland-7";
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    const std::string shared = root.mkdir("shared");
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    struct Case {
        const char *what;
        std::string display, xdg;  // xdg empty: unset
    } cases[] = {
        {"a name in the runtime folder", "wayland-7", runtime},
        {"the full path", path, runtime},
        {"the full path, XDG_RUNTIME_DIR nowhere", path, "/nonexistent/vexil"},
        {"the full path, XDG_RUNTIME_DIR unset", path, ""},
        {"the full path, XDG_RUNTIME_DIR shared", path, shared},
        {"a name through ..", "../runtime/wayland-7", runtime},
    };
    std::string first;
    for (const Case &c : cases) {
        ScopedEnv display("WAYLAND_DISPLAY", c.display.c_str());
        ScopedEnv xdg("XDG_RUNTIME_DIR", c.xdg.empty() ? nullptr : c.xdg.c_str());
        QVX_PanelControl::Place place;
        std::string error;
        ASSERT_TRUE(QVX_PanelControl::locate(true, place, error)) << c.what << ": " << error;
        if (first.empty())
            first = place.lock;
        EXPECT_EQ(place.lock, first) << c.what << " (WAYLAND_DISPLAY=" << c.display << ")";
        EXPECT_EQ(folderOf(place.lock), runtime) << c.what;
    }
    // No socket there: no lock to take, and the panel is told why.
    ScopedEnv display("WAYLAND_DISPLAY", "wayland-none");
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.c_str());
    QVX_PanelControl::Place place;
    std::string error;
    EXPECT_FALSE(QVX_PanelControl::locate(true, place, error));
    EXPECT_NE(error.find("wayland-none"), std::string::npos) << error;
    close(fd);
}

}  // namespace
