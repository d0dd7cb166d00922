#include "base/SearchDirs.h"

#include <cstdlib>
#include <unistd.h>

namespace {

// Directory of the running executable, or "" when it cannot be read.
std::string executableDir()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    buf[n] = '\0';
    std::string exe(buf);
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

}  // namespace

std::vector<std::string> platformSearchDirs()
{
    std::vector<std::string> dirs;
    const char *xdg = getenv("XDG_DATA_HOME");
    if (xdg && *xdg) {
        dirs.push_back(std::string(xdg) + "/vexil");
    } else {
        const char *home = getenv("HOME");
        if (home && *home)
            dirs.push_back(std::string(home) + "/.local/share/vexil");
    }
    std::string exeDir = executableDir();
    if (!exeDir.empty())
        dirs.push_back(exeDir + "/../share/vexil");
    return dirs;
}
