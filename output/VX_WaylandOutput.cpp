#include "output/VX_WaylandOutput.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/VX_Utf8.h"
#include "engine/VX_Layout.h"
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
    // A character still waiting for its report goes in as it can.
    onAwaitReport = nullptr;
    onOutsideChange = nullptr;
    while (awaiting_)
        reportTimedOut(waitId_);
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

bool VX_WaylandOutput::cycleTextBeforeCursor() const
{
    const size_t cursor = std::min<size_t>(cursor_, surrounding_.size());
    return !cycleText_.empty() && cursor >= cycleText_.size() &&
           surrounding_.compare(cursor - cycleText_.size(), cycleText_.size(), cycleText_) == 0;
}

void VX_WaylandOutput::commitText(const char *text, uint32_t eraseBytes)
{
    if (eraseBytes > 0)
        zwp_input_method_v2_delete_surrounding_text(inputMethod_, eraseBytes, 0);
    zwp_input_method_v2_commit_string(inputMethod_, text);
    zwp_input_method_v2_commit(inputMethod_, doneCount_);
}

void VX_WaylandOutput::sendKey(int qkey, const char *text)
{
    if (awaiting_) {
        queued_.push_back({qkey, text ? text : "", text != nullptr, 0, 0});
        return;
    }
    if (qkey == VX_CODE_BACKSPACE && text == nullptr) {
        // The erase step: what to do depends on the text that follows it.
        eraseNext_ = true;
        return;
    }
    const bool erase = eraseNext_;
    eraseNext_ = false;
    if (qkey == VX_CODE_BACKSPACE || qkey == VX_CODE_RETURN) {
        if (erase)
            tap(VX_WaylandKeymap::kBackSpace);
        tap(qkey == VX_CODE_BACKSPACE ? VX_WaylandKeymap::kBackSpace : VX_WaylandKeymap::kReturn);
        cycleText_.clear();
    } else if (qkey == 0 && text && *text) {
        // A field that reports no text gains nothing from commits, and a
        // client may drop a commit that crosses a request of its own (foot
        // does, under quick taps): keys always arrive, in order.
        if (fieldActive() && hasSurrounding_) {
            if (erase) {
                // The field says where its cursor is now before anything
                // is deleted: the character shown as pre-edit text makes
                // it report (a commit that changes nothing does not).
                awaiting_ = true;
                waitText_ = text;
                ++waitId_;
                const auto length = static_cast<int32_t>(std::strlen(text));
                zwp_input_method_v2_set_preedit_string(inputMethod_, text, 0, length);
                zwp_input_method_v2_commit(inputMethod_, doneCount_);
                client_.flush();
                if (onAwaitReport)
                    onAwaitReport(waitId_);
                return;
            }
            commitText(text, 0);
            cycleText_ = text;
            unconfirmed_ = true;
        } else {
            if (erase)
                tap(VX_WaylandKeymap::kBackSpace);
            typeKeys(text);
        }
    }
    client_.flush();
}

void VX_WaylandOutput::resolve(bool fresh)
{
    awaiting_ = false;
    const std::string text = std::move(waitText_);
    waitText_.clear();
    if (fieldActive()) {
        // Only what the cycle typed goes; when the user's own text is
        // before the cursor now, or the field did not say, nothing is
        // deleted and the cycle is over.
        const bool erase = fresh && hasSurrounding_ && cycleTextBeforeCursor();
        commitText(text.c_str(), erase ? static_cast<uint32_t>(cycleText_.size()) : 0);
        cycleText_ = text;
        unconfirmed_ = true;
        if (!erase && onOutsideChange)
            onOutsideChange();
    } else {
        // The field went: the erase step must not reach another one.
        typeKeys(text.c_str());
        cycleText_.clear();
    }
    client_.flush();
    std::vector<Request> queued;
    queued.swap(queued_);
    for (size_t i = 0; i < queued.size(); ++i) {
        if (queued[i].keysym != 0)
            sendStroke(queued[i].keysym, queued[i].mods);
        else
            sendKey(queued[i].qkey, queued[i].hasText ? queued[i].text.c_str() : nullptr);
        if (awaiting_) {
            // Another replacement waits now: the rest stays behind it.
            queued_.insert(queued_.end(), queued.begin() + static_cast<long>(i) + 1, queued.end());
            return;
        }
    }
}

void VX_WaylandOutput::reportTimedOut(uint32_t id)
{
    if (awaiting_ && id == waitId_)
        resolve(false);
}

void VX_WaylandOutput::sendStroke(uint32_t keysym, uint32_t mods)
{
    if (awaiting_) {
        queued_.push_back({0, std::string(), false, keysym, mods});
        return;
    }
    // A key, never a commit: Ctrl+C must reach the application as Ctrl+C,
    // also while the input method has a field. It ends any multi-tap cycle.
    eraseNext_ = false;
    cycleText_.clear();
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
    pendingFresh_ = false;
    active_ = pendingActive_;
    hint_ = pendingHint_;
    purpose_ = pendingPurpose_;
    if ((was != active_ || (active_ && typeChanged)) && onContentType)
        onContentType(active_, hint_, purpose_);
    surrounding_ = pendingText_;
    cursor_ = pendingCursor_;
    hasSurrounding_ = active_ && pendingHasText_;
    if (awaiting_) {
        // The report the waiting replacement asked for.
        if (moved)
            cycleText_.clear();
        resolve(!moved);
        if (moved && onFieldChange)
            onFieldChange();
        if (was != active_ && onFieldActive)
            onFieldActive(active_);
        return;
    }
    if (moved) {
        // Another field, or none: an erase step must not reach it.
        cycleText_.clear();
        if (onFieldChange)
            onFieldChange();
        if (was != active_ && onFieldActive)
            onFieldActive(active_);
        return;
    }
    if (!active_ || !hasSurrounding_ || cycleText_.empty())
        return;
    if (cycleTextBeforeCursor()) {
        unconfirmed_ = false;
    } else if (!unconfirmed_) {
        // The user moved the cursor or edited the text: the cycle is over.
        cycleText_.clear();
        if (onOutsideChange)
            onOutsideChange();
    }
}

void VX_WaylandOutput::imUnavailable()
{
    if (!inputMethod_)
        return;
    zwp_input_method_v2_destroy(inputMethod_);
    inputMethod_ = nullptr;
    active_ = false;
    if (onUnavailable)
        onUnavailable();
}
