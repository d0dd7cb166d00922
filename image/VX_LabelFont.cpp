#include "image/VX_LabelFont.h"

#include <QList>
#include <QStringList>

namespace {

// Code points below U+1F000 that are drawn as emoji without a variation
// selector (Emoji_Presentation), as ranges.
constexpr char32_t kBmpEmoji[][2] = {
    {0x231A, 0x231B}, {0x23E9, 0x23EC}, {0x23F0, 0x23F0}, {0x23F3, 0x23F3}, {0x25FD, 0x25FE},
    {0x2614, 0x2615}, {0x2648, 0x2653}, {0x267F, 0x267F}, {0x2693, 0x2693}, {0x26A1, 0x26A1},
    {0x26AA, 0x26AB}, {0x26BD, 0x26BE}, {0x26C4, 0x26C5}, {0x26CE, 0x26CE}, {0x26D4, 0x26D4},
    {0x26EA, 0x26EA}, {0x26F2, 0x26F3}, {0x26F5, 0x26F5}, {0x26FA, 0x26FA}, {0x26FD, 0x26FD},
    {0x2705, 0x2705}, {0x270A, 0x270B}, {0x2728, 0x2728}, {0x274C, 0x274C}, {0x274E, 0x274E},
    {0x2753, 0x2755}, {0x2757, 0x2757}, {0x2795, 0x2797}, {0x27B0, 0x27B0}, {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55},
};

}  // namespace

bool vxIsEmojiLabel(const QString &label)
{
    for (char32_t cp : label.toUcs4()) {
        if (cp == 0xFE0F || cp == 0x200D || (cp >= 0x1F000 && cp <= 0x1FAFF))
            return true;
        for (const auto &range : kBmpEmoji)
            if (cp >= range[0] && cp <= range[1])
                return true;
    }
    return false;
}

QFont vxLabelFont(const QString &label, int pixels)
{
    QFont font;
    const QString text = QStringLiteral("DejaVu Sans");
    const QString emoji = QStringLiteral("Noto Color Emoji");
    font.setFamilies(vxIsEmojiLabel(label) ? QStringList{emoji, text} : QStringList{text, emoji});
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setPixelSize(pixels > 0 ? pixels : 1);
    return font;
}
