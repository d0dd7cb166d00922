#include "tools/skin/SkinLabels.h"

#include <QRegularExpression>
#include <QStringList>
#include <cstring>
#include <sstream>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"

namespace {

constexpr char kLabelTag[] = "#label";

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
    case VX_KEY_LINK: {
        const VX_Layout *target =
            layout.engine ? layout.engine->layoutAt(VX_LAYOUT_AUX, key.linkSlot) : nullptr;
        return target ? QString::fromUtf8(target->displayName()) : QString();
    }
    default:
        return QString();
    }
}
