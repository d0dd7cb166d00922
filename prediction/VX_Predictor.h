// Word suggestions for the text before the cursor: completions of the word
// being typed, or the likely next words after a space. A language's shipped
// model and what its user typed are mixed: the user's share grows with the
// number of words learned. Matching ignores case and accents (cafe finds
// café, "i" finds "I"); the suggestions come in the case the place asks for
// (a sentence start capitalised, a word typed in capitals in capitals).
// A suggestion passed over (the user typed another letter of the same word
// instead) is not offered again for that word, so the bar shows new words.
// One predictor serves one text field at a time; it is not shared between
// threads.
#ifndef VEXIL_PREDICTION_VX_PREDICTOR_H
#define VEXIL_PREDICTION_VX_PREDICTOR_H

#include "prediction/VX_LanguageModel.h"
#include "prediction/VX_UserModel.h"

#include <string>
#include <string_view>
#include <vector>

class VX_Predictor {
public:
    // Suggestions given when no number is asked for.
    static constexpr size_t kDefaultSuggestions = 3;
    // Most suggestions given for one text.
    static constexpr size_t kMaxSuggestions = 16;

    // `model` must outlive the predictor; it may be empty (then only
    // learned words are suggested).
    explicit VX_Predictor(const VX_LanguageModel &model);

    // Up to `n` (at most kMaxSuggestions) suggestions, most likely first:
    // whole words that complete the last word of `textBeforeCursor`, or next
    // words when it ends outside a word. Never the word exactly as typed
    // (but "I" for a typed "i", "café" for "cafe").
    // `wholeText` false: more text may stand before `textBeforeCursor` (a
    // front end that knows only what it typed), so its first sentence is
    // not taken for the start of one (no capital, no sentence-start context).
    std::vector<std::string> predict(std::string_view textBeforeCursor, size_t n = kDefaultSuggestions,
                                     bool wholeText = true) const;

    // Learns every complete word of `text` (a word followed by something
    // that is not part of a word) with the words before it.
    void learnText(std::string_view text);
    // Learns `word` typed after the text `before` (its context).
    void learnWord(std::string_view before, std::string_view word);
    // Forgets a word: it is no longer suggested until typed again.
    void forget(std::string_view word) { user_.forget(word); }

    VX_UserModel &user() { return user_; }
    const VX_UserModel &user() const { return user_; }

private:
    // Bytes of the text before a word kept to tell the same word again.
    static constexpr size_t kWordStartTail = 64;

    void rememberShown(std::string_view wordStart, const std::string &prefix,
                       const std::vector<std::string> &shown) const;
    bool sameWord(std::string_view wordStart) const;

    const VX_LanguageModel &model_;  // the language's shipped model
    VX_UserModel user_;              // what the user typed

    // The word last asked about: the text before it (its length and last
    // bytes), its letters then, what was shown for them and for its shorter
    // forms (in lower case).
    mutable size_t wordStartSize_ = size_t(-1);
    mutable std::string wordStartTail_;
    mutable std::string lastPrefix_;
    mutable std::vector<std::string> lastShown_;
    mutable std::vector<std::string> passedOver_;
};

#endif
