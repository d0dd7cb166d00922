#include "typing/VX_TypingSession.h"

#include <algorithm>
#include <cstring>

#include "base/VX_Utf8.h"
#include "prediction/VX_Words.h"
#include "typing/VX_EditSink.h"

namespace {

bool endsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

VX_TypingSession::VX_TypingSession(VX_EditSink &sink) : sink_(sink) {}

VX_TypingSession::~VX_TypingSession()
{
    onCycleClosed = nullptr;
    onAwaitReport = nullptr;
    onContextChanged = nullptr;
    while (awaiting_)
        resolve(false);
}

bool VX_TypingSession::isClosingMark(const char *text)
{
    return text && text[0] != '\0' && text[1] == '\0' && std::strchr(".,;:!?", text[0]) != nullptr;
}

void VX_TypingSession::apply(const VX_KeyResult &result)
{
    if (!result.send)
        return;
    if (awaiting_) {
        queued_.push_back(result);
        return;
    }
    // An erase step replaces only what this cycle typed: after a key
    // stroke, a reset or another field there is nothing of it to erase.
    const bool erase = result.erase && !cycleText_.empty();
    const bool afterChoice = autoSpace_;
    autoSpace_ = false;
    if (result.keysym != 0) {
        // A named key or a key with modifiers: what it does to the text is
        // the application's, so the context is gone.
        cycleText_.clear();
        cycleSpace_ = false;
        sink_.sendStroke(result.keysym, result.mods);
        setBefore(std::string());
        return;
    }
    if (result.code == VX_CODE_BACKSPACE || result.code == VX_CODE_RETURN) {
        if (erase)
            replace(cycleText_, std::string());
        cycleText_.clear();
        cycleSpace_ = false;
        if (result.code == VX_CODE_BACKSPACE) {
            sink_.sendBackspace();
            std::string before = before_;
            before.resize(before.size() - vxUtf8LastLength(before.data(), before.size()));
            setBefore(std::move(before));
        } else {
            sink_.sendReturn();
            setBefore(std::string());
        }
        return;
    }
    if (result.code != 0 || result.text[0] == '\0')
        return;
    const std::string text = result.text;
    if (!erase) {
        if (afterChoice && isClosingMark(result.text) && endsWith(before_, " ")) {
            // "word " + "," gives "word, ": the mark goes before the space,
            // and a multi-tap cycle of marks goes on replacing it there.
            cycleText_ = text + " ";
            cycleSpace_ = true;
            replace(" ", cycleText_);
            unconfirmed_ = true;
            return;
        }
        cycleSpace_ = false;
        commit(text);
        cycleText_ = text;
        unconfirmed_ = true;
        return;
    }
    const std::string next = cycleSpace_ ? text + " " : text;
    if (fieldActive_ && fieldReports_ && sink_.askReport(text.c_str())) {
        // The field says where its cursor is now before anything is
        // replaced: the character shown as pre-edit text makes it report.
        awaiting_ = true;
        waitText_ = next;
        ++waitId_;
        if (onAwaitReport)
            onAwaitReport(waitId_);
        return;
    }
    replace(cycleText_, next);
    cycleText_ = next;
    unconfirmed_ = true;
}

void VX_TypingSession::resetContext()
{
    autoSpace_ = false;
    setBefore(std::string());
    if (awaiting_)
        return;  // the report, or its absence, decides
    closeCycle();
}

void VX_TypingSession::fieldReport(const VX_FieldReport &report)
{
    const bool moved = fieldActive_ != report.active || (report.active && report.newField);
    fieldActive_ = report.active;
    fieldReports_ = report.active && report.hasText;
    reported_ = fieldReports_ ? report.text.substr(0, std::min<size_t>(report.cursor, report.text.size()))
                              : std::string();
    if (awaiting_) {
        // The report the waiting replacement asked for.
        if (moved) {
            cycleText_.clear();
            autoSpace_ = false;
            setBefore(reported_);
        }
        resolve(!moved);
        return;
    }
    if (moved) {
        // Another field, or none: an erase step must not reach it.
        autoSpace_ = false;
        setBefore(reported_);
        closeCycle();
        return;
    }
    if (!fieldReports_)
        return;
    if (cycleText_.empty()) {
        setBefore(reported_);
        return;
    }
    if (cycleBeforeReportedCursor()) {
        unconfirmed_ = false;
        setBefore(reported_);
    } else if (!unconfirmed_) {
        // The user moved the cursor or edited the text: the cycle is over.
        autoSpace_ = false;
        setBefore(reported_);
        closeCycle();
    }
    // Else the report is older than the cycle's last edit: wait for the
    // next one.
}

void VX_TypingSession::reportTimedOut(uint32_t id)
{
    if (awaiting_ && id == waitId_)
        resolve(false);
}

std::string VX_TypingSession::wordBeforeCursor() const
{
    // What the prediction engine takes for the word being typed, so a
    // chosen suggestion replaces exactly what it completes.
    return vxCursorContext(before_).prefix;
}

void VX_TypingSession::choose(const std::string &word)
{
    if (word.empty())
        return;
    while (awaiting_)
        resolve(false);
    const std::string typed = wordBeforeCursor();
    if (word.compare(0, typed.size(), typed) == 0)
        commit(word.substr(typed.size()) + " ");
    else
        replace(typed, word + " ");
    cycleText_.clear();
    cycleSpace_ = false;
    autoSpace_ = true;
    if (onCycleClosed)
        onCycleClosed();
}

void VX_TypingSession::commit(const std::string &text)
{
    sink_.commitText(text.c_str());
    setBefore(before_ + text);
}

void VX_TypingSession::replace(const std::string &before, const std::string &text)
{
    sink_.replaceBefore(before, text.c_str());
    std::string kept = before_;
    if (endsWith(kept, before))
        kept.resize(kept.size() - before.size());
    setBefore(kept + text);
}

bool VX_TypingSession::cycleBeforeReportedCursor() const
{
    return !cycleText_.empty() && endsWith(reported_, cycleText_);
}

void VX_TypingSession::resolve(bool fresh)
{
    awaiting_ = false;
    const std::string text = std::move(waitText_);
    waitText_.clear();
    if (fieldActive_) {
        // Only what the cycle typed goes; when the user's own text is
        // before the cursor now, or the field did not say, nothing is
        // replaced and the cycle is over.
        const bool erase = fresh && fieldReports_ && cycleBeforeReportedCursor();
        if (erase) {
            setBefore(reported_);
            replace(cycleText_, text);
            cycleText_ = text;
            unconfirmed_ = true;
        } else {
            if (fresh && fieldReports_)
                setBefore(reported_);
            commit(text);
            cycleText_.clear();
            cycleSpace_ = false;
            if (onCycleClosed)
                onCycleClosed();
        }
    } else {
        // The field went: the erase step must not reach another one.
        commit(text);
        cycleText_.clear();
        cycleSpace_ = false;
    }
    std::vector<VX_KeyResult> queued;
    queued.swap(queued_);
    for (size_t i = 0; i < queued.size(); ++i) {
        apply(queued[i]);
        if (awaiting_) {
            // Another replacement waits now: the rest stays behind it.
            queued_.insert(queued_.end(), queued.begin() + static_cast<long>(i) + 1, queued.end());
            return;
        }
    }
}

void VX_TypingSession::closeCycle()
{
    cycleText_.clear();
    cycleSpace_ = false;
    if (onCycleClosed)
        onCycleClosed();
}

void VX_TypingSession::setBefore(std::string text)
{
    if (text.size() > kContextBytes) {
        // Drop whole characters from the front.
        size_t cut = text.size() - kContextBytes;
        while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            ++cut;
        text.erase(0, cut);
    }
    if (text == before_)
        return;
    before_ = std::move(text);
    contextChanged();
}

void VX_TypingSession::contextChanged()
{
    if (onContextChanged)
        onContextChanged();
}
