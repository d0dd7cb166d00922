// Reads one configuration file line by line into a fixed buffer, skipping
// comment ('#' in column 1) and empty lines, counting physical lines for
// positioned messages. Never allocates per line.
#ifndef VEXIL_CONFIG_VX_INPUT_H
#define VEXIL_CONFIG_VX_INPUT_H

#include <cstdint>
#include <cstdio>
#include <memory>

class VX_Input {
public:
    static constexpr int kLineSize = 256;  // buffer bytes, terminator included

    VX_Input();
    ~VX_Input();  // closes the file
    VX_Input(const VX_Input &) = delete;
    VX_Input &operator=(const VX_Input &) = delete;

    // Closes what the reader held, then opens `path` for reading. False for a
    // null path (no message) or a file that cannot be opened (message).
    bool open(const char *path);
    // Closes the file and drops the name; safe to call more than once.
    void close();
    // The next useful line (line end removed) in `buffer`, or null at the end
    // of the file (lineLength 0) or after a reported failure (lineLength -1).
    char *readLine();
    // `name`, or "some_file" when no name was kept.
    const char *displayName() const;

    FILE *file;                    // open stream, owned; null when closed
    std::unique_ptr<char[]> name;  // base name of the file, may be null
    uint32_t lineCount;            // physical lines read, all kinds counted
    int32_t lineLength;            // -1 reading/failed, 0 open/at end, else length
    bool atEnd;                    // end of file reached (true when never opened)
    char buffer[kLineSize];        // current line, NUL-terminated
};

#endif
