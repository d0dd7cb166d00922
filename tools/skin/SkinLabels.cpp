#include "tools/skin/SkinLabels.h"

#include <xkbcommon/xkbcommon.h>

#include <QRegularExpression>
#include <QStringList>
#include <cstring>
#include <sstream>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"

namespace {

constexpr char kLabelTag[] = "#label";
constexpr char kHideTag[] = "#hide";

// Name of the basic layout a switch key of basic `layout` leads to, or ""
// when the layout is not placed in the engine or is the only one.
QString nextBasicName(const VX_Layout &layout)
{
    const VX_Engine *engine = layout.engine;
    if (!engine)
        return QString();
    QString name;
    engine->forEachLayout([&](int32_t row, int32_t slot, const VX_Layout &each) {
        VX_Engine::Place from;
        VX_Engine::Place to;
        from.row = row;
        from.slot = slot;
        if (&each == &layout && row == VX_LAYOUT_BASIC && engine->nextBasic(from, to))
            name = QString::fromUtf8(engine->layoutAt(to.row, to.slot)->displayName());
    });
    return name;
}

}  // namespace

bool SkinLabels::read(const std::string &fileText, std::string &error)
{
    std::istringstream lines(fileText);
    std::string line;
    unsigned lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (line.compare(0, sizeof kHideTag - 1, kHideTag) == 0 && line.size() >= sizeof kHideTag &&
            (line[sizeof kHideTag - 1] == ' ' || line[sizeof kHideTag - 1] == '\t')) {
            const QStringList words = QString::fromUtf8(line.c_str() + sizeof kHideTag - 1)
                                          .split(QRegularExpression("[ \t\r]+"), Qt::SkipEmptyParts);
            bool isNumber = false;
            const int index = words.isEmpty() ? -1 : words[0].toInt(&isNumber);
            bool modesOk = words.size() >= 2;
            std::vector<int> modes;
            for (int w = 1; w < words.size() && modesOk; ++w) {
                const int mode = words[w].toInt(&modesOk);
                modesOk = modesOk && mode >= 0 && mode < VX_Key::kModes;
                modes.push_back(mode);
            }
            if (!isNumber || index < 0 || !modesOk) {
                error = "line " + std::to_string(lineNumber) + ": expected '#hide <key index> <mode> [<mode>]'";
                return false;
            }
            for (int mode : modes)
                hidden_.insert({index, mode});
            continue;
        }
        if (line.compare(0, sizeof kLabelTag - 1, kLabelTag) != 0)
            continue;
        const char after = line.size() >= sizeof kLabelTag ? line[sizeof kLabelTag - 1] : ' ';
        if (after != ' ' && after != '\t')
            continue;  // another comment, such as "#labels ..."
        const QStringList words =
            QString::fromUtf8(line.c_str() + sizeof kLabelTag - 1).split(QRegularExpression("[ \t\r]+"), Qt::SkipEmptyParts);
        bool isNumber = false;
        const int index = words.isEmpty() ? -1 : words[0].toInt(&isNumber);
        if (!isNumber || index < 0 || words.size() < 2) {
            error = "line " + std::to_string(lineNumber) + ": expected '#label <key index> <text> [<text of mode 1>]'";
            return false;
        }
        overrides_[index] = std::vector<QString>(words.begin() + 1, words.end());
    }
    return true;
}

namespace {

struct KeysymLabel {
    uint32_t keysym;     // XKB keysym
    const char16_t *text;  // what its key shows
};

// Short labels of the keys a full keyboard has, as keyboards print them.
constexpr KeysymLabel kKeysymLabels[] = {
    {XKB_KEY_Escape, u"Esc"},      {XKB_KEY_Tab, u"Tab"},        {XKB_KEY_BackSpace, u"\u232B"},
    {XKB_KEY_Return, u"\u23CE"},   {XKB_KEY_Delete, u"Del"},     {XKB_KEY_Insert, u"Ins"},
    {XKB_KEY_Home, u"Home"},       {XKB_KEY_End, u"End"},        {XKB_KEY_Prior, u"PgUp"},
    {XKB_KEY_Next, u"PgDn"},       {XKB_KEY_Left, u"\u2190"},    {XKB_KEY_Up, u"\u2191"},
    {XKB_KEY_Right, u"\u2192"},    {XKB_KEY_Down, u"\u2193"},    {XKB_KEY_Print, u"PrtSc"},
    {XKB_KEY_Pause, u"Pause"},     {XKB_KEY_Menu, u"Menu"},      {XKB_KEY_space, u"\u2423"},
    {XKB_KEY_Caps_Lock, u"\u21EA"}, {XKB_KEY_Num_Lock, u"Num"},   {XKB_KEY_Scroll_Lock, u"Scroll"},
    {XKB_KEY_Shift_L, u"\u21E7"},  {XKB_KEY_Shift_R, u"\u21E7"},
    {XKB_KEY_Control_L, u"Ctrl"},  {XKB_KEY_Control_R, u"Ctrl"},
    {XKB_KEY_Alt_L, u"Alt"},       {XKB_KEY_Alt_R, u"Alt"},
    {XKB_KEY_Super_L, u"Super"},   {XKB_KEY_Super_R, u"Super"},
};

}  // namespace

QString SkinLabels::namedLabel(uint32_t keysym)
{
    for (const KeysymLabel &entry : kKeysymLabels)
        if (entry.keysym == keysym)
            return QString::fromUtf16(entry.text);
    if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F35)
        return QStringLiteral("F") + QString::number(keysym - XKB_KEY_F1 + 1);
    // A key that types a character shows it; any other its keysym name.
    const uint32_t cp = xkb_keysym_to_utf32(keysym);
    if (cp > 0x20 && cp != 0x7f) {
        const char32_t point = cp;
        return QString::fromUcs4(&point, 1);
    }
    char name[64];
    if (xkb_keysym_get_name(keysym, name, sizeof name) > 0)
        return QString::fromUtf8(name);
    return QString();
}

bool SkinLabels::hidden(int index, int mode) const { return hidden_.count({index, mode}) > 0; }

QString SkinLabels::label(const VX_Layout &layout, int index, int mode) const
{
    auto found = overrides_.find(index);
    if (found != overrides_.end()) {
        const std::vector<QString> &texts = found->second;
        return static_cast<size_t>(mode) < texts.size() ? texts[static_cast<size_t>(mode)] : texts.back();
    }
    return defaultLabel(layout, index, mode);
}

QString SkinLabels::defaultLabel(const VX_Layout &layout, int index, int mode)
{
    const VX_Key &key = layout.keys[index];
    switch (key.type) {
    case VX_KEY_ALPHA:
        return QString::fromUtf8(key.chars[mode], static_cast<int>(strnlen(key.chars[mode], VX_Key::kCharsSize)));
    case VX_KEY_BKS:
        return QStringLiteral(u"\u232B");  // erase to the left
    case VX_KEY_ENT:
        return QStringLiteral(u"\u23CE");  // return symbol
    case VX_KEY_CAPS:
        return QStringLiteral(u"\u21EA");  // caps lock arrow
    case VX_KEY_TAB:
        return QStringLiteral(u"\u21E5");  // rightwards arrow to bar
    case VX_KEY_SPACE:
        return QStringLiteral(u"\u2423");  // open box
    case VX_KEY_SHIFT:
        return QStringLiteral(u"\u21E7");  // upwards white arrow
    case VX_KEY_SWITCH: {
        if (layout.type == VX_LAYOUT_AUX)
            return QStringLiteral(u"\u21E6");  // back: leftwards white arrow
        const QString next = nextBasicName(layout);
        return next.isEmpty() ? QStringLiteral(u"\u21C4") : QStringLiteral(u"\u21C4 ") + next;
    }
    case VX_KEY_NAMED:
    case VX_KEY_MODIFIER:
        return namedLabel(key.keysym);
    case VX_KEY_LINK: {
        const VX_Layout *target =
            layout.engine ? layout.engine->layoutAt(VX_LAYOUT_AUX, key.linkSlot) : nullptr;
        return target ? QString::fromUtf8(target->displayName()) : QString();
    }
    default:
        return QString();
    }
}
