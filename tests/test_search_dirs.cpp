// The table of layout directories: the user's own first ($XDG_DATA_HOME,
// else ~/.local/share), then the shipped layouts beside the executable.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/SearchDirs.h"

namespace {

// Sets (or, with nullopt, unsets) one environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::optional<std::string> &value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            saved_ = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (saved_)
            setenv(name_, saved_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    std::optional<std::string> saved_;
};

std::string shippedDir()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return std::string();
    const std::string path(exe, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/')) + "/../share/vexil";
}

TEST(SearchDirs, UserDirectoryThenShippedLayouts)
{
    using Dirs = std::vector<std::string>;
    const std::string shipped = shippedDir();
    ASSERT_FALSE(shipped.empty());
    const struct {
        std::optional<std::string> xdg;   // XDG_DATA_HOME; nullopt = unset
        std::optional<std::string> home;  // HOME; nullopt = unset
        Dirs expected;
    } cases[] = {
        {"/data", "/home/u", {"/data/vexil", shipped}},
        {std::nullopt, "/home/u", {"/home/u/.local/share/vexil", shipped}},
        {"", "/home/u", {"/home/u/.local/share/vexil", shipped}},
        {std::nullopt, std::nullopt, {shipped}},
        {std::nullopt, "", {shipped}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "XDG_DATA_HOME=" << c.xdg.value_or("(unset)")
                                        << " HOME=" << c.home.value_or("(unset)"));
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(platformSearchDirs(), c.expected);
    }
}

}  // namespace
