// The engine, layout and key records as they are created: every field holds
// the value the loaders and the state machine start from.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/VX_Engine.h"
#include "engine/VX_Key.h"
#include "engine/VX_Layout.h"

namespace {

struct Field {
    const char *name;
    int64_t actual;
    int64_t expected;
};

void expectFields(const char *record, std::initializer_list<Field> fields)
{
    for (const Field &f : fields)
        EXPECT_EQ(f.actual, f.expected) << record << "." << f.name;
}

TEST(Records, NewEngineLayoutAndKeyHoldTheirCreationValues)
{
    VX_Engine engine;
    expectFields("engine", {
        {"layoutCount[0]", engine.layoutCount[0], 0},
        {"layoutCount[1]", engine.layoutCount[1], 0},
        {"activeRow", engine.activeRow, 0},
        {"activeSlot", engine.activeSlot, 0},
        {"returnSlot", engine.returnSlot, -1},
        {"keyPictures empty", engine.keyPictures.first() == nullptr, 1},
        {"keyPieces empty", engine.keyPieces.first() == nullptr, 1},
        {"boardPictures empty", engine.boardPictures.first() == nullptr, 1},
        {"active layout", engine.activeLayout() == nullptr, 1},
    });
    for (int row = 0; row < VX_Engine::kRows; ++row)
        for (int slot = 0; slot < VX_Engine::kSlots; ++slot)
            EXPECT_EQ(engine.layouts[row][slot], nullptr) << row << "," << slot;

    VX_Layout layout(&engine);
    expectFields("layout", {
        {"name", layout.name == nullptr, 1},
        {"engine", layout.engine == &engine, 1},
        {"type", layout.type, 0},
        {"keyCount", layout.keyCount, 0},
        {"charBytes", layout.charBytes, 1},
        {"modes", layout.modes, 1},
        {"keyWidth", layout.keyWidth, 0},
        {"keyHeight", layout.keyHeight, 0},
        {"pixelUnits", layout.pixelUnits, 1},
        {"tmPeriod", layout.tmPeriod, 400},
        {"tmRate", layout.tmRate, 100},
        {"tmEnumRate", layout.tmEnumRate, 300},
        {"tmEnumReset", layout.tmEnumReset, 1000},
        {"drawPressed", layout.drawPressed, 0},
        {"repeatOn", layout.repeatOn, 0},
        {"fillMethod", layout.fillMethod, 1},
        {"width", layout.width, 240},
        {"height", layout.height, 128},
        {"background", layout.background == nullptr, 1},
        {"red", layout.red, 0},
        {"green", layout.green, 0},
        {"blue", layout.blue, 0},
        {"colorFill", layout.colorFill, 1},
        {"keys", layout.keys == nullptr, 1},
        {"pressedKey", layout.pressedKey, -1},
        {"enumKey", layout.enumKey, -1},
        {"mode", layout.mode, 0},
        {"redrawReleased", layout.redrawReleased, -1},
        {"redrawPressed", layout.redrawPressed, -1},
        {"fullRedraw", layout.fullRedraw, 1},
        {"firstRepeat", layout.firstRepeat, 0},
        {"numberLayout", layout.numberLayout, 0},
        {"textLayout", layout.textLayout, 0},
    });
    EXPECT_STREQ(layout.displayName(), "NoName");

    VX_Key key;
    expectFields("key", {
        {"type", key.type, VX_KEY_UNTYPED},
        {"x", key.x, 0},
        {"y", key.y, 0},
        {"width", key.width, 0},
        {"height", key.height, 0},
        {"charCount[0]", key.charCount[0], 0},
        {"charCount[1]", key.charCount[1], 0},
        {"chars[0] empty", key.chars[0][0], 0},
        {"chars[1] empty", key.chars[1][0], 0},
        {"linkSlot", key.linkSlot, 0},
        {"enumPos", key.enumPos, 0},
        {"enumActive", key.enumActive, 0},
        {"pixInPlace", key.pixInPlace, 0},
    });
    for (int m = 0; m < VX_Key::kModes; ++m)
        for (int s = 0; s < VX_Key::kStates; ++s)
            EXPECT_EQ(key.pix[m][s], nullptr) << "key.pix[" << m << "][" << s << "]";
}

}  // namespace
