#include "image/VX_Image.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "app/VX_Log.h"
#include "image/VX_GifReader.h"

namespace {

// Reads a regular file of at most VX_GifReader::kMaxFileBytes whole.
bool readWholeFile(const char *path, std::unique_ptr<uint8_t[]> &bytes, size_t &size)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0
              && static_cast<uint64_t>(info.st_size) <= VX_GifReader::kMaxFileBytes;
    if (ok) {
        size = static_cast<size_t>(info.st_size);
        bytes.reset(new (std::nothrow) uint8_t[size + 1]);
        ok = bytes != nullptr;
        size_t done = 0;
        while (ok && done < size) {
            const ssize_t n = ::read(fd, bytes.get() + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;  // the file shrank: what was read is all there is
            done += static_cast<size_t>(n);
        }
        size = done;
    }
    ::close(fd);
    return ok;
}

}  // namespace

VX_Image::VX_Image() : x(-1), y(-1), width(-1), height(-1), parent(nullptr) {}

VX_Image::~VX_Image() = default;

bool VX_Image::load(const char *path)
{
    pixmap.reset();
    if (!path) {
        vxLog.print("VX_Image: can't create QPixmap('%s')\n", "");
        return false;
    }
    QImage image;
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    if (readWholeFile(path, bytes, size)) {
        if (VX_GifReader::isGif(bytes.get(), size)) {
            VX_GifReader reader;
            reader.decode(bytes.get(), size, image);
        } else {
            // Other formats: the toolkit detects the format from the contents.
            QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.get()),
                                                      static_cast<qsizetype>(size));
            QBuffer buffer(&data);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer);
            image = reader.read();
        }
    }
    // Kept in the decoded format: an indexed picture stays one byte a pixel.
    // No pixmap cache: every picture file is read once by the image lists.
    pixmap = std::make_unique<QPixmap>(QPixmap::fromImage(std::move(image), Qt::NoFormatConversion));
    if (pixmap->isNull()) {
        vxLog.print("VX_Image: can't create QPixmap('%s')\n", path);
        return false;
    }
    // Only '/' separates directories; a backslash belongs to the name.
    const char *slash = std::strrchr(path, '/');
    const char *base = slash ? slash + 1 : path;
    size_t length = std::strlen(base);
    name = std::make_unique<char[]>(length + 1);
    std::memcpy(name.get(), base, length + 1);
    return true;
}

bool VX_Image::cutFrom(VX_Image *source, int left, int top, int w, int h)
{
    parent = source;
    x = left;
    y = top;
    width = w;
    height = h;
    return true;
}

bool VX_Image::hasName(const char *wanted) const
{
    const char *own = rootName();
    // An image that never loaded has no name and matches nothing.
    return wanted && own && std::strcmp(own, wanted) == 0;
}

bool VX_Image::isPiece(const char *wanted, int left, int top, int w, int h) const
{
    // The rectangle first: a cache walk compares many pieces, and four
    // integers are far cheaper than following the parent to a name.
    return x == left && y == top && width == w && height == h && hasName(wanted);
}

const char *VX_Image::rootName() const
{
    const VX_Image *image = this;
    while (image->parent)
        image = image->parent;
    return image->name.get();
}

const QPixmap *VX_Image::rootPixmap() const
{
    const VX_Image *image = this;
    while (image->parent)
        image = image->parent;
    return image->pixmap.get();
}
