// Decodes the first image of a GIF file (GIF87a or GIF89a) into an 8-bit
// indexed QImage with its colour table: one byte per pixel, the way the
// keyboard keeps its pictures. Broken, truncated or oversized input is
// refused with a short reason, never read past, and never allocates more
// than the limits below allow.
#ifndef VEXIL_IMAGE_VX_GIFREADER_H
#define VEXIL_IMAGE_VX_GIFREADER_H

#include <cstddef>
#include <cstdint>
#include <memory>

class QImage;

class VX_GifReader {
public:
    // Largest picture side and pixel count accepted, and the largest file
    // read; they keep memory bounded whatever a header claims.
    static constexpr int kMaxSide = 16384;
    static constexpr int64_t kMaxPixels = int64_t(32) * 1024 * 1024;
    static constexpr size_t kMaxFileBytes = size_t(128) * 1024 * 1024;

    VX_GifReader();
    ~VX_GifReader();
    VX_GifReader(const VX_GifReader &) = delete;
    VX_GifReader &operator=(const VX_GifReader &) = delete;

    // True when `data` begins with "GIF87a" or "GIF89a".
    static bool isGif(const uint8_t *data, size_t size);

    // Walks the structure of the GIF in data[0, size) without decoding a
    // pixel: screen descriptor and the limits above, colour tables,
    // extensions, the first image descriptor and the sub-block chain of its
    // data. False with error() set where decode() would refuse the file for
    // its structure. `terminated` tells whether the chain reaches its
    // terminator; when the file ends inside the image data instead, only
    // decoding can tell whether enough pixels arrived.
    bool check(const uint8_t *data, size_t size, bool &terminated);

    // Decodes the first image of the GIF in data[0, size). On success
    // `image` is Format_Indexed8 of the logical screen's size (the frame's
    // extent when the screen is 0 wide or high); pixels outside the frame,
    // and pixels the data ends before, take the transparent colour, else
    // the background colour when the frame does not cover the screen, else
    // opaque black. On failure `image` is null and error() says why.
    bool decode(const uint8_t *data, size_t size, QImage &image);

    // Why the last decode() failed; "" after a success.
    const char *error() const { return error_; }

private:
    // One string of the LZW table: `length` bytes of the output, starting
    // at `start`. Every string the decoder builds was written out whole
    // before it is first used, so decoding copies it from there.
    struct Entry {
        uint32_t start;
        uint32_t length;
    };
    static constexpr int kMaxCodeBits = 12;
    static constexpr int kMaxCodes = 1 << kMaxCodeBits;

    // What parse() learns of a file; pointers into the caller's bytes.
    struct Structure {
        uint8_t screenFlags = 0;
        int background = 0;                   // screen's background index
        const uint8_t *globalTable = nullptr;  // RGB triples, or null
        int globalCount = 0;
        int transparent = -1;                 // graphic control's index, or -1
        int left = 0, top = 0;                // frame's place on the screen
        int frameWidth = 0, frameHeight = 0;
        const uint8_t *colourTable = nullptr;  // the frame's table, or null
        int colourCount = 0;
        bool interlaced = false;
        int width = 0, height = 0;            // the picture's size
        int minCodeSize = 0;
        const uint8_t *blocks = nullptr;      // first data sub-block
        size_t dataBytes = 0;                 // bytes in the data sub-blocks
        bool terminated = false;              // the chain reaches its terminator
        int visibleRight = 0, visibleBottom = 0;  // frame's visible extent
        int64_t needed = 0;                   // frame pixels up to the last visible one
    };

    bool fail(const char *why);
    // Everything up to and including the image data's sub-block chain,
    // with the limits; false (error()) when decode() must refuse the file.
    bool parse(const uint8_t *data, size_t size, Structure &gif);
    // Decodes LZW codes from bits[0, bitCount) into out[0, count) and
    // stops when `out` is full, at the end code (sawEnd) or when the bits
    // run out. Returns how many pixels were written, or -1 for a code
    // beyond the table. bits[] must have 8 readable bytes past the end.
    int64_t unpack(const uint8_t *bits, size_t bitCount, int minCodeSize,
                   uint8_t *out, int64_t count, bool &sawEnd);

    const char *error_;
    std::unique_ptr<Entry[]> table_;  // kMaxCodes entries, made by the first decode()
};

#endif
