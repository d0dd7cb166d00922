// Fuzz target for the GIF decoder alone: the input is the file. A decoded
// picture must keep every promise the keyboard relies on when it paints:
// bounded size, one byte per pixel, and no pixel naming a colour the
// picture's table does not have. And the check a picture gets when it loads
// must agree with the decoder: a file it accepts with its image data whole
// always decodes, and no file it refuses does.
#include <QImage>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/VX_GifReader.h"

namespace {

void check(bool promise, const char *what)
{
    if (!promise) {
        std::fprintf(stderr, "GIF decoder broke its promise: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    VX_GifReader reader;
    // A picture loads when check() accepts it and is decoded only later,
    // so what check() says must hold for decode().
    bool terminated = false;
    const bool structureOk = reader.check(data, size, terminated);
    QImage image;
    if (!reader.decode(data, size, image)) {
        check(image.isNull(), "a refused file leaves no picture");
        check(reader.error() && reader.error()[0] != '\0', "a refusal says why");
        check(!(structureOk && terminated), "a file check() accepts whole always decodes");
        return 0;
    }
    check(structureOk, "decode() takes only what check() accepts");
    check(!image.isNull(), "success gives a picture");
    if (image.format() == QImage::Format_RGB32)
        return 0;  // a fill colour without a place in a full table
    check(image.format() == QImage::Format_Indexed8, "one byte per pixel");
    check(image.width() <= VX_GifReader::kMaxSide && image.height() <= VX_GifReader::kMaxSide,
          "sides within the limit");
    check(int64_t(image.width()) * image.height() <= VX_GifReader::kMaxPixels,
          "pixel count within the limit");
    const int colours = image.colorCount();
    check(colours >= 1 && colours <= 256, "a colour table of 1 to 256 entries");
    for (int y = 0; y < image.height(); ++y) {
        const uchar *row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            check(row[x] < colours, "every pixel names a colour of the table");
    }
    return 0;
}
