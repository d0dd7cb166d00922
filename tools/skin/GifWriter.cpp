#include "tools/skin/GifWriter.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct MapDeleter {
    void operator()(ColorMapObject *map) const { GifFreeMapObject(map); }
};

// Closes the file on every way out; close() reports whether the final
// flush worked.
class GifOut {
public:
    // Opened like any other file, so the umask decides who may read it.
    explicit GifOut(const std::string &path) : gif_(nullptr)
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) {
            error_ = E_GIF_ERR_OPEN_FAILED;
            return;
        }
        gif_ = EGifOpenFileHandle(fd, &error_);
        if (!gif_)
            ::close(fd);
    }
    ~GifOut() { close(); }
    GifOut(const GifOut &) = delete;
    GifOut &operator=(const GifOut &) = delete;

    GifFileType *get() const { return gif_; }
    int error() const { return gif_ ? gif_->Error : error_; }
    bool close()
    {
        if (!gif_)
            return true;
        GifFileType *gif = gif_;
        gif_ = nullptr;
        return EGifCloseFile(gif, &error_) == GIF_OK;
    }
    int closeError() const { return error_; }

private:
    int error_ = 0;
    GifFileType *gif_;
};

std::string describe(int code)
{
    const char *text = GifErrorString(code);
    return text ? text : "unknown giflib error";
}

}  // namespace

bool writeGif(const std::string &path, const PalettedImage &image, std::string &error)
{
    const size_t colours = image.palette.size();
    if (image.width <= 0 || image.height <= 0 || colours == 0 ||
        colours > static_cast<size_t>(PalettedImage::kMaxColours) ||
        image.indices.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        error = "no picture to write";
        return false;
    }
    // The colour table of a GIF has a power of two entries, at least two.
    int bits = 1;
    while ((static_cast<size_t>(1) << bits) < colours)
        ++bits;
    std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(1 << bits, nullptr));
    if (!map) {
        error = "can't allocate a colour table";
        return false;
    }
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb rgb = static_cast<size_t>(i) < colours ? image.palette[static_cast<size_t>(i)] : 0;
        map->Colors[i].Red = static_cast<GifByteType>(qRed(rgb));
        map->Colors[i].Green = static_cast<GifByteType>(qGreen(rgb));
        map->Colors[i].Blue = static_cast<GifByteType>(qBlue(rgb));
    }

    GifOut out(path);
    if (!out.get()) {
        error = describe(out.error());
        return false;
    }
    bool ok = EGifPutScreenDesc(out.get(), image.width, image.height, bits, 0, map.get()) == GIF_OK &&
              EGifPutImageDesc(out.get(), 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    // giflib takes rows by non-const pointer but only reads them.
    std::unique_ptr<GifPixelType[]> row(new GifPixelType[static_cast<size_t>(image.width)]);
    for (int y = 0; ok && y < image.height; ++y) {
        const uint8_t *src = image.indices.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width);
        std::copy(src, src + image.width, row.get());
        ok = EGifPutLine(out.get(), row.get(), image.width) == GIF_OK;
    }
    if (!ok)
        error = describe(out.error());
    if (!out.close() && ok) {
        ok = false;
        error = describe(out.closeError());
    }
    if (!ok)
        std::remove(path.c_str());
    return ok;
}
