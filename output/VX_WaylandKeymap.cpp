#include "output/VX_WaylandKeymap.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "base/VX_Keysym.h"
#include "base/VX_Utf8.h"
#include "interaction/VX_Modifiers.h"

namespace {

bool isFixed(int keycode)
{
    return keycode == VX_WaylandKeymap::kBackSpace || keycode == VX_WaylandKeymap::kTab ||
           keycode == VX_WaylandKeymap::kReturn || keycode == VX_WaylandKeymap::kSpace;
}

struct ContextFree {
    void operator()(xkb_context *context) const { xkb_context_unref(context); }
};
struct KeymapFree {
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
};

}  // namespace

int VX_WaylandKeymap::keycodeOf(uint32_t cp) const
{
    switch (cp) {
    case '\t':
        return kTab;
    case '\n':
    case '\r':
        return kReturn;
    case ' ':
        return kSpace;
    case '\b':
        return kBackSpace;
    default:
        break;
    }
    for (const auto &entry : chars_)
        if (entry.first == cp)
            return entry.second;
    return 0;
}

int VX_WaylandKeymap::freeKeycode(int from) const
{
    auto taken = [](const std::vector<std::pair<uint32_t, int>> &list, int keycode) {
        return std::any_of(list.begin(), list.end(),
                           [keycode](const std::pair<uint32_t, int> &e) { return e.second == keycode; });
    };
    for (int keycode = from; keycode <= kLastKeycode; ++keycode)
        if (!isFixed(keycode) && !taken(chars_, keycode) && !taken(keys_, keycode))
            return keycode;
    return 0;
}

int VX_WaylandKeymap::keycodeOfKeysym(uint32_t keysym) const
{
    switch (keysym) {
    case XKB_KEY_BackSpace:
        return kBackSpace;
    case XKB_KEY_Tab:
        return kTab;
    case XKB_KEY_Return:
        return kReturn;
    case XKB_KEY_space:
        return kSpace;
    default:
        break;
    }
    const uint32_t cp = xkb_keysym_to_utf32(keysym);
    if (cp != 0 && vxCharKeysym(cp) == keysym)
        return keycodeOf(cp);
    for (const auto &entry : keys_)
        if (entry.first == keysym)
            return entry.second;
    return 0;
}

bool VX_WaylandKeymap::coverKeysym(uint32_t keysym)
{
    if (keysym == kNoKeysym || keycodeOfKeysym(keysym) != 0)
        return false;
    const uint32_t cp = xkb_keysym_to_utf32(keysym);
    if (cp != 0 && vxCharKeysym(cp) == keysym) {
        // A character: it joins the characters. Asked alone, cover() could
        // drop the layout's characters to make room, so all are asked.
        std::vector<std::string> texts(chars_.size() + 1);
        vxUtf8Append(texts[0], cp);
        for (size_t i = 0; i < chars_.size(); ++i)
            vxUtf8Append(texts[i + 1], chars_[i].first);
        return cover(texts);
    }
    if (chars_.size() + keys_.size() >= static_cast<size_t>(kCapacity))
        return false;
    const int keycode = freeKeycode(kFirstKeycode);
    if (keycode == 0)
        return false;
    keys_.emplace_back(keysym, keycode);
    return true;
}

uint32_t VX_WaylandKeymap::modifierMask(uint32_t mods)
{
    // Real modifiers in xkbcommon's fixed order: Shift 0, Lock 1,
    // Control 2, Mod1 3 ... Mod4 6.
    uint32_t mask = 0;
    if (mods & VX_MOD_SHIFT)
        mask |= 1u << 0;
    if (mods & VX_MOD_CONTROL)
        mask |= 1u << 2;
    if (mods & VX_MOD_ALT)
        mask |= 1u << 3;
    if (mods & VX_MOD_SUPER)
        mask |= 1u << 6;
    return mask;
}

bool VX_WaylandKeymap::cover(const std::vector<std::string> &texts)
{
    std::vector<uint32_t> wanted;
    for (const std::string &text : texts)
        vxUtf8CodePoints(text, wanted);
    std::vector<uint32_t> missing;
    for (uint32_t cp : wanted)
        if (keycodeOf(cp) == 0 && vxCharKeysym(cp) != kNoKeysym &&
            std::find(missing.begin(), missing.end(), cp) == missing.end())
            missing.push_back(cp);
    if (missing.empty())
        return false;
    if (chars_.size() + keys_.size() + missing.size() > static_cast<size_t>(kCapacity)) {
        // Keep only what the new texts type, each where it was.
        chars_.erase(std::remove_if(chars_.begin(), chars_.end(),
                                    [&](const std::pair<uint32_t, int> &entry) {
                                        return std::find(wanted.begin(), wanted.end(), entry.first) == wanted.end();
                                    }),
                     chars_.end());
    }
    int next = kFirstKeycode;
    for (uint32_t cp : missing) {
        next = freeKeycode(next);
        if (next == 0)
            break;  // more distinct characters than keycodes: the rest stay untyped
        chars_.emplace_back(cp, next++);
    }
    return true;
}

std::string VX_WaylandKeymap::text() const
{
    std::string keycodes = "xkb_keycodes \"vexil\" {\n  minimum = 8;\n  maximum = 255;\n";
    std::string symbols = "xkb_symbols \"vexil\" {\n";
    auto add = [&](int keycode, const char *keysymName) {
        const std::string name = "<I" + std::to_string(keycode) + ">";
        keycodes += "  " + name + " = " + std::to_string(keycode) + ";\n";
        symbols += "  key " + name + " { [ " + keysymName + " ] };\n";
    };
    add(kBackSpace, "BackSpace");
    add(kTab, "Tab");
    add(kReturn, "Return");
    add(kSpace, "space");
    char name[64];
    for (const auto &entry : chars_) {
        if (xkb_keysym_get_name(vxCharKeysym(entry.first), name, sizeof name) <= 0)
            continue;
        add(entry.second, name);
    }
    for (const auto &entry : keys_) {
        if (xkb_keysym_get_name(entry.first, name, sizeof name) <= 0)
            continue;
        add(entry.second, name);
    }
    const std::string source = "xkb_keymap {\n" + keycodes + "};\n" +
                               "xkb_types \"vexil\" {\n  type \"ONE_LEVEL\" {\n    modifiers = none;\n"
                               "    level_name[Level1] = \"Any\";\n  };\n};\n"
                               "xkb_compatibility \"vexil\" {\n};\n" +
                               symbols + "};\n};\n";

    std::unique_ptr<xkb_context, ContextFree> context(
        xkb_context_new(static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES)));
    if (!context)
        return std::string();
    xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    std::unique_ptr<xkb_keymap, KeymapFree> keymap(
        xkb_keymap_new_from_string(context.get(), source.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::string();
    char *written = xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!written)
        return std::string();
    std::string result(written);
    std::free(written);
    return result;
}
