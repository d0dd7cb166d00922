// The GIF decoder against the toolkit's own reader, pixel by pixel, on
// pictures written by giflib; then the streams giflib never writes, and
// broken files, which are refused without a crash.
#include <gtest/gtest.h>

#include <gif_lib.h>

#include <QImage>
#include <QPixmap>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "image/VX_GifReader.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

// One frame for giflib: position, size, pixels (row after row), and an
// optional local colour table.
struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels;
    int localColours = 0;  // 0: use the global table
    bool interlaced = false;
    int transparent = -1;  // index given by a graphic control extension
};

struct GifSpec {
    int width = 0, height = 0;
    int globalColours = 0;  // 0: no global table
    int background = 0;
    std::vector<Frame> frames;
};

// A colour table of `count` distinct colours that depends on `salt`.
ColorMapObject *makeTable(int count, int salt)
{
    std::vector<GifColorType> colours(count);
    for (int i = 0; i < count; ++i)
        colours[i] = GifColorType{GifByteType(i * 37 + salt), GifByteType(255 - i), GifByteType(i * 11 + salt * 3)};
    return GifMakeMapObject(count, colours.data());
}

void writeWithGiflib(const std::string &path, const GifSpec &spec)
{
    int error = 0;
    GifFileType *gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr) << error;
    EGifSetGifVersion(gif, true);
    ColorMapObject *global = spec.globalColours ? makeTable(spec.globalColours, 1) : nullptr;
    ASSERT_EQ(EGifPutScreenDesc(gif, spec.width, spec.height, 8, spec.background, global), GIF_OK);
    for (const Frame &frame : spec.frames) {
        if (frame.transparent >= 0) {
            GifByteType control[4] = {1, 0, 0, GifByteType(frame.transparent)};
            ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control), GIF_OK);
        }
        ColorMapObject *local = frame.localColours ? makeTable(frame.localColours, 7) : nullptr;
        ASSERT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                                   frame.interlaced, local),
                  GIF_OK);
        // giflib writes lines in the order given: interlaced frames go pass by pass.
        std::vector<int> order;
        if (frame.interlaced) {
            static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < frame.height; y += step[pass])
                    order.push_back(y);
        } else {
            for (int y = 0; y < frame.height; ++y)
                order.push_back(y);
        }
        for (int y : order) {
            auto *line = const_cast<GifPixelType *>(frame.pixels.data() + size_t(y) * frame.width);
            ASSERT_EQ(EGifPutLine(gif, line, frame.width), GIF_OK);
        }
        if (local)
            GifFreeMapObject(local);
    }
    ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK) << error;
    if (global)
        GifFreeMapObject(global);
}

std::vector<uint8_t> noise(int width, int height, int colours, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(size_t(width) * height);
    for (auto &p : pixels)
        p = uint8_t(random() % colours);
    return pixels;
}

// Short runs of one colour: strings of several lengths in the table.
std::vector<uint8_t> patches(int width, int height, int colours, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(size_t(width) * height);
    for (size_t i = 0; i < pixels.size();) {
        uint8_t colour = uint8_t(random() % colours);
        for (size_t n = 1 + random() % 12; n > 0 && i < pixels.size(); --n)
            pixels[i++] = colour;
    }
    return pixels;
}

Frame fullFrame(int width, int height, std::vector<uint8_t> pixels)
{
    Frame frame;
    frame.width = width;
    frame.height = height;
    frame.pixels = std::move(pixels);
    return frame;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool decodeBytes(const std::string &bytes, QImage &image, std::string *why = nullptr)
{
    VX_GifReader reader;
    bool ok = reader.decode(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), image);
    if (why)
        *why = reader.error();
    return ok;
}

// Same size, and every pixel the same colour; fully transparent pixels
// match whatever their colour channels hold.
void expectSameAsToolkit(const std::string &path, const QImage &ours)
{
    QImage theirs = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(theirs.isNull()) << "the toolkit cannot read " << path;
    // One byte a pixel, unless a fill colour had no place in a full table.
    ASSERT_TRUE(ours.format() == QImage::Format_Indexed8 || ours.format() == QImage::Format_RGB32)
        << ours.format();
    QImage mine = ours.convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(mine.size(), theirs.size());
    int mismatches = 0;
    for (int y = 0; y < mine.height(); ++y)
        for (int x = 0; x < mine.width(); ++x) {
            QRgb a = mine.pixel(x, y), b = theirs.pixel(x, y);
            bool same = qAlpha(a) == qAlpha(b) && (qAlpha(a) == 0 || a == b);
            if (!same && ++mismatches <= 3)
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): ours " << std::hex << a
                              << ", toolkit's " << b;
        }
    EXPECT_EQ(mismatches, 0);
}

struct ValidCase {
    const char *what;
    std::function<GifSpec()> make;
    // The toolkit misplaces the last pass of interlaced frames under 5 rows
    // high; those are checked against the pixels written only.
    bool toolkitAgrees = true;
};

std::vector<ValidCase> validCases()
{
    std::vector<ValidCase> cases;
    for (int bits = 1; bits <= 8; ++bits) {
        int colours = 1 << bits;
        cases.push_back({"full frame, global table of this many colours",
                         [colours] {
                             return GifSpec{37, 23, colours, 0, {fullFrame(37, 23, patches(37, 23, colours, colours))}};
                         }});
    }
    cases.push_back({"large noisy picture, table filled many times", [] {
                         return GifSpec{301, 203, 256, 0, {fullFrame(301, 203, noise(301, 203, 256, 5))}};
                     }});
    cases.push_back({"local colour table", [] {
                         Frame frame = fullFrame(40, 10, patches(40, 10, 16, 2));
                         frame.localColours = 16;
                         return GifSpec{40, 10, 4, 0, {frame}};
                     }});
    cases.push_back({"local colour table, no global one", [] {
                         Frame frame = fullFrame(17, 9, patches(17, 9, 8, 3));
                         frame.localColours = 8;
                         return GifSpec{17, 9, 0, 0, {frame}};
                     }});
    cases.push_back({"transparent index", [] {
                         Frame frame = fullFrame(33, 12, patches(33, 12, 4, 4));
                         frame.transparent = 2;
                         return GifSpec{33, 12, 4, 0, {frame}};
                     }});
    for (int height : {1, 2, 3, 5, 8, 9, 31}) {
        cases.push_back({"interlaced, this many rows", [height] {
                             Frame frame = fullFrame(13, height, patches(13, height, 32, height));
                             frame.interlaced = true;
                             return GifSpec{13, height, 32, 0, {frame}};
                         },
                         height >= 5});
    }
    cases.push_back({"several frames, the first counts", [] {
                         Frame second = fullFrame(20, 20, noise(20, 20, 16, 9));
                         second.transparent = 1;
                         return GifSpec{20, 20, 16, 0, {fullFrame(20, 20, patches(20, 20, 16, 8)), second}};
                     }});
    cases.push_back({"frame inside the screen, background colour around it", [] {
                         Frame frame = fullFrame(20, 10, patches(20, 10, 16, 6));
                         frame.left = 5;
                         frame.top = 7;
                         return GifSpec{40, 30, 16, 3, {frame}};
                     }});
    cases.push_back({"frame inside the screen, transparent around it", [] {
                         Frame frame = fullFrame(9, 4, patches(9, 4, 16, 7));
                         frame.left = 30;
                         frame.top = 1;
                         frame.transparent = 5;
                         return GifSpec{40, 6, 16, 3, {frame}};
                     }});
    cases.push_back({"interlaced frame inside the screen", [] {
                         Frame frame = fullFrame(11, 19, patches(11, 19, 16, 1));
                         frame.left = 2;
                         frame.top = 3;
                         frame.interlaced = true;
                         return GifSpec{16, 25, 16, 0, {frame}};
                     }});
    cases.push_back({"frame past the screen's right and bottom edges", [] {
                         Frame frame = fullFrame(30, 20, patches(30, 20, 16, 11));
                         frame.left = 10;
                         frame.top = 12;
                         return GifSpec{25, 15, 16, 2, {frame}};
                     }});
    return cases;
}

// A GIF89a with a four-colour global table (red, green, blue, 0x102030)
// and one full frame whose image data is `blocks`.
std::string handMadeGif(int width, int height, const std::string &blocks)
{
    GifPicture gif;
    gif.width = width;
    gif.height = height;
    gif.colours = {0xff0000, 0x00ff00, 0x0000ff, 0x102030};
    gif.data = blocks;
    return gif.bytes();
}

struct GifReaderTest : testing::Test {
    GifReaderTest() { ensureApp(); }
    TempDir dir;
};

}  // namespace

TEST_F(GifReaderTest, MatchesTheToolkitOnGiflibPictures)
{
    int n = 0;
    for (const ValidCase &c : validCases()) {
        GifSpec spec = c.make();
        std::string path = dir.file("case" + std::to_string(n++) + ".gif");
        SCOPED_TRACE(std::string(c.what) + " (" + path + ", " + std::to_string(spec.globalColours) +
                     " global colours)");
        writeWithGiflib(path, spec);
        QImage image;
        std::string why;
        ASSERT_TRUE(decodeBytes(readFile(path), image, &why)) << why;
        const Frame &first = spec.frames[0];
        if (first.width == spec.width && first.height == spec.height) {
            for (int y = 0; y < spec.height; ++y)
                for (int x = 0; x < spec.width; ++x)
                    ASSERT_EQ(image.pixelIndex(x, y), first.pixels[size_t(y) * spec.width + x]) << x << ", " << y;
        }
        if (c.toolkitAgrees)
            expectSameAsToolkit(path, image);
    }
}

TEST_F(GifReaderTest, KeepsDecodingWhenTheTableIsFullUntilAClear)
{
    // Literals only: every code after the first defines an entry, so the
    // table fills and stays full at 12-bit codes (a deferred clear), then a
    // clear starts again at 3-bit codes.
    const int width = 97, height = 61;
    GifCodes codes(2);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 5000; ++i) {
        int index = (i * 7 + i / 13) % 4;
        codes.literal(index);
        expected.push_back(uint8_t(index));
    }
    ASSERT_EQ(codes.tableSize(), 4096);
    codes.clear();
    while (expected.size() < size_t(width) * height) {
        int index = int(expected.size() % 3);
        codes.literal(index);
        expected.push_back(uint8_t(index));
    }
    codes.end();
    std::string bytes = handMadeGif(width, height, codes.blocks());
    dir.write("deferred.gif", bytes);
    QImage image;
    std::string why;
    ASSERT_TRUE(decodeBytes(bytes, image, &why)) << why;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(image.pixelIndex(x, y), expected[size_t(y) * width + x]) << x << ", " << y;
    expectSameAsToolkit(dir.file("deferred.gif"), image);
}

TEST_F(GifReaderTest, EarlyEndLeavesTheRestBlack)
{
    // End code after 10 of 24 pixels; no transparency, so the rest is
    // opaque black as the toolkit shows it, even without black in the table.
    GifCodes codes(2);
    for (int i = 0; i < 10; ++i)
        codes.literal(i % 3 + 1);
    codes.end();
    std::string bytes = handMadeGif(6, 4, codes.blocks());
    dir.write("early.gif", bytes);
    QImage image;
    std::string why;
    ASSERT_TRUE(decodeBytes(bytes, image, &why)) << why;
    EXPECT_EQ(image.pixel(3, 3), 0xff000000u);
    expectSameAsToolkit(dir.file("early.gif"), image);
}

TEST_F(GifReaderTest, LoadKeepsOneBytePerPixelAndOtherFormatsStillLoad)
{
    GifSpec spec{50, 20, 16, 0, {fullFrame(50, 20, patches(50, 20, 16, 3))}};
    writeWithGiflib(dir.file("sheet.gif"), spec);
    VX_Image gif;
    ASSERT_TRUE(gif.load(dir.file("sheet.gif").c_str()));
    ASSERT_TRUE(gif.decode());
    EXPECT_EQ(gif.pixmap->depth(), 8);
    expectSameAsToolkit(dir.file("sheet.gif"), gif.pixmap->toImage());

    QImage png(7, 5, QImage::Format_RGB32);
    png.fill(0x123456);
    ASSERT_TRUE(png.save(QString::fromStdString(dir.file("other.png")), "PNG"));
    VX_Image other;
    ASSERT_TRUE(other.load(dir.file("other.png").c_str()));
    EXPECT_EQ(other.pixmap->size(), QSize(7, 5));
    EXPECT_EQ(other.pixmap->toImage().pixel(6, 4), 0xff123456u);
}

TEST_F(GifReaderTest, RefusesBrokenFiles)
{
    GifSpec spec{64, 32, 256, 0, {fullFrame(64, 32, noise(64, 32, 256, 4))}};
    writeWithGiflib(dir.file("good.gif"), spec);
    const std::string good = readFile(dir.file("good.gif"));
    const size_t frameData = 13 + 3 * 256 + 10 + 1;  // after the header, table, descriptor and code size
    std::string noDescriptor = good.substr(0, 13 + 3 * 256) + ";";
    std::string huge = handMadeGif(20000, 2, "");
    std::string tooManyPixels = handMadeGif(16384, 16384, "");
    std::string emptyFrame = handMadeGif(0, 0, std::string{2, 1, 0x04, 0});
    // The toolkit reads code sizes up to 12 and refuses larger ones.
    std::string badCodeSize = handMadeGif(2, 2, std::string{13, 1, 0, 0});
    std::string unknownBlock = good.substr(0, 13 + 3 * 256) + "x" + good.substr(13 + 3 * 256);
    struct Row {
        const char *what;
        std::string bytes;
    } rows[] = {
        {"empty file", ""},
        {"text file", "this is not a picture\n"},
        {"signature only", "GIF89a"},
        {"truncated in the screen descriptor", good.substr(0, 10)},
        {"truncated in the colour table", good.substr(0, 13 + 100)},
        {"truncated in the image descriptor", good.substr(0, 13 + 3 * 256 + 5)},
        {"truncated before the image data", good.substr(0, frameData - 1)},
        {"truncated at the start of the image data", good.substr(0, frameData + 3)},
        {"truncated halfway through the image data", good.substr(0, (frameData + good.size()) / 2)},
        {"no image descriptor", noDescriptor},
        {"screen wider than allowed", huge},
        {"more pixels than allowed", tooManyPixels},
        {"frame of no size", emptyFrame},
        {"LZW code size 13", badCodeSize},
        {"unknown block", unknownBlock},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        QImage image(3, 3, QImage::Format_RGB32);
        std::string why;
        EXPECT_FALSE(decodeBytes(row.bytes, image, &why));
        EXPECT_TRUE(image.isNull());
        EXPECT_FALSE(why.empty());
    }
}

// Damaged image data inside intact blocks is no reason to refuse a file the
// toolkit reads: it is drawn as the toolkit draws it, pixel for pixel.
TEST_F(GifReaderTest, DrawsDamagedDataAsTheToolkitDoes)
{
    auto codes = [](int minCodeSize, const std::function<void(GifCodes &)> &write) {
        GifCodes c(minCodeSize);
        write(c);
        return c.blocks();
    };
    const struct Row {
        const char *what;
        int width, height;
        std::string data;
    } rows[] = {
        {"code beyond the table after a literal", 4, 1, codes(2, [](GifCodes &c) { c.literal(1); c.put(7); c.end(); })},
        {"string code first", 4, 1, codes(2, [](GifCodes &c) { c.put(6); c.end(); })},
        {"clear, then a code beyond the table", 4, 1, codes(2, [](GifCodes &c) { c.clear(); c.put(7); c.end(); })},
        {"beyond the table mid-picture, then more data", 6, 4, codes(2, [](GifCodes &c) {
             for (int i = 0; i < 10; ++i)
                 c.literal(i % 3 + 1);
             c.put(c.tableSize() + 1);
             for (int i = 0; i < 5; ++i)
                 c.literal(2);
             c.end();
         })},
        {"an entry made from a code beyond the table, then used", 8, 2, codes(2, [](GifCodes &c) {
             c.literal(1);
             c.put(7);      // defines 6, and 7 becomes the previous code
             c.literal(2);  // defines 7 as (7, 2): an entry that points at itself
             c.put(7);
             c.literal(3);
             c.end();
         })},
        {"indices beyond the colour table", 4, 1, codes(3, [](GifCodes &c) { c.literal(4); c.literal(5); c.literal(7); c.end(); })},
        {"no end code", 4, 1, codes(2, [](GifCodes &c) { c.literal(3); })},
        {"code size 0", 4, 2, codes(0, [](GifCodes &c) { for (int i = 0; i < 8; ++i) c.literal(0); c.end(); })},
        {"code size 9", 4, 2, codes(9, [](GifCodes &c) { for (int i = 0; i < 8; ++i) c.literal(i % 3 + 258); c.end(); })},
        {"code size 12", 4, 2, codes(12, [](GifCodes &c) { for (int i = 0; i < 8; ++i) c.literal(i % 3); c.end(); })},
    };
    int n = 0;
    for (const Row &row : rows) {
        const std::string path = dir.file("damaged" + std::to_string(n++) + ".gif");
        SCOPED_TRACE(std::string(row.what) + " (" + path + ")");
        dir.write(path.substr(dir.path().size() + 1), handMadeGif(row.width, row.height, row.data));
        QImage image;
        std::string why;
        ASSERT_TRUE(decodeBytes(readFile(path), image, &why)) << why;
        expectSameAsToolkit(path, image);
    }
}

// Every picture giflib writes for the cases above, with a few bytes of its
// image data (or its code size) overwritten at random: same pixels as the
// toolkit, whatever the damage. The toolkit reads a file in 4 KiB chunks
// and gives nothing when its data breaks off before the last chunk; those
// files are drawn as far as they go all the same. Frames that end above the
// screen's bottom edge are left out: the toolkit goes on drawing surplus
// pixels below such a frame, and the decoder drops them.
TEST_F(GifReaderTest, RandomDamageInsideTheBlocksMatchesTheToolkit)
{
    std::mt19937 random(1234);
    int compared = 0;
    int rounds = 0;
    int n = 0;
    for (const ValidCase &c : validCases()) {
        if (!c.toolkitAgrees)
            continue;
        const GifSpec spec = c.make();
        if (spec.frames[0].top + spec.frames[0].height < spec.height)
            continue;
        const std::string path = dir.file("base" + std::to_string(n++) + ".gif");
        writeWithGiflib(path, spec);
        const std::string good = readFile(path);
        const Frame &frame = spec.frames[0];
        const size_t codeSize = 13 + 3 * spec.globalColours + (frame.transparent >= 0 ? 8 : 0) + 10 +
                                3 * frame.localColours;
        // Offsets of the data bytes, leaving the sub-block sizes alone.
        std::vector<size_t> dataBytes;
        for (size_t at = codeSize + 1; at < good.size() && good[at] != 0; at += 1 + uint8_t(good[at]))
            for (size_t i = 1; i <= uint8_t(good[at]); ++i)
                dataBytes.push_back(at + i);
        ASSERT_FALSE(dataBytes.empty()) << c.what;
        for (int round = 0; round < 20; ++round) {
            std::string bytes = good;
            for (int k = 1 + int(random() % 3); k > 0; --k)
                bytes[dataBytes[random() % dataBytes.size()]] = char(random());
            if (round % 5 == 4)
                bytes[codeSize] = char(random() % 13);
            const std::string damaged = dir.file("damaged.gif");
            dir.write("damaged.gif", bytes);
            SCOPED_TRACE(std::string(c.what) + ", round " + std::to_string(round) + ", code size " +
                         std::to_string(int(bytes[codeSize])));
            QImage image;
            std::string why;
            ASSERT_TRUE(decodeBytes(bytes, image, &why)) << why;
            ++rounds;
            if (QImage(QString::fromStdString(damaged)).isNull())
                continue;
            ++compared;
            expectSameAsToolkit(damaged, image);
            if (HasFailure())
                return;
        }
    }
    EXPECT_GT(compared, rounds * 3 / 4) << compared << " of " << rounds;
}

TEST_F(GifReaderTest, LoadReportsARefusedGif)
{
    std::string truncated = handMadeGif(4, 4, "");
    dir.write("cut.gif", truncated.substr(0, truncated.size() / 2));
    VX_Image image;
    LogCapture log;
    EXPECT_FALSE(image.load(dir.file("cut.gif").c_str()));
    EXPECT_EQ(image.name, nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"VX_Image: can't create QPixmap('" + dir.file("cut.gif") + "')"});
}
