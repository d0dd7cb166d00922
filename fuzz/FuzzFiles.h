// Shared by the fuzz targets: a private scratch directory the input's files
// are written into, emptied before every run.
#ifndef VEXIL_FUZZ_FUZZFILES_H
#define VEXIL_FUZZ_FUZZFILES_H

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzDir {
public:
    // Makes a fresh directory under /dev/shm (else /tmp); removed at exit.
    FuzzDir();
    ~FuzzDir();
    FuzzDir(const FuzzDir &) = delete;
    FuzzDir &operator=(const FuzzDir &) = delete;

    const std::string &path() const { return path_; }
    // Removes every file written since the last call.
    void clear() const;
    // Writes `size` bytes to "<dir>/<name>"; false when that fails.
    bool write(const std::string &name, const uint8_t *data, size_t size) const;

private:
    std::string path_;
};

// A file name the fuzz input may choose: 1 to 40 characters of letters,
// digits, '_', '-' and '.', not starting with '.'. Nothing else can reach
// outside the scratch directory.
bool isSafeFileName(const std::string &name);

#endif
