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

#include "base/RegularFile.h"
#include "base/VX_Log.h"
#include "image/VX_GifReader.h"

namespace {

// Reads a regular file of at most VX_GifReader::kMaxFileBytes whole.
bool readWholeFile(const char *path, std::unique_ptr<uint8_t[]> &bytes, size_t &size)
{
    const int fd = vxOpenRegularFile(path);
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
            if (n < 0) {
                ok = false;  // a read error is no picture, not a shorter one
                break;
            }
            if (n == 0)
                break;  // the file shrank: what was read is all there is
            done += static_cast<size_t>(n);
        }
        size = done;
    }
    ::close(fd);
    return ok;
}

// Keeps `image` as the pixmap, in its own format (an indexed picture stays
// one byte a pixel); false, with no pixmap, when it is null. No pixmap
// cache: every picture file is read once by the image lists.
bool keepPixels(std::unique_ptr<QPixmap> &pixmap, QImage image)
{
    pixmap = std::make_unique<QPixmap>(QPixmap::fromImage(std::move(image), Qt::NoFormatConversion));
    if (pixmap->isNull())
        pixmap.reset();
    return pixmap != nullptr;
}

std::unique_ptr<char[]> copyOf(const char *text)
{
    const size_t length = std::strlen(text);
    auto copy = std::make_unique<char[]>(length + 1);
    std::memcpy(copy.get(), text, length + 1);
    return copy;
}

}  // namespace

VX_Image::VX_Image() : x(-1), y(-1), width(-1), height(-1), parent(nullptr), encodedSize(0) {}

VX_Image::~VX_Image() = default;

bool VX_Image::load(const char *path)
{
    pixmap.reset();
    encoded.reset();
    encodedSize = 0;
    source.reset();
    if (!path) {
        vxLog.print("VX_Image: can't create QPixmap('%s')\n", "");
        return false;
    }
    QImage image;
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    bool kept = false;
    if (readWholeFile(path, bytes, size)) {
        if (VX_GifReader::isGif(bytes.get(), size)) {
            // A GIF whose blocks are all there waits for decode(); one that
            // ends inside its image data is decoded now, since only the
            // pixels tell whether it holds enough of them.
            VX_GifReader reader;
            bool terminated = false;
            if (reader.check(bytes.get(), size, terminated)) {
                if (terminated) {
                    encoded = std::move(bytes);
                    encodedSize = size;
                    source = copyOf(path);
                    kept = true;
                } else {
                    reader.decode(bytes.get(), size, image);
                }
            }
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
    if (!kept && !keepPixels(pixmap, std::move(image))) {
        vxLog.print("VX_Image: can't create QPixmap('%s')\n", path);
        return false;
    }
    // Only '/' separates directories; a backslash belongs to the name.
    const char *slash = std::strrchr(path, '/');
    name = copyOf(slash ? slash + 1 : path);
    return true;
}

bool VX_Image::decode()
{
    VX_Image *const root = this->root();
    if (root->pixmap)
        return true;
    if (!root->encoded)
        return false;  // never loaded, or already failed (and said so)
    QImage image;
    VX_GifReader reader;
    reader.decode(root->encoded.get(), root->encodedSize, image);
    root->encoded.reset();
    root->encodedSize = 0;
    const std::unique_ptr<char[]> path = std::move(root->source);
    // The check at load refused every file the decoder refuses: what is
    // left is memory running out.
    if (!keepPixels(root->pixmap, std::move(image))) {
        vxLog.print("VX_Image: can't allocate memory for '%s'\n", path.get());
        return false;
    }
    return true;
}

void VX_Image::cutFrom(VX_Image *source, int left, int top, int w, int h)
{
    parent = source;
    x = left;
    y = top;
    width = w;
    height = h;
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

const VX_Image *VX_Image::root() const
{
    const VX_Image *image = this;
    while (image->parent)
        image = image->parent;
    return image;
}

const char *VX_Image::rootName() const { return root()->name.get(); }

const QPixmap *VX_Image::rootPixmap() const { return root()->pixmap.get(); }
