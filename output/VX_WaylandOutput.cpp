#include "output/VX_WaylandOutput.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/VX_Utf8.h"
#include "input-method-unstable-v2-client-protocol.h"
#include "output/VX_WaylandClient.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace {

constexpr uint32_t kKeymapFormatXkbV1 = 1;  // WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1
constexpr int kEvdevOffset = 8;             // XKB keycode - evdev key code

uint32_t nowMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

VX_WaylandOutput *outputOf(void *data) { return static_cast<VX_WaylandOutput *>(data); }

void onActivate(void *data, zwp_input_method_v2 *) { outputOf(data)->imActivate(true); }
void onDeactivate(void *data, zwp_input_method_v2 *) { outputOf(data)->imActivate(false); }
void onSurrounding(void *data, zwp_input_method_v2 *, const char *text, uint32_t cursor, uint32_t)
{
    outputOf(data)->imSurrounding(text, cursor);
}
void onCause(void *, zwp_input_method_v2 *, uint32_t) {}
void onContentType(void *data, zwp_input_method_v2 *, uint32_t hint, uint32_t purpose)
{
    outputOf(data)->imContentType(hint, purpose);
}
void onDone(void *data, zwp_input_method_v2 *) { outputOf(data)->imDone(); }
void onUnavailable(void *data, zwp_input_method_v2 *) { outputOf(data)->imUnavailable(); }
const zwp_input_method_v2_listener inputMethodListener = {onActivate,    onDeactivate, onSurrounding, onCause,
                                                          onContentType, onDone,       onUnavailable};

}  // namespace

VX_WaylandOutput::VX_WaylandOutput(VX_WaylandClient &client) : client_(client)
{
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(client.keyboardManager, client.seat);
    upload();
    if (client.inputMethodManager) {
        inputMethod_ = zwp_input_method_manager_v2_get_input_method(client.inputMethodManager, client.seat);
        zwp_input_method_v2_add_listener(inputMethod_, &inputMethodListener, this);
    }
    client_.flush();
}

VX_WaylandOutput::~VX_WaylandOutput()
{
    for (int keycode : held_)
        zwp_virtual_keyboard_v1_key(keyboard_, nowMs(), keycode - kEvdevOffset, WL_KEYBOARD_KEY_STATE_RELEASED);
    held_.clear();
    if (inputMethod_)
        zwp_input_method_v2_destroy(inputMethod_);
    zwp_virtual_keyboard_v1_destroy(keyboard_);
    client_.roundtrip();
}

void VX_WaylandOutput::upload()
{
    // A key held across a keymap change would come up as another key.
    for (int keycode : held_)
        zwp_virtual_keyboard_v1_key(keyboard_, nowMs(), keycode - kEvdevOffset, WL_KEYBOARD_KEY_STATE_RELEASED);
    held_.clear();
    const std::string text = keymap_.text();
    if (text.empty())
        return;
    const int fd = memfd_create("vexil-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return;
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    if (written == text.size()) {
        // The size leaves the terminating NUL out.
        zwp_virtual_keyboard_v1_keymap(keyboard_, kKeymapFormatXkbV1, fd, static_cast<uint32_t>(text.size()));
        ++uploads_;
    }
    close(fd);
}

void VX_WaylandOutput::prepare(const std::vector<std::string> &texts)
{
    if (keymap_.cover(texts))
        upload();
}

void VX_WaylandOutput::tap(int keycode)
{
    if (keycode == 0 || uploads_ == 0)
        return;
    const uint32_t time = nowMs();
    held_.push_back(keycode);
    zwp_virtual_keyboard_v1_key(keyboard_, time, keycode - kEvdevOffset, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard_, time, keycode - kEvdevOffset, WL_KEYBOARD_KEY_STATE_RELEASED);
    held_.pop_back();
}

void VX_WaylandOutput::typeKeys(const char *text)
{
    std::vector<uint32_t> cps;
    vxUtf8CodePoints(text, cps);
    for (uint32_t cp : cps) {
        if (keymap_.keycodeOf(cp) == 0 && keymap_.cover({text}))
            upload();  // a character no layout announced: rare, so one upload for it
        tap(keymap_.keycodeOf(cp));
    }
}

void VX_WaylandOutput::commitText(const char *text)
{
    if (!text || !*text)
        return;
    // A field that reports no text gains nothing from commits, and a
    // client may drop a commit that crosses a request of its own (foot
    // does, under quick taps): keys always arrive, in order.
    if (commits()) {
        zwp_input_method_v2_commit_string(inputMethod_, text);
        zwp_input_method_v2_commit(inputMethod_, doneCount_);
    } else {
        typeKeys(text);
    }
    client_.flush();
}

void VX_WaylandOutput::replaceBefore(const std::string &before, const char *text)
{
    if (commits()) {
        if (!before.empty())
            zwp_input_method_v2_delete_surrounding_text(inputMethod_, static_cast<uint32_t>(before.size()), 0);
        zwp_input_method_v2_commit_string(inputMethod_, text ? text : "");
        zwp_input_method_v2_commit(inputMethod_, doneCount_);
        client_.flush();
        return;
    }
    std::vector<uint32_t> erased;
    vxUtf8CodePoints(before, erased);
    for (size_t i = 0; i < erased.size(); ++i)
        tap(VX_WaylandKeymap::kBackSpace);
    client_.flush();
    commitText(text);
}

bool VX_WaylandOutput::askReport(const char *text)
{
    if (!commits())
        return false;
    zwp_input_method_v2_set_preedit_string(inputMethod_, text, 0, static_cast<int32_t>(std::strlen(text)));
    zwp_input_method_v2_commit(inputMethod_, doneCount_);
    client_.flush();
    return true;
}

void VX_WaylandOutput::sendBackspace()
{
    tap(VX_WaylandKeymap::kBackSpace);
    client_.flush();
}

void VX_WaylandOutput::sendReturn()
{
    tap(VX_WaylandKeymap::kReturn);
    client_.flush();
}

void VX_WaylandOutput::sendStroke(uint32_t keysym, uint32_t mods)
{
    // A key, never a commit: Ctrl+C must reach the application as Ctrl+C,
    // also while the input method has a field.
    if (keymap_.coverKeysym(keysym))
        upload();
    const int keycode = keymap_.keycodeOfKeysym(keysym);
    if (keycode == 0 || uploads_ == 0)
        return;
    const uint32_t mask = VX_WaylandKeymap::modifierMask(mods);
    if (mask != 0)
        zwp_virtual_keyboard_v1_modifiers(keyboard_, mask, 0, 0, 0);
    tap(keycode);
    if (mask != 0)
        zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    client_.flush();
}

void VX_WaylandOutput::imActivate(bool active)
{
    pendingActive_ = active;
    if (active) {
        // Each activate is a field of its own, even one that follows a
        // deactivate before the same done.
        pendingFresh_ = true;
        // A field starts with no surrounding text until it reports one.
        pendingHasText_ = false;
        pendingText_.clear();
        pendingCursor_ = 0;
        // Nor a content type until it says one.
        pendingHint_ = 0;
        pendingPurpose_ = 0;
    }
}

void VX_WaylandOutput::imContentType(uint32_t hint, uint32_t purpose)
{
    pendingHint_ = hint;
    pendingPurpose_ = purpose;
}

void VX_WaylandOutput::imSurrounding(const char *text, uint32_t cursor)
{
    pendingText_ = text ? text : "";
    pendingCursor_ = std::min<uint32_t>(cursor, static_cast<uint32_t>(pendingText_.size()));
    pendingHasText_ = true;
}

void VX_WaylandOutput::imDone()
{
    ++doneCount_;
    const bool was = active_;
    const bool typeChanged = hint_ != pendingHint_ || purpose_ != pendingPurpose_;
    // The keys type into another field now, or into none.
    const bool moved = was != pendingActive_ || pendingFresh_;
    active_ = pendingActive_;
    hint_ = pendingHint_;
    purpose_ = pendingPurpose_;
    field_.active = active_;
    field_.newField = active_ && pendingFresh_;
    field_.hasText = active_ && pendingHasText_;
    field_.text = field_.hasText ? pendingText_ : std::string();
    field_.cursor = field_.hasText ? pendingCursor_ : 0;
    pendingFresh_ = false;
    if ((was != active_ || (active_ && typeChanged)) && onContentType)
        onContentType(active_, hint_, purpose_);
    if (onReport)
        onReport(field_);
    if (moved && onFieldChange)
        onFieldChange();
    if (was != active_ && onFieldActive)
        onFieldActive(active_);
}

void VX_WaylandOutput::imUnavailable()
{
    if (!inputMethod_)
        return;
    zwp_input_method_v2_destroy(inputMethod_);
    inputMethod_ = nullptr;
    active_ = false;
    field_ = VX_FieldReport();
    if (onReport)
        onReport(field_);
    if (onUnavailable)
        onUnavailable();
}
