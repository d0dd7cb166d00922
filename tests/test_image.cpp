// Pictures, pieces and the list that owns and finds them.
#include <gtest/gtest.h>

#include <QPixmap>
#include <unistd.h>

#include <new>
#include <vector>

#include "image/VX_Image.h"
#include "image/VX_ImageList.h"
#include "tests/TestSupport.h"

// While set, every array allocated with new (std::nothrow) in this program
// fails, as it would with memory exhausted.
static bool gRefuseNothrowArrays = false;

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    if (gRefuseNothrowArrays)
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

// A whole picture loaded from a fresh GIF; the list or the test owns it.
VX_Image *loadedPicture(const TempDir &dir, const std::string &name, int w = 8, int h = 4)
{
    dir.writeGif(name, w, h, 0x336699);
    auto *image = new VX_Image;
    EXPECT_TRUE(image->load(dir.file(name).c_str()));
    return image;
}

VX_Image *pieceOf(VX_Image *source, int x, int y, int w, int h)
{
    auto *piece = new VX_Image;
    piece->cutFrom(source, x, y, w, h);
    return piece;
}

}  // namespace

TEST(ImageTest, NewImageIsEmpty)
{
    VX_Image image;
    EXPECT_EQ(image.x, -1);
    EXPECT_EQ(image.y, -1);
    EXPECT_EQ(image.width, -1);
    EXPECT_EQ(image.height, -1);
    EXPECT_EQ(image.name, nullptr);
    EXPECT_EQ(image.pixmap, nullptr);
    EXPECT_EQ(image.parent, nullptr);
    EXPECT_FALSE(image.hasName(""));
}

TEST(ImageTest, WholePictureIsNamedAfterLastSlash)
{
    ensureApp();
    TempDir dir;
    std::string sub = dir.mkdir("a/b");
    dir.writeGif("a/b/bg.gif", 12, 7, 0xff0000);
    VX_Image image;
    ASSERT_TRUE(image.load((sub + "/bg.gif").c_str()));
    EXPECT_STREQ(image.name.get(), "bg.gif");
    ASSERT_TRUE(image.decode());
    ASSERT_NE(image.pixmap, nullptr);
    EXPECT_EQ(image.pixmap->width(), 12);
    EXPECT_EQ(image.pixmap->height(), 7);
    EXPECT_EQ(image.x, -1);
    EXPECT_TRUE(image.hasName("bg.gif"));
    EXPECT_FALSE(image.hasName("BG.gif"));
    EXPECT_TRUE(image.isPiece("bg.gif", -1, -1, -1, -1));
}

TEST(ImageTest, PathWithoutSlashIsTheWholeName)
{
    ensureApp();
    TempDir dir;
    dir.writeGif("k\\s.gif", 3, 3, 0x00ff00);
    // Relative path without '/': run from inside the directory.
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    VX_Image image;
    bool loaded = image.load("k\\s.gif");
    ASSERT_EQ(chdir(saved), 0);
    ASSERT_TRUE(loaded);
    EXPECT_STREQ(image.name.get(), "k\\s.gif");
}

TEST(ImageTest, PieceAnswersWithItsRoot)
{
    ensureApp();
    TempDir dir;
    std::unique_ptr<VX_Image> whole(loadedPicture(dir, "K.gif"));
    std::unique_ptr<VX_Image> piece(pieceOf(whole.get(), 2, 1, 3, 2));
    std::unique_ptr<VX_Image> inner(pieceOf(piece.get(), 0, 0, 1, 1));

    // Decoding through a piece decodes the whole picture it was cut from.
    ASSERT_TRUE(inner->decode());
    ASSERT_NE(whole->pixmap, nullptr);
    EXPECT_EQ(piece->name, nullptr);
    EXPECT_EQ(piece->pixmap, nullptr);
    EXPECT_TRUE(piece->hasName("K.gif"));
    EXPECT_STREQ(piece->rootName(), "K.gif");
    EXPECT_EQ(piece->rootPixmap(), whole->pixmap.get());
    EXPECT_TRUE(piece->isPiece("K.gif", 2, 1, 3, 2));

    // A piece of a piece reports the outermost whole picture.
    EXPECT_TRUE(inner->hasName("K.gif"));
    EXPECT_STREQ(inner->rootName(), "K.gif");
    EXPECT_EQ(inner->rootPixmap(), whole->pixmap.get());
}

TEST(ImageListTest, FindOnEmptyListAndFirstAppendedWins)
{
    ensureApp();
    TempDir dir;
    VX_ImageList list;
    EXPECT_EQ(list.find("K.gif"), nullptr);
    EXPECT_EQ(list.first(), nullptr);

    VX_Image *older = loadedPicture(dir, "K.gif");
    VX_Image *other = loadedPicture(dir, "L.gif");
    VX_Image *newer = loadedPicture(dir, "K.gif");
    ASSERT_TRUE(list.append(older));
    ASSERT_TRUE(list.append(other));
    ASSERT_TRUE(list.append(newer));
    EXPECT_EQ(list.find("K.gif"), older);
    EXPECT_EQ(list.find("L.gif"), other);
    EXPECT_EQ(list.find("M.gif"), nullptr);
    EXPECT_EQ(list.first(), older);
}

TEST(ImageListTest, FindPieceWantsTheExactRectangle)
{
    ensureApp();
    TempDir dir;
    VX_ImageList wholes;
    VX_ImageList pieces;
    VX_Image *k = loadedPicture(dir, "K.gif", 64, 64);
    ASSERT_TRUE(wholes.append(k));
    VX_Image *tall = pieceOf(k, 0, 0, 30, 31);
    ASSERT_TRUE(pieces.append(tall));
    ASSERT_TRUE(pieces.append(pieceOf(k, 30, 0, 30, 30)));

    const struct {
        int x, y, w, h;
        bool found;
    } cases[] = {
        {0, 0, 30, 30, false}, {0, 0, 30, 31, true}, {1, 0, 30, 31, false},
        {0, 1, 30, 31, false}, {0, 0, 31, 31, false}, {30, 0, 30, 30, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ", " << c.w << ", " << c.h
                                        << ")");
        VX_Image *hit = pieces.findPiece("K.gif", c.x, c.y, c.w, c.h);
        EXPECT_EQ(hit != nullptr, c.found);
        if (hit) {
            EXPECT_TRUE(hit->isPiece("K.gif", c.x, c.y, c.w, c.h));
        }
    }
    EXPECT_EQ(pieces.findPiece("L.gif", 0, 0, 30, 31), nullptr);
    // The whole picture matches only the "no rectangle" (-1, -1, -1, -1).
    EXPECT_EQ(wholes.findPiece("K.gif", 0, 0, 30, 30), nullptr);
    EXPECT_EQ(wholes.findPiece("K.gif", -1, -1, -1, -1), k);
}

TEST(ImageListTest, ManyPiecesAreFoundAsAWalkFromTheOldestWould)
{
    ensureApp();
    TempDir dir;
    VX_ImageList wholes;
    VX_Image *k = loadedPicture(dir, "K.gif", 64, 64);
    VX_Image *l = loadedPicture(dir, "L.gif", 64, 64);
    ASSERT_TRUE(wholes.append(k));
    ASSERT_TRUE(wholes.append(l));
    // Enough pieces for the lookup to grow several times; every rectangle
    // twice from K (the older one counts) and once from L.
    VX_ImageList pieces;
    std::vector<VX_Image *> first;
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 300; ++i) {
            VX_Image *piece = pieceOf(k, i % 17, i / 17, 3 + i % 5, 2);
            ASSERT_TRUE(pieces.append(piece));
            if (round == 0)
                first.push_back(piece);
        }
    std::vector<VX_Image *> fromL;
    for (int i = 0; i < 300; ++i) {
        fromL.push_back(pieceOf(l, i % 17, i / 17, 3 + i % 5, 2));
        ASSERT_TRUE(pieces.append(fromL.back()));
    }
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(pieces.findPiece("K.gif", i % 17, i / 17, 3 + i % 5, 2), first[i]);
        EXPECT_EQ(pieces.findPiece("L.gif", i % 17, i / 17, 3 + i % 5, 2), fromL[i]);
        EXPECT_EQ(pieces.findPiece("M.gif", i % 17, i / 17, 3 + i % 5, 2), nullptr);
        EXPECT_EQ(pieces.findPiece("K.gif", i % 17, i / 17, 3 + i % 5, 3), nullptr);
    }
    pieces.clear();
    EXPECT_EQ(pieces.findPiece("K.gif", 0, 0, 3, 2), nullptr);
    VX_Image *again = pieceOf(k, 0, 0, 3, 2);
    ASSERT_TRUE(pieces.append(again));
    EXPECT_EQ(pieces.findPiece("K.gif", 0, 0, 3, 2), again);
}

TEST(ImageListTest, LookupsStayRightWhenTheIndexCannotGrow)
{
    ensureApp();
    TempDir dir;
    VX_ImageList wholes;
    VX_Image *k = loadedPicture(dir, "K.gif", 64, 64);
    ASSERT_TRUE(wholes.append(k));
    // The index starts at 64 slots and grows at half full, at the 33rd and
    // the 65th piece; its next growth, at the 129th, fails, and lookups
    // walk the list from then on.
    VX_ImageList pieces;
    std::vector<VX_Image *> older;
    auto rectangle = [](int i) { return std::vector<int>{i % 13, i / 13, 2 + i % 3, 4}; };
    for (int i = 0; i < 400; ++i) {
        const std::vector<int> r = rectangle(i % 250);  // the last 150 repeat older ones
        VX_Image *piece = pieceOf(k, r[0], r[1], r[2], r[3]);
        gRefuseNothrowArrays = i >= 100;  // only the index's own arrays
        const bool taken = pieces.append(piece);
        gRefuseNothrowArrays = false;
        ASSERT_TRUE(taken) << i;
        if (i < 250)
            older.push_back(piece);
    }
    for (int i = 0; i < 250; ++i) {
        const std::vector<int> r = rectangle(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(pieces.findPiece("K.gif", r[0], r[1], r[2], r[3]), older[i]);
        EXPECT_EQ(pieces.findPiece("K.gif", r[0], r[1], r[2], r[3] + 1), nullptr);
    }
    // Cleared, the list indexes again.
    pieces.clear();
    VX_Image *again = pieceOf(k, 1, 2, 3, 4);
    ASSERT_TRUE(pieces.append(again));
    EXPECT_EQ(pieces.findPiece("K.gif", 1, 2, 3, 4), again);
}

TEST(ImageListTest, ClearEmptiesAndCanRepeat)
{
    ensureApp();
    TempDir dir;
    VX_ImageList list;
    list.clear();  // empty: nothing to free
    EXPECT_EQ(list.first(), nullptr);
    ASSERT_TRUE(list.append(loadedPicture(dir, "A.gif")));
    ASSERT_TRUE(list.append(loadedPicture(dir, "B.gif")));
    list.clear();
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.find("A.gif"), nullptr);
    list.clear();
    // Usable again after clearing: the tail was reset with the head.
    VX_Image *c = loadedPicture(dir, "C.gif");
    ASSERT_TRUE(list.append(c));
    EXPECT_EQ(list.first(), c);
    EXPECT_EQ(list.find("C.gif"), c);
}

// --- Failures ---

TEST(ImageFailureTest, MissingOrBrokenFileKeepsNoName)
{
    ensureApp();
    TempDir dir;
    dir.write("broken.gif", "GIF89a but not really");
    const std::string paths[] = {dir.file("missing.gif"), dir.file("broken.gif")};
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        LogCapture log;
        VX_Image image;
        EXPECT_FALSE(image.load(path.c_str()));
        EXPECT_EQ(image.name, nullptr);
        EXPECT_FALSE(image.hasName("missing.gif"));
        EXPECT_FALSE(image.hasName("broken.gif"));
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{"VX_Image: can't create QPixmap('" + path + "')"});
    }
}

TEST(ImageFailureTest, ListRefusesNoImage)
{
    VX_ImageList list;
    EXPECT_FALSE(list.append(nullptr));
    EXPECT_EQ(list.first(), nullptr);
}
