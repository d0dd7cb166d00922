#include "image/VX_GifReader.h"

#include <QImage>
#include <QList>
#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint8_t kImageDescriptor = 0x2c;  // ','
constexpr uint8_t kExtension = 0x21;        // '!'
constexpr uint8_t kTrailer = 0x3b;          // ';'
constexpr uint8_t kGraphicControl = 0xf9;
constexpr uint8_t kHasColourTable = 0x80;
constexpr uint8_t kInterlaced = 0x40;
constexpr QRgb kTransparent = 0x00ffffff;  // what the toolkit gives unknown colours
constexpr QRgb kOpaqueBlack = 0xff000000;
constexpr int kMaxColours = 256;
// Bytes a string copy may write past the string's end.
constexpr int kCopyOverrun = 8;

inline int le16(const uint8_t *p) { return p[0] | (p[1] << 8); }

inline void copy8(uint8_t *to, const uint8_t *from)
{
    uint64_t word;
    std::memcpy(&word, from, 8);
    std::memcpy(to, &word, 8);
}

// Copies `length` bytes that end at or before `to` (the string was written
// earlier in the same buffer) and returns how many fit before `end`. Whole
// 8-byte words while there is room behind the string, bytes near the end.
inline uint32_t copyString(uint8_t *to, const uint8_t *from, uint32_t length, const uint8_t *end)
{
    if (static_cast<size_t>(end - to) >= size_t(length) + kCopyOverrun) {
        // Each word is loaded before it is stored and every byte that counts
        // lies before `to`, so overlapping words are harmless.
        for (uint32_t i = 0; i < length; i += 8)
            copy8(to + i, from + i);
        return length;
    }
    uint32_t n = std::min<size_t>(length, static_cast<size_t>(end - to));
    for (uint32_t i = 0; i < n; ++i)
        to[i] = from[i];
    return n;
}

// The rows of an interlaced frame in the order they are stored.
class InterlacedRows {
public:
    explicit InterlacedRows(int height) : height_(height) {}
    int next()
    {
        static constexpr int kStart[] = {0, 4, 2, 1};
        static constexpr int kStep[] = {8, 8, 4, 2};
        int row = row_;
        row_ += kStep[pass_];
        while (row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
        return row;
    }

private:
    int height_;
    int pass_ = 0;
    int row_ = 0;
};

}  // namespace

VX_GifReader::VX_GifReader() : error_("") {}

VX_GifReader::~VX_GifReader() = default;

bool VX_GifReader::isGif(const uint8_t *data, size_t size)
{
    return size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

bool VX_GifReader::fail(const char *why)
{
    error_ = why;
    return false;
}

int64_t VX_GifReader::unpack(const uint8_t *bits, size_t bitCount, int minCodeSize,
                             uint8_t *out, int64_t count, bool &sawEnd)
{
    Entry *const table = table_.get();
    const uint32_t clear = 1u << minCodeSize;
    const uint32_t endCode = clear + 1;
    int codeSize = minCodeSize + 1;
    uint32_t mask = (1u << codeSize) - 1;
    uint32_t next = clear + 2;
    bool havePrev = false;
    uint32_t prevStart = 0;
    uint32_t prevLength = 0;
    uint8_t *const base = out;
    const uint8_t *const end = out + count;
    size_t at = 0;  // bit position
    sawEnd = false;

    while (at + codeSize <= bitCount) {
        uint64_t word;
        std::memcpy(&word, bits + (at >> 3), 8);  // the buffer is padded
        const uint32_t code = static_cast<uint32_t>(word >> (at & 7)) & mask;
        at += codeSize;
        const uint32_t start = static_cast<uint32_t>(out - base);
        uint32_t length;
        if (code < clear) {
            *out++ = static_cast<uint8_t>(code);
            length = 1;
        } else if (code < next && code > endCode) {
            const Entry entry = table[code];
            length = copyString(out, base + entry.start, entry.length, end);
            out += length;
        } else if (code == clear) {
            codeSize = minCodeSize + 1;
            mask = (1u << codeSize) - 1;
            next = clear + 2;
            havePrev = false;
            continue;
        } else if (code == endCode) {
            sawEnd = true;
            break;
        } else if (code == next && havePrev) {
            // The string being defined: the previous one and its first byte.
            length = copyString(out, base + prevStart, prevLength, end);
            out += length;
            if (out < end) {
                *out++ = base[prevStart];
                ++length;
            }
        } else {
            return -1;  // beyond the table
        }
        if (out >= end)
            break;
        if (havePrev && next < kMaxCodes) {
            // The previous string and the first byte of this one, which
            // follow each other in the output.
            table[next] = Entry{prevStart, prevLength + 1};
            ++next;
            if (next > mask && codeSize < kMaxCodeBits) {
                ++codeSize;
                mask = (1u << codeSize) - 1;
            }
        }
        havePrev = true;
        prevStart = start;
        prevLength = length;
    }
    return out - base;
}

bool VX_GifReader::check(const uint8_t *data, size_t size, bool &terminated)
{
    error_ = "";
    Structure gif;
    const bool ok = parse(data, size, gif);
    terminated = ok && gif.terminated;
    return ok;
}

bool VX_GifReader::parse(const uint8_t *data, size_t size, Structure &gif)
{
    if (!data || !isGif(data, size))
        return fail("not a GIF file");
    const uint8_t *p = data + 6;
    const uint8_t *const end = data + size;
    if (end - p < 7)
        return fail("truncated screen descriptor");
    const int screenWidth = le16(p);
    const int screenHeight = le16(p + 2);
    gif.screenFlags = p[4];
    gif.background = p[5];
    p += 7;
    if (gif.screenFlags & kHasColourTable) {
        gif.globalCount = 2 << (gif.screenFlags & 7);
        if (end - p < 3 * gif.globalCount)
            return fail("truncated colour table");
        gif.globalTable = p;
        p += 3 * gif.globalCount;
    }

    // Extensions up to the first image; only the transparent colour counts.
    for (;;) {
        if (p >= end)
            return fail("no image descriptor");
        const uint8_t introducer = *p++;
        if (introducer == kImageDescriptor)
            break;
        if (introducer == kTrailer)
            return fail("no image descriptor");
        if (introducer != kExtension)
            return fail("unknown block");
        if (p >= end)
            return fail("truncated extension");
        const uint8_t label = *p++;
        for (bool first = true;; first = false) {
            if (p >= end)
                return fail("truncated extension");
            const int n = *p++;
            if (n == 0)
                break;
            if (end - p < n)
                return fail("truncated extension");
            if (label == kGraphicControl && first && n >= 4)
                gif.transparent = (p[0] & 1) ? p[3] : -1;
            p += n;
        }
    }

    if (end - p < 9)
        return fail("truncated image descriptor");
    gif.left = le16(p);
    gif.top = le16(p + 2);
    gif.frameWidth = le16(p + 4);
    gif.frameHeight = le16(p + 6);
    const uint8_t frameFlags = p[8];
    p += 9;
    gif.colourTable = gif.globalTable;
    gif.colourCount = gif.globalCount;
    if (frameFlags & kHasColourTable) {
        gif.colourCount = 2 << (frameFlags & 7);
        if (end - p < 3 * gif.colourCount)
            return fail("truncated colour table");
        gif.colourTable = p;
        p += 3 * gif.colourCount;
    }
    gif.interlaced = frameFlags & kInterlaced;
    if (gif.frameWidth == 0 || gif.frameHeight == 0)
        return fail("empty frame");
    // A screen without a size is the frame's extent.
    gif.width = screenWidth > 0 ? screenWidth : gif.left + gif.frameWidth;
    gif.height = screenHeight > 0 ? screenHeight : gif.top + gif.frameHeight;
    if (gif.width > kMaxSide || gif.height > kMaxSide || int64_t(gif.width) * gif.height > kMaxPixels)
        return fail("picture too large");

    if (p >= end)
        return fail("truncated image data");
    gif.minCodeSize = *p++;
    if (gif.minCodeSize < 1 || gif.minCodeSize > 8)
        return fail("bad LZW code size");

    // The data sub-blocks: how many bytes they hold, and whether the chain
    // reaches its terminator before the file ends.
    gif.blocks = p;
    for (const uint8_t *q = p; q < end;) {
        const int n = *q++;
        if (n == 0) {
            gif.terminated = true;
            break;
        }
        const size_t have = std::min<size_t>(n, static_cast<size_t>(end - q));
        gif.dataBytes += have;
        q += have;
    }

    // The visible part of the frame, and how much of the frame's pixel
    // stream has to be decoded to reach its last visible pixel.
    gif.visibleRight = std::min(gif.width, gif.left + gif.frameWidth);
    gif.visibleBottom = std::min(gif.height, gif.top + gif.frameHeight);
    if (gif.left < gif.visibleRight && gif.top < gif.visibleBottom) {
        int64_t lastRow = gif.visibleBottom - 1 - gif.top;
        if (gif.interlaced) {
            InterlacedRows rows(gif.frameHeight);
            for (int r = 0; r < gif.frameHeight; ++r)
                if (gif.top + rows.next() < gif.visibleBottom)
                    lastRow = r;
        }
        gif.needed = lastRow * gif.frameWidth + (gif.visibleRight - gif.left);
    }
    if (gif.needed > kMaxPixels)
        return fail("frame too large");
    return true;
}

bool VX_GifReader::decode(const uint8_t *data, size_t size, QImage &image)
{
    image = QImage();
    error_ = "";
    Structure gif;
    if (!parse(data, size, gif))
        return false;
    if (!table_) {
        table_.reset(new (std::nothrow) Entry[kMaxCodes]);
        if (!table_)
            return fail("out of memory");
    }
    const uint8_t *const end = data + size;
    const int width = gif.width;
    const int height = gif.height;
    const int left = gif.left;
    const int top = gif.top;
    const int frameWidth = gif.frameWidth;
    const int frameHeight = gif.frameHeight;
    const bool interlaced = gif.interlaced;
    const int minCodeSize = gif.minCodeSize;
    const int64_t needed = gif.needed;
    const size_t dataBytes = gif.dataBytes;
    const bool terminated = gif.terminated;
    const int visibleRight = gif.visibleRight;
    const int visibleBottom = gif.visibleBottom;
    const int transparent = gif.transparent;
    const int background = gif.background;
    const uint8_t screenFlags = gif.screenFlags;
    const uint8_t *const globalTable = gif.globalTable;
    const int globalCount = gif.globalCount;
    const uint8_t *const colourTable = gif.colourTable;
    const int colourCount = gif.colourCount;

    // The data sub-blocks, joined into one padded run of bits.
    std::unique_ptr<uint8_t[]> bits(new (std::nothrow) uint8_t[dataBytes + 8]);
    if (!bits)
        return fail("out of memory");
    {
        uint8_t *to = bits.get();
        for (const uint8_t *q = gif.blocks; q < end;) {
            const int n = *q++;
            if (n == 0)
                break;
            const size_t have = std::min<size_t>(n, static_cast<size_t>(end - q));
            std::memcpy(to, q, have);
            to += have;
            q += have;
        }
        std::memset(to, 0, 8);
    }

    image = QImage(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return fail("out of memory");
    // A frame that is the whole picture, stored row after row, is decoded
    // in place; anything else goes through a buffer of its pixel stream.
    const bool inPlace = left == 0 && top == 0 && frameWidth == width && frameHeight == height && !interlaced;
    std::unique_ptr<uint8_t[]> stream;
    uint8_t *pixels = image.bits();
    if (!inPlace && needed > 0) {
        stream.reset(new (std::nothrow) uint8_t[needed]);
        if (!stream) {
            image = QImage();
            return fail("out of memory");
        }
        pixels = stream.get();
    }
    int64_t produced = 0;
    bool sawEnd = false;
    if (needed > 0) {
        produced = unpack(bits.get(), dataBytes * 8, minCodeSize, pixels, needed, sawEnd);
        if (produced < 0) {
            image = QImage();
            return fail("corrupt LZW data");
        }
        if (produced < needed && !sawEnd && !terminated) {
            image = QImage();
            return fail("truncated image data");
        }
    }

    // Colours: the file's table, then whatever the pixels and the fill use
    // beyond it, transparent as the toolkit shows them.
    QList<QRgb> colours(kMaxColours, kTransparent);
    int used = colourCount;
    if (colourTable) {
        for (int i = 0; i < colourCount; ++i)
            colours[i] = qRgb(colourTable[3 * i], colourTable[3 * i + 1], colourTable[3 * i + 2]);
    } else {
        // No table at all: the indices the screen declares show black.
        used = 2 << (screenFlags & 7);
        std::fill(colours.begin(), colours.begin() + used, kOpaqueBlack);
    }
    if ((1 << minCodeSize) > used && produced > 0) {
        const uint8_t highest = *std::max_element(pixels, pixels + produced);
        used = std::max(used, highest + 1);
    }
    auto colourIndex = [&](QRgb colour) {
        for (int i = 0; i < used; ++i)
            if (colours[i] == colour)
                return i;
        if (used < kMaxColours) {
            colours[used] = colour;
            return used++;
        }
        return 0;  // a full table without it: the nearest honest choice
    };

    const bool coversScreen = left == 0 && top == 0 && frameWidth >= width && frameHeight >= height;
    const bool needsFill = !coversScreen || produced < needed;
    int fill = 0;
    if (needsFill) {
        if (transparent >= 0) {
            fill = transparent;
            used = std::max(used, fill + 1);
        } else if (!coversScreen && globalTable) {
            if (colourTable == globalTable) {
                fill = background;
                used = std::max(used, fill + 1);
            } else {
                const uint8_t *rgb = globalTable + 3 * std::min(background, globalCount - 1);
                fill = colourIndex(qRgb(rgb[0], rgb[1], rgb[2]));
            }
        } else {
            fill = colourIndex(kOpaqueBlack);
        }
    }
    if (transparent >= 0 && transparent < used)
        colours[transparent] &= kTransparent;
    colours.resize(used);
    image.setColorTable(colours);

    if (inPlace) {
        std::memset(pixels + produced, fill, static_cast<size_t>(needed - produced));
        // Rows were decoded back to back; move them to their scan lines,
        // last first, since a scan line is at least a row long.
        const qsizetype stride = image.bytesPerLine();
        if (stride != width)
            for (int y = height - 1; y > 0; --y)
                std::memmove(pixels + y * stride, pixels + int64_t(y) * width, width);
        return true;
    }
    if (needsFill)
        image.fill(fill);
    if (needed > 0) {
        std::memset(pixels + produced, fill, static_cast<size_t>(needed - produced));
        const int rowLength = visibleRight - left;
        InterlacedRows rows(frameHeight);
        for (int r = 0; r < frameHeight; ++r) {
            const int frameRow = interlaced ? rows.next() : r;
            const int64_t from = int64_t(r) * frameWidth;
            if (from + rowLength > needed)
                break;
            if (top + frameRow < visibleBottom)
                std::memcpy(image.scanLine(top + frameRow) + left, pixels + from, rowLength);
        }
    }
    return true;
}
