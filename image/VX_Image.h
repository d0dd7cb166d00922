// A picture of the keyboard: either a whole picture loaded from a file, or a
// piece (a rectangle) of another image that owns no pixels of its own.
//
// A GIF file is checked when it loads but decoded only when decode() is
// first called: until then the image keeps the file's bytes (compressed,
// far smaller than the pixels) and has no pixmap. The check refuses every
// file the decoder would refuse, so a picture that loads always decodes
// (memory permitting): when it is decoded cannot be seen from outside.
#ifndef VEXIL_IMAGE_VX_IMAGE_H
#define VEXIL_IMAGE_VX_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

class QPixmap;

class VX_Image {
public:
    VX_Image();
    ~VX_Image();  // deletes pixmap and name; never touches the parent
    VX_Image(const VX_Image &) = delete;
    VX_Image &operator=(const VX_Image &) = delete;

    // Loads a whole picture; the name becomes the part of `path` after the
    // last '/'. False (with a message) when the file holds no picture. A
    // GIF is only checked here (its structure up to the end of the image
    // data) and kept encoded; other formats are decoded at once.
    bool load(const char *path);
    // Decodes the root image's kept bytes into its pixmap and frees them;
    // true when the root has its pixels. Once only: later calls, and calls
    // on a decoded picture, cost a pointer walk. Damaged image data is
    // drawn as far as it goes; only memory running out leaves the pixmap
    // null, with a message.
    bool decode();
    // Makes this image the rectangle (x, y, width, height) of `parent`.
    void cutFrom(VX_Image *parent, int x, int y, int width, int height);
    // The root image's name equals `name` exactly.
    bool hasName(const char *name) const;
    // hasName(name) and the rectangle equals (x, y, width, height).
    bool isPiece(const char *name, int x, int y, int width, int height) const;
    // Name and pixels of the image at the end of the parent chain.
    const char *rootName() const;
    // Null until the root is decoded, and for a picture that failed to.
    const QPixmap *rootPixmap() const;

private:
    // The image at the end of the parent chain: this one for a whole picture.
    const VX_Image *root() const;
    VX_Image *root() { return const_cast<VX_Image *>(std::as_const(*this).root()); }

public:
    int x;       // left edge inside the parent, pixels; -1 for a whole picture
    int y;       // top edge inside the parent; -1 for a whole picture
    int width;   // piece width in pixels; -1 for a whole picture
    int height;  // piece height in pixels; -1 for a whole picture
    std::unique_ptr<char[]> name;        // whole picture: base name; else null
    std::unique_ptr<QPixmap> pixmap;     // whole picture once decoded: pixels; else null
    VX_Image *parent;                    // piece: image cut from, not owned
    std::unique_ptr<uint8_t[]> encoded;  // GIF not yet decoded: the file's bytes; else null
    size_t encodedSize;                  // bytes in `encoded`
    std::unique_ptr<char[]> source;      // path `encoded` was read from, for decode()'s message
};

#endif
