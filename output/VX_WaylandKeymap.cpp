#include "output/VX_WaylandKeymap.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "base/VX_Utf8.h"

namespace {

bool isFixed(int keycode)
{
    return keycode == VX_WaylandKeymap::kBackSpace || keycode == VX_WaylandKeymap::kTab ||
           keycode == VX_WaylandKeymap::kReturn || keycode == VX_WaylandKeymap::kSpace;
}

// The keysym of a character typed as text; none for controls and for what
// is no character at all.
xkb_keysym_t keysymOf(uint32_t cp)
{
    if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0) || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff)
        return XKB_KEY_NoSymbol;
    return xkb_utf32_to_keysym(cp);
}

struct ContextFree {
    void operator()(xkb_context *context) const { xkb_context_unref(context); }
};
struct KeymapFree {
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
};

}  // namespace

void VX_WaylandKeymap::codePoints(const std::string &text, std::vector<uint32_t> &out)
{
    size_t at = 0;
    while (at < text.size()) {
        const int length = vxUtf8CharLength(text.data() + at, text.size() - at);
        if (length == 0)
            return;
        const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text.data() + at);
        uint32_t cp = length == 1 ? bytes[0] : bytes[0] & (0x7f >> length);
        for (int i = 1; i < length; ++i)
            cp = (cp << 6) | (bytes[i] & 0x3f);
        out.push_back(cp);
        at += static_cast<size_t>(length);
    }
}

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

bool VX_WaylandKeymap::cover(const std::vector<std::string> &texts)
{
    std::vector<uint32_t> wanted;
    for (const std::string &text : texts)
        codePoints(text, wanted);
    std::vector<uint32_t> missing;
    for (uint32_t cp : wanted)
        if (keycodeOf(cp) == 0 && keysymOf(cp) != XKB_KEY_NoSymbol &&
            std::find(missing.begin(), missing.end(), cp) == missing.end())
            missing.push_back(cp);
    if (missing.empty())
        return false;
    if (chars_.size() + missing.size() > static_cast<size_t>(kCapacity)) {
        // Keep only what the new texts type, each where it was.
        chars_.erase(std::remove_if(chars_.begin(), chars_.end(),
                                    [&](const std::pair<uint32_t, int> &entry) {
                                        return std::find(wanted.begin(), wanted.end(), entry.first) == wanted.end();
                                    }),
                     chars_.end());
    }
    int next = kFirstKeycode;
    for (uint32_t cp : missing) {
        if (chars_.size() >= static_cast<size_t>(kCapacity))
            break;  // more distinct characters than keycodes: the rest stay untyped
        while (next <= kLastKeycode &&
               (isFixed(next) || std::any_of(chars_.begin(), chars_.end(), [&](const std::pair<uint32_t, int> &e) {
                    return e.second == next;
                })))
            ++next;
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
        if (xkb_keysym_get_name(keysymOf(entry.first), name, sizeof name) <= 0)
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
