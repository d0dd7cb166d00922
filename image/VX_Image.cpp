#include "image/VX_Image.h"

#include <QFile>
#include <QPixmap>
#include <cstring>

#include "app/VX_Log.h"

VX_Image::VX_Image() : x(-1), y(-1), width(-1), height(-1), parent(nullptr) {}

VX_Image::~VX_Image() = default;

bool VX_Image::load(const char *path)
{
    pixmap.reset();
    if (!path) {
        vxLog.print("VX_Image: can't create QPixmap('%s')\n", "");
        return false;
    }
    // The file's format is detected from its contents.
    pixmap = std::make_unique<QPixmap>(QFile::decodeName(path));
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
    return hasName(wanted) && x == left && y == top && width == w && height == h;
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
