#include "fuzz/FuzzFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

FuzzDir::FuzzDir()
{
    char shm[] = "/dev/shm/vexil-fuzz-XXXXXX";
    char tmp[] = "/tmp/vexil-fuzz-XXXXXX";
    const char *made = mkdtemp(shm);
    if (!made)
        made = mkdtemp(tmp);
    if (!made) {
        std::perror("vexil fuzz: mkdtemp");
        std::abort();
    }
    path_ = made;
}

FuzzDir::~FuzzDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void FuzzDir::clear() const
{
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(path_, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

bool FuzzDir::write(const std::string &name, const uint8_t *data, size_t size) const
{
    std::string file = path_ + "/" + name;
    FILE *out = std::fopen(file.c_str(), "wb");
    if (!out)
        return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && ok;
}

bool isSafeFileName(const std::string &name)
{
    if (name.empty() || name.size() > 40 || name[0] == '.')
        return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}
