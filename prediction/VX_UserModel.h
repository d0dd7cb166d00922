// What one user typed in one language: the words, word pairs and word
// triples with how often each was typed, and the words the user asked to
// forget. Kept in a private file (0600 in a 0700 folder), bounded in size
// and replaced atomically (temporary file, fsync, rename), so a crash leaves
// either the old file or the new one. A damaged or foreign file is refused
// with one message and replaced by the next save; nothing here exits or
// throws.
#ifndef VEXIL_PREDICTION_VX_USERMODEL_H
#define VEXIL_PREDICTION_VX_USERMODEL_H

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class VX_UserModel {
public:
    // Most words, pairs and triples kept; past these the rarest are dropped.
    static constexpr size_t kMaxWords = 20000;
    static constexpr size_t kMaxPairs = 40000;
    static constexpr size_t kMaxTriples = 40000;
    // Most forgotten words remembered as forgotten.
    static constexpr size_t kMaxForgotten = 2000;
    // Largest file read (bytes); a bigger one is refused as damaged.
    static constexpr size_t kMaxFileBytes = 8u << 20;
    // Context word of the first word of a sentence.
    static constexpr const char *kSentenceStart = "^";

    // Where the learned words of `language` live: $XDG_DATA_HOME/vexil (an
    // absolute XDG_DATA_HOME only), else ~/.local/share/vexil; "" when
    // neither can be found.
    static std::string defaultPath(const std::string &language);

    // Reads the file at `path` for `language`. A missing file is an empty
    // model (true). A damaged or foreign one is refused with one message
    // through the log sink (false): the model is then empty and the next
    // save replaces the file.
    bool load(const std::string &path, const std::string &language);
    // Writes the model to `path` atomically, creating its folder (0700);
    // false with a message when it cannot.
    bool save(const std::string &path) const;

    // Learns that `word` (as typed) followed the lower-case words `u` and
    // `v` ("" where none, kSentenceStart at the start of a sentence).
    void learn(std::string_view u, std::string_view v, std::string_view word);
    // Forgets the word (any case): its counts, the pairs and triples it is
    // part of, and hides it from suggestions until it is typed again.
    void forget(std::string_view word);
    bool isForgotten(std::string_view lower) const;

    // Counts seen: a word, a word after v, a word after u v (lower case).
    uint32_t count(std::string_view lower) const;
    // The word as the user writes it (its lower form when never learned).
    std::string form(std::string_view lower) const;
    // P(word | u v) from the user's counts alone, interpolated Witten-Bell
    // style over the triple, pair and word counts; 0 for an unknown word.
    double probability(std::string_view lower, std::string_view u, std::string_view v) const;
    // Words typed so far (the sum of the word counts).
    uint64_t total() const { return total_; }
    size_t wordCount() const { return words_.size(); }

    // Lower forms of the learned words whose key (vxFoldKey) starts with
    // `keyPrefix`, and of those that followed v or u v.
    void candidates(std::string_view keyPrefix, std::string_view u, std::string_view v,
                    std::vector<std::string> &out) const;

    bool changed() const { return changed_; }

private:
    struct Word {
        std::string form;  // as last typed outside a sentence start
        std::string key;   // vxFoldKey of the word
        uint32_t count;    // times typed
    };
    // The words seen after one context, with their counts.
    struct Followers {
        std::unordered_map<std::string, uint32_t> next;  // lower form -> count
        uint32_t total = 0;                               // sum of the counts
    };

    void clear();
    void prune();
    bool parse(std::string_view text, const std::string &path, const std::string &language);

    std::string language_;                                   // language of the file
    std::unordered_map<std::string, Word> words_;             // lower form -> word
    std::unordered_map<std::string, Followers> pairs_;        // v -> followers
    std::unordered_map<std::string, Followers> triples_;      // "u v" -> followers
    std::unordered_set<std::string> forgotten_;               // lower forms hidden from suggestions
    size_t pairCount_ = 0;                                    // entries over all pairs_ followers
    size_t tripleCount_ = 0;                                  // entries over all triples_ followers
    uint64_t total_ = 0;                                      // sum of word counts
    mutable bool changed_ = false;                            // learned or forgot since load or save
};

#endif
