// One typing session between the key machine and a front end: whole key
// results in, edits out (VX_EditSink). It owns what typing into another
// application needs to remember:
//  - the multi-tap replacement: the erase step of a cycle replaces the
//    cycle's last character, and only while the text before the cursor is
//    still what the cycle typed, so the user's own text is never erased;
//    where the field reports its surrounding text, the replacement first
//    asks for a fresh report and waits for it (kReportWaitMs at most),
//    with the keys that follow queued behind it in order;
//  - the text context: the text before the cursor as far as it is known,
//    the field's own (surrounding text and cursor) where it reports it,
//    else what the session typed since the last reset (focus change, click
//    into the application, cursor or other named key, Return);
//  - choosing a suggestion: the word being typed becomes the chosen word
//    and a space, and a punctuation mark typed right after it goes before
//    that space.
//
// How a front end uses it:
//  - hand every key result the board produces (send set) to apply();
//  - call resetContext() when the focus moves to another window or the
//    user clicks into the application;
//  - where the field reports its text (Wayland input method), pass each
//    report to fieldReport(); when onAwaitReport(id) is called, call
//    reportTimedOut(id) kReportWaitMs later;
//  - close the board's multi-tap cycle when onCycleClosed is called;
//  - for suggestions, read textBeforeCursor() (or wordBeforeCursor()) after
//    onContextChanged, and call choose(word) when the user picks one.
// Plain code: no toolkit, no clock; the front end runs the timer.
#ifndef VEXIL_TYPING_VX_TYPINGSESSION_H
#define VEXIL_TYPING_VX_TYPINGSESSION_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "interaction/VX_KeyResult.h"
#include "typing/VX_FieldReport.h"

class VX_EditSink;

class VX_TypingSession {
public:
    // How long a multi-tap replacement waits for the field's report.
    static constexpr int kReportWaitMs = 150;
    // Most bytes of text before the cursor kept; older text is dropped
    // from the front, whole characters at a time.
    static constexpr size_t kContextBytes = 1024;

    // `sink` must outlive the session.
    explicit VX_TypingSession(VX_EditSink &sink);
    // A character still waiting for its report goes in as it can.
    ~VX_TypingSession();
    VX_TypingSession(const VX_TypingSession &) = delete;
    VX_TypingSession &operator=(const VX_TypingSession &) = delete;

    // One key result of the board; nothing unless `result.send`. A text,
    // Backspace or Return (code), or a key stroke (keysym), with the erase
    // step of a multi-tap cycle when `result.erase`.
    void apply(const VX_KeyResult &result);
    // The text before the cursor is no longer what the session knows (the
    // focus moved, the user clicked into the application): the context is
    // forgotten and an open multi-tap cycle closed.
    void resetContext();
    // The field's state as of one report. Another field (or none) ends the
    // multi-tap cycle and the context; a move of the cursor or an edit of
    // the user's under an open cycle ends the cycle.
    void fieldReport(const VX_FieldReport &report);
    // No report came for wait `id` (as onAwaitReport gave it): the waiting
    // character goes in without the erase, then the keys behind it.
    // Nothing when that wait is over.
    void reportTimedOut(uint32_t id);

    // The text before the cursor as far as the session knows it (UTF-8,
    // at most kContextBytes); empty after a reset.
    const std::string &textBeforeCursor() const { return before_; }
    // textBeforeCursor() is the field's own text from its start (the field
    // reports it); otherwise it is only what the session typed, and more
    // text may stand before it.
    bool knowsWholeText() const { return fieldActive_ && fieldReports_; }
    // The word being typed: the letters, digits and inner apostrophes that
    // end textBeforeCursor(), as the prediction engine reads words
    // (vxCursorContext's prefix).
    std::string wordBeforeCursor() const;
    // The user chose `word` (UTF-8) for the word being typed: it replaces
    // that word (only what differs is typed where the word begins with it)
    // and a space follows. A punctuation mark typed next goes before that
    // space. Nothing for an empty word.
    void choose(const std::string &word);

    // True when `text` is a mark that goes before the space after a
    // chosen word: . , ; : ! ?
    static bool isClosingMark(const char *text);

    // The board must close its multi-tap cycle (the text changed behind
    // it); called outside apply().
    std::function<void()> onCycleClosed;
    // A replacement waits for the field's report: call reportTimedOut(id)
    // kReportWaitMs later.
    std::function<void(uint32_t id)> onAwaitReport;
    // textBeforeCursor() changed.
    std::function<void()> onContextChanged;

private:
    // Types `text` at the cursor, and remembers it.
    void commit(const std::string &text);
    // Replaces `before` (known to stand before the cursor) with `text`.
    void replace(const std::string &before, const std::string &text);
    // What the cycle typed stands right before the cursor in the last report.
    bool cycleBeforeReportedCursor() const;
    // Types the waiting character as the report (or its absence) allows,
    // then the key results queued behind it.
    void resolve(bool fresh);
    // Ends the cycle and tells the board.
    void closeCycle();
    void setBefore(std::string text);
    void contextChanged();

    VX_EditSink &sink_;              // outlives the session
    std::string before_;             // text before the cursor as known, UTF-8, <= kContextBytes
    std::string cycleText_;          // what the open multi-tap cycle last typed; empty: none
    bool cycleSpace_ = false;        // the cycle's characters stand before an automatic space
    bool autoSpace_ = false;         // the last edit was a chosen word and its space
    bool unconfirmed_ = false;       // no report has shown cycleText_ yet
    bool fieldActive_ = false;       // a field is active (as of the last report)
    bool fieldReports_ = false;      // and reports its surrounding text
    std::string reported_;           // its text before the cursor, as last reported
    bool awaiting_ = false;          // a report is asked for; waitText_ waits
    uint32_t waitId_ = 0;            // number of the wait, counted from 1
    std::string waitText_;           // the character (and space) to type once the report is in
    std::vector<VX_KeyResult> queued_;  // key results since, in order
};

#endif
