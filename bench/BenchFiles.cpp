#include "bench/BenchFiles.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdio>
#include <fstream>
#include <gif_lib.h>
#include <vector>

namespace {

struct KeyDef {
    std::string type;      // [Layout] word
    int x, y, w, h;        // board rectangle
    std::string chars[2];  // alpha keys: the string of each mode
    std::string label[2];  // drawn on the key's pictures
};

struct LayoutDef {
    std::string name;
    int type = 0;  // 0 basic, 1 aux
    int charBytes = 1;
    int modes = 1;
    int width = 0;
    int height = 0;
    std::vector<KeyDef> keys;
};

bool writeText(const std::string &path, const std::string &text, std::string &error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void addKey(LayoutDef &def, const std::string &type, int x, int y, int w, int h,
            const std::string &m0 = std::string(), const std::string &m1 = std::string())
{
    KeyDef key{type, x, y, w, h, {}, {}};
    if (type == "alpha") {
        key.chars[0] = m0;
        key.chars[1] = m1.empty() ? m0 : m1;
        key.label[0] = m0;
        key.label[1] = key.chars[1];
    } else {
        key.label[0] = key.label[1] = type;
    }
    def.keys.push_back(key);
}

// A row of alpha keys, one string per key and mode, split at blanks.
void addAlphaRow(LayoutDef &def, int x, int y, int w, int h, const std::string &lower,
                 const std::string &upper)
{
    auto split = [](const std::string &s) {
        std::vector<std::string> words;
        size_t start = 0;
        while (start < s.size()) {
            size_t end = s.find(' ', start);
            if (end == std::string::npos)
                end = s.size();
            if (end > start)
                words.push_back(s.substr(start, end - start));
            start = end + 1;
        }
        return words;
    };
    std::vector<std::string> lo = split(lower), up = split(upper.empty() ? lower : upper);
    for (size_t i = 0; i < lo.size(); ++i)
        addKey(def, "alpha", x + static_cast<int>(i) * w, y, w, h, lo[i], i < up.size() ? up[i] : lo[i]);
}

LayoutDef digitsLayout()
{
    LayoutDef d{"digits", 1, 1, 1, 240, 220, {}};
    const char *rows[] = {"7 8 9 /", "4 5 6 *", "1 2 3 -", "0 . = +"};
    for (int r = 0; r < 4; ++r)
        addAlphaRow(d, 0, r * 44, 60, 44, rows[r], "");
    addKey(d, "bks", 0, 176, 60, 44);
    addKey(d, "space", 60, 176, 60, 44);
    addKey(d, "ent", 120, 176, 60, 44);
    addKey(d, "switch", 180, 176, 60, 44);
    return d;
}

LayoutDef symbolsLayout()
{
    LayoutDef d{"symbols", 1, 1, 1, 440, 176, {}};
    const char *rows[] = {"! @ # $ % ^ & * ( )", "~ ` - _ = + { } [ ]", "| \\ : ; \" ' < > ? /"};
    for (int r = 0; r < 3; ++r)
        addAlphaRow(d, 0, r * 44, 44, 44, rows[r], "");
    addKey(d, "tab", 0, 132, 88, 44);
    addKey(d, "bks", 88, 132, 88, 44);
    addKey(d, "space", 176, 132, 88, 44);
    addKey(d, "ent", 264, 132, 88, 44);
    addKey(d, "switch", 352, 132, 88, 44);
    return d;
}

LayoutDef qwertyLayout()
{
    LayoutDef d{"qwerty", 0, 1, 2, 484, 220, {}};
    addAlphaRow(d, 0, 0, 44, 44, "1 2 3 4 5 6 7 8 9 0 -", "! @ # $ % ^ & * ( ) _");
    addAlphaRow(d, 0, 44, 44, 44, "q w e r t y u i o p", "Q W E R T Y U I O P");
    addKey(d, "bks", 440, 44, 44, 44);
    addAlphaRow(d, 0, 88, 44, 44, "a s d f g h j k l ;", "A S D F G H J K L :");
    addKey(d, "ent", 440, 88, 44, 44);
    addKey(d, "caps", 0, 132, 44, 44);
    addAlphaRow(d, 44, 132, 44, 44, "z x c v b n m , . /", "Z X C V B N M < > ?");
    addKey(d, "tab", 0, 176, 66, 44);
    addKey(d, "digits", 66, 176, 66, 44);
    addKey(d, "symbols", 132, 176, 66, 44);
    addKey(d, "space", 198, 176, 220, 44);
    addKey(d, "switch", 418, 176, 66, 44);
    return d;
}

LayoutDef phoneLayout()
{
    LayoutDef d{"phone", 0, 1, 2, 320, 250, {}};
    const char *lower[] = {".,?!1 abc2 def3", "ghi4 jkl5 mno6", "pqrs7 tuv8 wxyz9"};
    const char *upper[] = {".,?!1 ABC2 DEF3", "GHI4 JKL5 MNO6", "PQRS7 TUV8 WXYZ9"};
    for (int r = 0; r < 3; ++r)
        addAlphaRow(d, 0, r * 50, 80, 50, lower[r], upper[r]);
    addKey(d, "bks", 240, 0, 80, 50);
    addKey(d, "ent", 240, 50, 80, 50);
    addKey(d, "caps", 240, 100, 80, 50);
    addKey(d, "digits", 0, 150, 80, 50);
    addAlphaRow(d, 80, 150, 80, 50, "0", "0");
    addKey(d, "symbols", 160, 150, 80, 50);
    addKey(d, "switch", 240, 150, 80, 50);
    addKey(d, "space", 0, 200, 320, 50);
    return d;
}

LayoutDef cyrillicLayout()
{
    LayoutDef d{"cyrillic", 0, 2, 2, 480, 176, {}};
    addAlphaRow(d, 0, 0, 40, 44, "й ц у к е н г ш щ з х ъ", "Й Ц У К Е Н Г Ш Щ З Х Ъ");
    addAlphaRow(d, 0, 44, 40, 44, "ф ы в а п р о л д ж э ё", "Ф Ы В А П Р О Л Д Ж Э Ё");
    addKey(d, "caps", 0, 88, 40, 44);
    addAlphaRow(d, 40, 88, 40, 44, "я ч с м и т ь б ю", "Я Ч С М И Т Ь Б Ю");
    addKey(d, "bks", 400, 88, 80, 44);
    addKey(d, "tab", 0, 132, 60, 44);
    addKey(d, "digits", 60, 132, 60, 44);
    addKey(d, "space", 120, 132, 180, 44);
    addKey(d, "ent", 300, 132, 90, 44);
    addKey(d, "switch", 390, 132, 90, 44);
    return d;
}

LayoutDef gridLayout(int cols, int rows)
{
    LayoutDef d{"grid", 0, 1, 1, cols * 40, rows * 40, {}};
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            std::string ch(1, static_cast<char>('!' + (r * cols + c) % 90));
            addKey(d, "alpha", c * 40, r * 40, 40, 40, ch, ch);
        }
    return d;
}

// Picture sheet of a layout: for mode m and state s (0 released, 1 pressed)
// a band of the board's size at y = (2m + s) * height, each key drawn at its
// own place in the band.
QImage drawSheet(const LayoutDef &def)
{
    QImage sheet(def.width, def.height * 2 * def.modes, QImage::Format_RGB32);
    sheet.fill(QColor(30, 34, 42));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(16);
    p.setFont(font);
    for (int m = 0; m < def.modes; ++m)
        for (int s = 0; s < 2; ++s) {
            const int top = (2 * m + s) * def.height;
            for (const KeyDef &k : def.keys) {
                QRect face(k.x + 2, top + k.y + 2, k.w - 4, k.h - 4);
                p.setPen(QColor(12, 14, 18));
                p.setBrush(s ? QColor(90, 140, 220) : QColor(70, 76, 88));
                p.drawRoundedRect(face, 6, 6);
                p.setPen(s ? QColor(255, 255, 255) : QColor(230, 232, 236));
                p.drawText(face, Qt::AlignCenter, QString::fromUtf8(k.label[m].c_str()));
            }
        }
    p.end();
    return sheet;
}

QImage drawBackground(int width, int height, QColor top, QColor bottom)
{
    QImage bg(width, height, QImage::Format_RGB32);
    QPainter p(&bg);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    p.fillRect(bg.rect(), gradient);
    p.end();
    return bg;
}

std::string layoutText(const LayoutDef &def)
{
    std::string t = "# " + def.name + ": generated for the benchmarks\n[Common]\n";
    char line[256];
    std::snprintf(line, sizeof line,
                  "type %d alpha %d keys %zu mode %d bwid 40 bhei 40 pixs 1\n"
                  "draw-pressed 1 repeat-on 1 tm-period 500 tm-rate 80\n",
                  def.type, def.charBytes, def.keys.size(), def.modes);
    t += line;
    std::snprintf(line, sizeof line, "[Board]\nwid %d hei %d color (30 34 42) fill pixmap\n",
                  def.width, def.height);
    t += line;
    t += "[Layout]\n";
    for (size_t i = 0; i < def.keys.size(); ++i)
        t += def.keys[i].type + ((i % 10 == 9 || i + 1 == def.keys.size()) ? "\n" : " ");
    t += "[Geometry]\n";
    for (size_t i = 0; i < def.keys.size(); ++i) {
        const KeyDef &k = def.keys[i];
        std::snprintf(line, sizeof line, "(%d %d %d %d)%s", k.x, k.y, k.w, k.h,
                      (i % 6 == 5 || i + 1 == def.keys.size()) ? "\n" : " ");
        t += line;
    }
    t += "[Strings]\n";
    for (const KeyDef &k : def.keys) {
        if (k.type != "alpha")
            continue;
        // A blank first: '#' or '[' in the first column would start a
        // comment or a section.
        t += def.modes == 1 ? " " + k.chars[0] + "\n" : " ( " + k.chars[0] + " " + k.chars[1] + " )\n";
    }
    t += "[Pixs]\n";
    for (const KeyDef &k : def.keys) {
        t += "(";
        for (int m = 0; m < def.modes; ++m) {
            std::snprintf(line, sizeof line, " (%d %d) (%d %d)%s", k.x, k.y + 2 * m * def.height, k.x,
                          k.y + (2 * m + 1) * def.height, m + 1 < def.modes ? " |" : "");
            t += line;
        }
        t += " )\n";
    }
    return t;
}

bool writeLayout(const std::string &dir, const LayoutDef &def, std::string &error)
{
    return writeText(dir + "/" + def.name + ".cfg", layoutText(def), error) &&
           writeGifFile(dir + "/" + def.name + ".gif", drawSheet(def), error) &&
           writeGifFile(dir + "/" + def.name + "_bg.gif",
                        drawBackground(def.width, def.height, QColor(40, 44, 54), QColor(20, 22, 28)),
                        error);
}

}  // namespace

bool writeGifFile(const std::string &path, const QImage &image, std::string &error)
{
    QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    const int colours = indexed.colorCount();
    int mapSize = 2;
    while (mapSize < colours)
        mapSize *= 2;
    std::vector<GifColorType> map(static_cast<size_t>(mapSize), GifColorType{0, 0, 0});
    for (int i = 0; i < colours; ++i) {
        const QRgb c = indexed.color(i);
        map[static_cast<size_t>(i)] = GifColorType{static_cast<GifByteType>(qRed(c)),
                                                   static_cast<GifByteType>(qGreen(c)),
                                                   static_cast<GifByteType>(qBlue(c))};
    }
    int status = 0;
    GifFileType *gif = EGifOpenFileName(path.c_str(), false, &status);
    if (!gif) {
        error = "cannot create " + path + ": " + GifErrorString(status);
        return false;
    }
    ColorMapObject *cmap = GifMakeMapObject(mapSize, map.data());
    bool ok = cmap && EGifPutScreenDesc(gif, indexed.width(), indexed.height(), 8, 0, cmap) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, indexed.width(), indexed.height(), false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < indexed.height(); ++y)
        ok = EGifPutLine(gif, const_cast<GifPixelType *>(indexed.constScanLine(y)), indexed.width()) == GIF_OK;
    if (!ok)
        error = "cannot write " + path + ": " + GifErrorString(gif->Error);
    if (EGifCloseFile(gif, &status) != GIF_OK && ok) {
        error = "cannot close " + path + ": " + GifErrorString(status);
        ok = false;
    }
    GifFreeMapObject(cmap);
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

bool writeLayoutSet(const std::string &dir, std::string &error)
{
    // Aux layouts come first: links resolve only to aux layouts already placed.
    const LayoutDef set[] = {digitsLayout(), symbolsLayout(), qwertyLayout(), phoneLayout(),
                             cyrillicLayout()};
    std::string list = "# generated for the benchmarks\n";
    for (const LayoutDef &def : set) {
        if (!writeLayout(dir, def, error))
            return false;
        list += def.name + "\n";
    }
    return writeText(dir + "/load.cfg", list, error) &&
           writeGifFile(dir + "/bg.gif", drawBackground(484, 250, QColor(36, 40, 50), QColor(16, 18, 24)),
                        error);
}

bool writeGridLayout(const std::string &dir, int cols, int rows, std::string &error)
{
    return writeLayout(dir, gridLayout(cols, rows), error) &&
           writeText(dir + "/load.cfg", "grid\n", error);
}

std::string largeLayoutText(size_t minBytes)
{
    const LayoutDef parts[] = {qwertyLayout(), phoneLayout(), cyrillicLayout(), symbolsLayout()};
    std::string text;
    for (size_t i = 0; text.size() < minBytes; ++i)
        text += layoutText(parts[i % 4]);
    return text;
}
