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

#include <QRgb>

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
    // `image` is Format_Indexed8 (Format_RGB32 when the fill colour has no
    // place in a full colour table) of the logical screen's size (the frame's
    // extent when the screen is 0 wide or high); pixels outside the frame,
    // and pixels the data ends before, take the transparent colour, else
    // the background colour when the frame does not cover the screen, else
    // opaque black. Damaged image data (codes beyond the table, chains
    // that loop) is drawn as the toolkit's own reader draws it, as far as
    // it goes. Refused, with `image` null and error() saying why: what
    // check() refuses, a file that ends inside its image data before the
    // last visible pixel, and memory that cannot be had. So a file that
    // check() accepts with its chain terminated always decodes.
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
    // Longest chain walked through damaged data before it counts as a loop.
    static constexpr int kStackBytes = 2 * kMaxCodes;

    // The table of the damaged-data decoder: each code's prefix code and
    // last byte, as codes were read (so a prefix may lie beyond its code),
    // and the stack a string is spelt backwards onto.
    struct DamagedTables {
        uint16_t prefix[kMaxCodes];
        uint16_t suffix[kMaxCodes];
        uint8_t stack[kStackBytes];
    };

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
    // run out. Returns how many pixels were written, or -1 for a stream no
    // encoder writes (a code beyond the table, a string code first).
    // bits[] must have 8 readable bytes past the end.
    int64_t unpack(const uint8_t *bits, size_t bitCount, int minCodeSize,
                   uint8_t *out, int64_t count, bool &sawEnd);
    // The same for any stream and code size 0..12, reading damaged data as
    // the toolkit's reader does: a code beyond the table stands for the
    // string being defined, a first code is written as an index whatever
    // it is, indices are cut to a byte, and a chain that leaves the table,
    // points at itself or loops ends the data (`stopped`, as the end code
    // does). Slower; -1 only when its tables cannot be allocated.
    int64_t unpackDamaged(const uint8_t *bits, size_t bitCount, int minCodeSize,
                          uint8_t *out, int64_t count, bool &stopped);
    // unpack(), or unpackDamaged() from the start when unpack() gives up
    // (`damaged`: then any byte may be an index); fills out[0, gif.needed)
    // as far as the data goes.
    int64_t unpackFrame(const Structure &gif, const uint8_t *bits, uint8_t *out, bool &stopped,
                        bool &damaged);
    // The data sub-blocks joined into one run of bits, zero-padded.
    bool joinBlocks(const Structure &gif, const uint8_t *end, std::unique_ptr<uint8_t[]> &bits);
    // Gives `image` its colour table: the file's, then the indices the
    // pixels use beyond it (looked for when `anyIndex` or the code size
    // allows more than the table) and the fill colour. Returns the index
    // that fills what the frame does not cover or the data did not reach
    // (`fillColour`), or -1 when the table is full without that colour.
    static int setColours(const Structure &gif, const uint8_t *pixels, int64_t produced,
                          bool anyIndex, QImage &image, QRgb &fillColour);
    // Turns the placed `image` into 32-bit colour with `fillColour` where
    // placeRows() put the fill.
    bool fillInTrueColour(const Structure &gif, int64_t produced, QRgb fillColour, QImage &image);
    // Puts the decoded pixel stream (in place, or from a buffer) on the
    // image's scan lines, with `fill` where no pixel arrived.
    static void placeRows(const Structure &gif, uint8_t *pixels, int64_t produced, int fill, QImage &image);
    // The frame covers the whole screen from its top left corner.
    static bool coversScreen(const Structure &gif);
    // The frame is the screen, stored row after row: decoded in place.
    static bool inPlace(const Structure &gif);

    const char *error_;
    std::unique_ptr<Entry[]> table_;  // kMaxCodes entries, made by the first decode()
    std::unique_ptr<DamagedTables> damaged_;  // made when damaged data is first met
};

#endif
