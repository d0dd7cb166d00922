#include "config/VX_Input.h"

#include <cstring>
#include <new>
#include <unistd.h>

#include "base/RegularFile.h"
#include "base/VX_Log.h"
#include "base/VX_Utf8.h"

// Byte-wise reading without a lock per byte where the C library offers it.
// The reader is used by one thread only; the stream is locked once per line.
#if defined(_POSIX_C_SOURCE) || defined(__unix__) || defined(__APPLE__)
#define VX_GETC(f) getc_unlocked(f)
#define VX_LOCK(f) flockfile(f)
#define VX_UNLOCK(f) funlockfile(f)
#else
#define VX_GETC(f) getc(f)
#define VX_LOCK(f) ((void)0)
#define VX_UNLOCK(f) ((void)0)
#endif

namespace {

// Consumes a UTF-8 byte-order mark (EF BB BF) at the start of the stream;
// editors write one, and it belongs to no line. Bytes that turn out not to
// be a mark are kept: all but the last are put into `buffer`, the last one
// is pushed back. Returns how many bytes it put into `buffer` (0 to 2).
int skipByteOrderMark(FILE *file, char *buffer)
{
    int kept = 0;
    for (const char *mark = kUtf8ByteOrderMark; *mark != '\0'; ++mark) {
        const int c = VX_GETC(file);
        if (c != static_cast<unsigned char>(*mark)) {
            if (c != EOF)
                ungetc(c, file);
            return kept;
        }
        buffer[kept++] = static_cast<char>(c);
    }
    return 0;
}

}  // namespace

VX_Input::VX_Input() : file(nullptr), name(), lineCount(0), lineLength(0), atEnd(true)
{
    buffer[0] = '\0';
}

VX_Input::~VX_Input() { close(); }

bool VX_Input::open(const char *path)
{
    close();
    // Until the file is open the reader counts as failed: a read from it
    // gives no line.
    atEnd = false;
    lineLength = -1;
    // Nothing of an earlier file survives in the line buffer, so a cursor
    // left anywhere in it by a tokenizer sees the end of a line.
    memset(buffer, 0, sizeof buffer);
    if (!path)
        return false;

    const char *slash = strrchr(path, '/');
    const char *base = slash ? slash + 1 : path;
    size_t len = strlen(base);
    char *copy = new (std::nothrow) char[len + 1];
    if (copy) {
        memcpy(copy, base, len + 1);
        name.reset(copy);
    } else {
        vxLog.print("VX_Input: can't allocate memory\n");
    }

    lineCount = 0;
    // Only a regular file is read; anything else counts as one that cannot
    // be opened, and nothing waits on it.
    const int fd = vxOpenRegularFile(path);
    file = fd >= 0 ? fdopen(fd, "r") : nullptr;
    if (!file) {
        if (fd >= 0)
            ::close(fd);
        vxLog.print("VX_Input: can't open '%s'\n", path);
        return false;
    }
    atEnd = false;
    lineLength = 0;
    return true;
}

void VX_Input::close()
{
    if (file) {
        fclose(file);
        file = nullptr;
    }
    name.reset();
}

const char *VX_Input::displayName() const { return name ? name.get() : "some_file"; }

char *VX_Input::readLine()
{
    if (atEnd || lineLength == -1)
        return nullptr;
    if (!file) {  // closed or never opened: nothing to deliver
        lineLength = -1;
        return nullptr;
    }

    VX_LOCK(file);
    for (;;) {
        lineLength = -1;
        // Like fgets with a limit of kLineSize - 1 bytes, but counting the
        // bytes so that a NUL inside the line is seen.
        int n = lineCount == 0 ? skipByteOrderMark(file, buffer) : 0;
        int c = 0;
        bool hasNul = false;
        while (n < kLineSize - 1) {
            c = VX_GETC(file);
            if (c == EOF)
                break;
            buffer[n++] = static_cast<char>(c);
            if (c == '\n')
                break;
            if (c == '\0')
                hasNul = true;
        }
        buffer[n] = '\0';

        if (c == EOF && ferror(file)) {
            VX_UNLOCK(file);
            vxLog.print("VX_Input: '%s': read error (readed %u lines)\n", displayName(),
                        static_cast<unsigned>(lineCount));
            return nullptr;
        }
        if (n == 0) {  // end of the file
            VX_UNLOCK(file);
            lineLength = 0;
            atEnd = true;
            return nullptr;
        }

        ++lineCount;
        if (hasNul) {
            // Not a text line: refuse it rather than cut it short or call it
            // too long.
            VX_UNLOCK(file);
            vxLog.print("VX_Input: '%s': line %u holds a NUL byte\n", displayName(),
                        static_cast<unsigned>(lineCount));
            lineLength = -1;
            return nullptr;
        }

        if (buffer[n - 1] == '\n') {
            --n;
            if (n > 0 && buffer[n - 1] == '\r')
                --n;
            buffer[n] = '\0';
        } else if (c != EOF) {
            // The buffer filled up before a line end: the end-of-file
            // indicator is not set, so the line goes on.
            VX_UNLOCK(file);
            vxLog.print("VX_Input: '%s': line %u too long\n", displayName(),
                        static_cast<unsigned>(lineCount));
            lineLength = -1;
            return nullptr;
        }
        // else: last line of the file without a line end, accepted unchanged.
        lineLength = n;

        if (n == 0 || buffer[0] == '#')
            continue;  // empty line or comment: counted, skipped
        VX_UNLOCK(file);
        return buffer;
    }
}
