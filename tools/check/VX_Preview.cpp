#include "tools/check/VX_Preview.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <set>
#include <vector>

#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"

namespace {

// What painting changes in a layout, put back once its pictures are drawn.
struct PaintState {
    explicit PaintState(const VX_Layout &layout)
        : mode(layout.mode), pressedKey(layout.pressedKey),
          redrawReleased(layout.redrawReleased), redrawPressed(layout.redrawPressed),
          fullRedraw(layout.fullRedraw)
    {
    }
    void restore(VX_Layout &layout) const
    {
        layout.mode = mode;
        layout.pressedKey = pressedKey;
        layout.redrawReleased = redrawReleased;
        layout.redrawPressed = redrawPressed;
        layout.fullRedraw = fullRedraw;
    }
    int32_t mode, pressedKey, redrawReleased, redrawPressed;
    bool fullRedraw;
};

}  // namespace

VX_Preview::VX_Preview(VX_Engine &engine, std::string outDir)
    : engine_(engine), outDir_(std::move(outDir))
{
}

std::string VX_Preview::fileStem(const char *layoutName)
{
    std::string stem(layoutName);
    for (char &c : stem)
        if (c == '/' || c == '\\')
            c = '_';
    return stem;
}

bool VX_Preview::writeAll()
{
    if (!QDir().mkpath(QString::fromLocal8Bit(outDir_.c_str()))) {
        vxLog.print("vexil-check: can't create the preview directory '%s'\n", outDir_.c_str());
        return false;
    }
    bool ok = true;
    // load.cfg may name a layout twice: each copy gets pictures of its own.
    std::set<std::string> used;
    engine_.forEachLayout([&](int32_t, int32_t, VX_Layout &layout) {
        const std::string base = fileStem(layout.displayName());
        std::string stem = base;
        for (int n = 2; used.count(stem); ++n)
            stem = base + "-" + std::to_string(n);
        used.insert(stem);
        ok = writeLayout(layout, stem) && ok;
    });
    return ok;
}

bool VX_Preview::writeLayout(VX_Layout &layout, const std::string &stem)
{
    if (layout.width <= 0 || layout.height <= 0) {
        vxLog.print("vexil-check: %s: a board of %dx%d pixels has no preview\n",
                    layout.displayName(), layout.width, layout.height);
        return false;
    }
    const PaintState saved(layout);
    bool ok = true;
    for (int32_t m = 0; m < layout.modes && m < VX_Key::kModes; ++m) {
        // Pixels that the layout does not paint (fill "none", no background)
        // stay transparent.
        QImage released(layout.width, layout.height, QImage::Format_ARGB32_Premultiplied);
        if (released.isNull()) {
            vxLog.print("vexil-check: %s: can't make a picture of %dx%d pixels\n",
                        layout.displayName(), layout.width, layout.height);
            ok = false;
            break;
        }
        released.fill(Qt::transparent);
        layout.mode = m;
        layout.pressedKey = -1;
        layout.redrawReleased = -1;
        layout.redrawPressed = -1;
        layout.fullRedraw = true;
        {
            QPainter painter(&released);
            layout.paint(painter);
        }

        // Each key is pressed in turn as the board redraws a key pressed:
        // only its own rectangle changes.
        QImage pressed = released.copy();
        {
            QPainter painter(&pressed);
            for (int32_t i = 0; i < layout.keyCount; ++i) {
                const VX_Key &key = layout.keys[i];
                // The keys the hit test can select.
                if (key.type == VX_KEY_LABEL || !key.pix[m][VX_PIX_RELEASED])
                    continue;
                layout.fullRedraw = false;
                layout.pressedKey = i;
                layout.redrawPressed = i;
                layout.paint(painter);
            }
        }

        const std::string name = stem + "-mode" + std::to_string(m);
        ok = save(released, name + ".png") && ok;
        ok = save(pressed, name + "-pressed.png") && ok;
        layout.mode = m;
        ok = writeAlternates(layout, name + "-alternates.png") && ok;
    }
    saved.restore(layout);
    return ok;
}

bool VX_Preview::writeAlternates(VX_Layout &layout, const std::string &fileName)
{
    // Each key with alternates in this mode, in key order: the key, then
    // its popup as a long press opens it, the cell nearest the key's centre
    // highlighted.
    constexpr int kMargin = 8;
    struct Row {
        int32_t key;
        VX_Popup popup;
    };
    std::vector<Row> rows;
    int width = 0, height = kMargin;
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        const VX_Key &key = layout.keys[i];
        if (!key.pix[layout.mode][VX_PIX_RELEASED])
            continue;
        Row row{i, VX_Popup()};
        layout.alternates.fill(key, layout.mode, row.popup.items);
        if (row.popup.items.count == 0)
            continue;
        row.popup.open(VX_Popup::ALTERNATES, i, key, layout.width, key.width, key.height);
        row.popup.highlight = row.popup.pick(key.x + key.width / 2, key.y + key.height / 2);
        width = std::max(width, kMargin + key.width + kMargin + row.popup.width() + kMargin);
        height += std::max(key.height, row.popup.height()) + kMargin;
        rows.push_back(row);
    }
    if (rows.empty())
        return true;
    QImage sheet(width, height, QImage::Format_RGB32);
    if (sheet.isNull()) {
        vxLog.print("vexil-check: %s: can't make a picture of %dx%d pixels\n", layout.displayName(), width, height);
        return false;
    }
    sheet.fill(QColor(layout.red, layout.green, layout.blue));
    const VX_Popup kept = layout.popup;
    {
        QPainter painter(&sheet);
        int y = kMargin;
        for (const Row &row : rows) {
            const VX_Key &key = layout.keys[row.key];
            painter.save();
            painter.translate(kMargin, y);
            layout.paintKey(painter, row.key);
            painter.restore();
            layout.popup = row.popup;
            painter.save();
            painter.translate(kMargin + key.width + kMargin, y);
            layout.paintPopup(painter, 1.0);
            painter.restore();
            y += std::max(key.height, row.popup.height()) + kMargin;
        }
    }
    layout.popup = kept;
    return save(sheet, fileName);
}

bool VX_Preview::save(const QImage &image, const std::string &fileName)
{
    const std::string path = outDir_ + "/" + fileName;
    if (!image.save(QString::fromLocal8Bit(path.c_str()), "PNG")) {
        vxLog.print("vexil-check: can't write '%s'\n", path.c_str());
        return false;
    }
    return true;
}
