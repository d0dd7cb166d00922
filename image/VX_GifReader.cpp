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
constexpr QRgb kOpaqueWhite = 0xffffffff;
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
    // Rows below a row of each pass that a partly drawn picture shows in
    // its colours until a later pass comes.
    static constexpr int kSmear[] = {7, 3, 1, 0};

    int next()
    {
        static constexpr int kStart[] = {0, 4, 2, 1};
        static constexpr int kStep[] = {8, 8, 4, 2};
        last_ = pass_;
        int row = row_;
        row_ += kStep[pass_];
        while (row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
        return row;
    }

    // Pass (0 to 3) of the row next() gave last.
    int pass() const { return last_; }

private:
    int height_;
    int pass_ = 0;
    int row_ = 0;
    int last_ = 0;
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
    if (gif.minCodeSize > kMaxCodeBits)
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


int64_t VX_GifReader::unpackDamaged(const uint8_t *bits, size_t bitCount, int minCodeSize,
                                    uint8_t *out, int64_t count, bool &stopped)
{
    if (!damaged_) {
        damaged_.reset(new (std::nothrow) DamagedTables);
        if (!damaged_)
            return -1;
    }
    uint16_t *const prefix = damaged_->prefix;
    uint16_t *const suffix = damaged_->suffix;
    uint8_t *const stack = damaged_->stack;
    const uint32_t clear = 1u << minCodeSize;
    const uint32_t endCode = clear + 1;
    for (uint32_t i = 0; i < clear && i < uint32_t(kMaxCodes); ++i) {
        prefix[i] = 0;
        suffix[i] = static_cast<uint16_t>(i);
    }
    int codeSize = minCodeSize + 1;
    uint32_t sizeLimit = 2 * clear;  // the code count that widens the codes
    uint32_t next = clear + 2;
    bool needFirst = true;
    uint32_t first = 0;     // first byte of the last string, before truncation
    uint32_t previous = 0;  // the last code read, whatever it was
    uint8_t *const base = out;
    const uint8_t *const end = out + count;
    size_t at = 0;
    stopped = false;

    while (out < end && at + codeSize <= bitCount) {
        uint64_t word;
        std::memcpy(&word, bits + (at >> 3), 8);
        uint32_t code = static_cast<uint32_t>(word >> (at & 7)) & ((1u << codeSize) - 1);
        at += codeSize;
        if (code == clear) {
            // A clear right after a clear (or the start) changes nothing.
            if (!needFirst) {
                codeSize = minCodeSize + 1;
                sizeLimit = 2 * clear;
                next = clear + 2;
            }
            needFirst = true;
            continue;
        }
        if (code == endCode) {
            stopped = true;
            break;
        }
        if (needFirst) {
            // Whatever code comes first is written as an index.
            first = previous = code;
            *out++ = static_cast<uint8_t>(code);
            needFirst = false;
            continue;
        }
        const uint32_t read = code;
        int depth = 0;  // bytes on the stack
        if (code >= next) {
            // Beyond the table: read as the string being defined.
            stack[depth++] = static_cast<uint8_t>(first);
            code = previous;
        }
        bool broken = false;
        while (code >= clear + 2) {
            // A chain that leaves the table, points at itself or runs
            // longer than any string can ends the picture's data.
            if (code >= next || code == prefix[code] || depth + 1 >= kStackBytes) {
                broken = true;
                break;
            }
            stack[depth++] = static_cast<uint8_t>(suffix[code]);
            code = prefix[code];
        }
        if (broken) {
            stopped = true;
            break;
        }
        first = suffix[code];
        stack[depth++] = static_cast<uint8_t>(first);
        if (next < uint32_t(kMaxCodes)) {
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = static_cast<uint16_t>(first);
            ++next;
            if (next >= sizeLimit && sizeLimit < uint32_t(kMaxCodes)) {
                sizeLimit *= 2;
                ++codeSize;
            }
        }
        previous = read;
        while (depth > 0 && out < end)
            *out++ = stack[--depth];
    }
    return out - base;
}

bool VX_GifReader::joinBlocks(const Structure &gif, const uint8_t *end,
                              std::unique_ptr<uint8_t[]> &bits)
{
    bits.reset(new (std::nothrow) uint8_t[gif.dataBytes + kCopyOverrun]);
    if (!bits)
        return fail("out of memory");
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
    std::memset(to, 0, kCopyOverrun);
    return true;
}

int64_t VX_GifReader::unpackFrame(const Structure &gif, const uint8_t *bits, uint8_t *pixels,
                                  bool &stopped, bool &damaged)
{
    const size_t bitCount = gif.dataBytes * 8;
    int64_t produced = -1;
    // The fast decoder takes every stream an encoder writes; anything else
    // (codes beyond the table, code sizes it does not handle) is decoded
    // again from the start the way the toolkit reads damaged data.
    if (gif.minCodeSize >= 1 && gif.minCodeSize <= 8)
        produced = unpack(bits, bitCount, gif.minCodeSize, pixels, gif.needed, stopped);
    damaged = produced < 0;
    if (damaged)
        produced = unpackDamaged(bits, bitCount, gif.minCodeSize, pixels, gif.needed, stopped);
    return produced;
}

int VX_GifReader::setColours(const Structure &gif, const uint8_t *pixels, int64_t produced,
                             bool anyIndex, QImage &image, QRgb &fillColour)
{
    // Indices beyond the file's table show the toolkit's "unknown colour":
    // white, transparent only in a picture that has a transparent index.
    const QRgb unknown = gif.transparent >= 0 ? kTransparent : kOpaqueWhite;
    QList<QRgb> colours(kMaxColours, unknown);
    int used = gif.colourCount;
    if (gif.colourTable) {
        const uint8_t *rgb = gif.colourTable;
        for (int i = 0; i < gif.colourCount; ++i, rgb += 3)
            colours[i] = qRgb(rgb[0], rgb[1], rgb[2]);
    } else {
        // No table at all: the indices the screen declares show black.
        used = 2 << (gif.screenFlags & 7);
        std::fill(colours.begin(), colours.begin() + used, kOpaqueBlack);
    }
    if ((anyIndex || (1 << gif.minCodeSize) > used) && used < kMaxColours && produced > 0) {
        const uint8_t highest = *std::max_element(pixels, pixels + produced);
        used = std::max(used, highest + 1);
    }
    auto colourIndex = [&](QRgb colour) {
        fillColour = colour;
        for (int i = 0; i < used; ++i)
            if (colours[i] == colour)
                return i;
        if (used < kMaxColours) {
            colours[used] = colour;
            return used++;
        }
        return -1;  // a full table without it
    };

    int fill = 0;
    if (!coversScreen(gif) || produced < gif.needed) {
        if (gif.transparent >= 0) {
            fill = gif.transparent;
            used = std::max(used, fill + 1);
        } else if (!coversScreen(gif) && gif.globalTable) {
            if (gif.colourTable == gif.globalTable) {
                fill = gif.background;
                used = std::max(used, fill + 1);
            } else {
                const uint8_t *rgb = gif.globalTable + 3 * std::min(gif.background, gif.globalCount - 1);
                fill = colourIndex(qRgb(rgb[0], rgb[1], rgb[2]));
            }
        } else {
            fill = colourIndex(kOpaqueBlack);
        }
    }
    if (gif.transparent >= 0 && gif.transparent < used)
        colours[gif.transparent] &= kTransparent;
    colours.resize(used);
    image.setColorTable(colours);
    return fill;
}

bool VX_GifReader::coversScreen(const Structure &gif)
{
    return gif.left == 0 && gif.top == 0 && gif.frameWidth >= gif.width && gif.frameHeight >= gif.height;
}

bool VX_GifReader::inPlace(const Structure &gif)
{
    return gif.left == 0 && gif.top == 0 && gif.frameWidth == gif.width &&
           gif.frameHeight == gif.height && !gif.interlaced;
}

void VX_GifReader::placeRows(const Structure &gif, uint8_t *pixels, int64_t produced, int fill,
                             QImage &image)
{
    std::memset(pixels + produced, fill, static_cast<size_t>(gif.needed - produced));
    if (inPlace(gif)) {
        // Rows were decoded back to back; move them to their scan lines,
        // last first, since a scan line is at least a row long.
        const qsizetype stride = image.bytesPerLine();
        if (stride != gif.width)
            for (int y = gif.height - 1; y > 0; --y)
                std::memmove(pixels + y * stride, pixels + int64_t(y) * gif.width, gif.width);
        return;
    }
    image.fill(fill);
    if (gif.needed == 0)
        return;  // no pixel of the frame is visible
    const int rowLength = gif.visibleRight - gif.left;
    // Data that ends early in an interlaced frame without transparency
    // leaves the picture as the toolkit shows it: each finished row of the
    // first passes also stands in the rows below it, and the last row has
    // only the pixels that arrived.
    const bool early = gif.interlaced && gif.transparent < 0 && produced < gif.needed;
    InterlacedRows rows(gif.frameHeight);
    for (int r = 0; r < gif.frameHeight; ++r) {
        const int frameRow = gif.interlaced ? rows.next() : r;
        const int64_t from = int64_t(r) * gif.frameWidth;
        if (from + rowLength > gif.needed || (early && from >= produced))
            break;
        const int y = gif.top + frameRow;
        if (y >= gif.visibleBottom)
            continue;
        uint8_t *line = image.scanLine(y) + gif.left;
        if (!early) {
            std::memcpy(line, pixels + from, rowLength);
            continue;
        }
        std::memcpy(line, pixels + from, static_cast<size_t>(std::min<int64_t>(rowLength, produced - from)));
        if (from + gif.frameWidth > produced)
            break;
        const int below = std::min(InterlacedRows::kSmear[rows.pass()], gif.visibleBottom - 1 - y);
        for (int i = 1; i <= below; ++i)
            std::memcpy(image.scanLine(y + i) + gif.left, line, rowLength);
    }
}

bool VX_GifReader::fillInTrueColour(const Structure &gif, int64_t produced, QRgb fillColour,
                                    QImage &image)
{
    // Where the fill goes: the same placement over a stream of zeros for
    // the pixels that arrived, ones for the fill.
    QImage where(gif.width, gif.height, QImage::Format_Indexed8);
    std::unique_ptr<uint8_t[]> stream;
    uint8_t *marks = where.bits();
    if (!inPlace(gif)) {
        stream.reset(new (std::nothrow) uint8_t[std::max<int64_t>(gif.needed, 1)]);
        marks = stream.get();
    }
    QImage colour = image.convertToFormat(QImage::Format_RGB32);
    if (where.isNull() || !marks || colour.isNull())
        return fail("out of memory");
    std::memset(marks, 0, static_cast<size_t>(produced));
    placeRows(gif, marks, produced, 1, where);
    for (int y = 0; y < gif.height; ++y) {
        const uint8_t *mark = where.constScanLine(y);
        QRgb *pixel = reinterpret_cast<QRgb *>(colour.scanLine(y));
        for (int x = 0; x < gif.width; ++x)
            if (mark[x])
                pixel[x] = fillColour;
    }
    image = std::move(colour);
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
    std::unique_ptr<uint8_t[]> bits;
    if (!joinBlocks(gif, data + size, bits))
        return false;

    QImage decoded(gif.width, gif.height, QImage::Format_Indexed8);
    if (decoded.isNull())
        return fail("out of memory");
    // A frame that is the whole picture, stored row after row, is decoded
    // in place; anything else goes through a buffer of its pixel stream.
    std::unique_ptr<uint8_t[]> stream;
    uint8_t *pixels = decoded.bits();
    if (!inPlace(gif)) {
        stream.reset(new (std::nothrow) uint8_t[std::max<int64_t>(gif.needed, 1)]);
        if (!stream)
            return fail("out of memory");
        pixels = stream.get();
    }
    int64_t produced = 0;
    bool stopped = false;
    bool damaged = false;
    if (gif.needed > 0) {
        produced = unpackFrame(gif, bits.get(), pixels, stopped, damaged);
        if (produced < 0)
            return fail("out of memory");
        // A file that ends inside its image data is refused when it ends
        // before its last visible pixel; damaged data is drawn as far as
        // it goes.
        if (produced < gif.needed && !stopped && !gif.terminated)
            return fail("truncated image data");
    }
    QRgb fillColour = 0;
    const int fill = setColours(gif, pixels, produced, damaged, decoded, fillColour);
    placeRows(gif, pixels, produced, std::max(fill, 0), decoded);
    // A full colour table without the fill colour: the picture is kept in
    // 32-bit colour instead, since no index can show that colour.
    if (fill < 0 && !fillInTrueColour(gif, produced, fillColour, decoded))
        return false;
    image = std::move(decoded);
    return true;
}
