#include "interaction/VX_Popup.h"

#include <algorithm>
#include <cstring>

#include "base/VX_Utf8.h"
#include "engine/VX_Key.h"

bool VX_PopupItems::contains(const char *text) const
{
    for (int32_t i = 0; i < count; ++i)
        if (std::strcmp(texts[i], text) == 0)
            return true;
    return false;
}

bool VX_PopupItems::add(const char *text, int32_t action)
{
    if (count >= kMaxItems || !text || !*text)
        return false;
    // Whole characters only: a text too long ends before the character
    // that would not fit.
    size_t length = 0;
    const size_t size = std::strlen(text);
    while (length < size) {
        const int n = vxUtf8CharLength(text + length, size - length);
        if (n <= 0 || length + static_cast<size_t>(n) > static_cast<size_t>(kTextSize - 1))
            break;
        length += static_cast<size_t>(n);
    }
    if (length == 0)
        return false;
    char cut[kTextSize];
    std::memcpy(cut, text, length);
    cut[length] = '\0';
    if (contains(cut))
        return false;
    std::memcpy(texts[count], cut, length + 1);
    actions[count] = action;
    ++count;
    return true;
}

void VX_Popup::open(Kind kindOf, int32_t keyIndex, const VX_Key &onKey, int32_t boardWidth, int32_t cellW,
                    int32_t cellH, int32_t maxColumns)
{
    if (items.count <= 0 || kindOf == CLOSED) {
        close();
        return;
    }
    kind = kindOf;
    key = keyIndex;
    cellWidth = std::max<int32_t>(1, cellW);
    cellHeight = std::max<int32_t>(1, cellH);
    const int32_t fit = std::max<int32_t>(1, boardWidth / cellWidth);
    columns = std::min(items.count, maxColumns > 0 ? std::min(fit, maxColumns) : fit);
    rows = (items.count + columns - 1) / columns;
    const int64_t centre = int64_t(onKey.x) + onKey.width / 2;
    int64_t left = centre - width() / 2;
    // Inside the board where it fits, else from its left edge.
    left = std::min<int64_t>(left, int64_t(boardWidth) - width());
    left = std::max<int64_t>(left, 0);
    x = static_cast<int32_t>(left);
    y = static_cast<int32_t>(std::max<int64_t>(int64_t(onKey.y) - kGap - height(), -(int64_t(1) << 28)));
    keyBottom = static_cast<int32_t>(std::min<int64_t>(int64_t(onKey.y) + onKey.height, int64_t(1) << 28));
    highlight = -1;
}

void VX_Popup::close()
{
    kind = CLOSED;
    key = -1;
    highlight = -1;
    columns = rows = 0;
}

void VX_Popup::cellAt(int32_t index, int32_t &cx, int32_t &cy) const
{
    const int32_t row = columns > 0 ? index / columns : 0;  // 0: the row nearest the key
    const int32_t column = columns > 0 ? index % columns : 0;
    cx = x + column * cellWidth;
    cy = y + (rows - 1 - row) * cellHeight;
}

int32_t VX_Popup::pick(int32_t px, int32_t py) const
{
    if (!isOpen())
        return -1;
    const int64_t left = int64_t(x) - cellWidth / 2;
    const int64_t right = int64_t(x) + width() + cellWidth / 2;
    const int64_t top = int64_t(y) - cellHeight / 2;
    // Alternates: the finger still on the key picks the nearest cell. A
    // menu picks only when the finger reaches its entries.
    const int64_t bottom = kind == MENU ? int64_t(y) + height() : int64_t(keyBottom) + cellHeight / 2;
    if (px < left || px >= right || py < top || py >= bottom)
        return -1;
    const int32_t column = static_cast<int32_t>(std::clamp<int64_t>((px - int64_t(x)) / cellWidth, 0, columns - 1));
    // Rows counted from the top; below the popup (on the key) is the first row.
    const int32_t fromTop = static_cast<int32_t>(std::clamp<int64_t>((py - int64_t(y)) / cellHeight, 0, rows - 1));
    const int32_t row = rows - 1 - fromTop;
    const int32_t inRow = std::min(columns, items.count - row * columns);
    return row * columns + std::min(column, inRow - 1);
}
