// A language's shipped model: its words with their frequencies, and the
// counts of the word pairs and triples of its training text, read from a
// model file (written by vexil-model-build). It gives the probability of a
// word after up to two words of context, interpolating the trigram, bigram
// and unigram estimates with absolute discounting (the discounted mass of
// each context goes to the shorter one), and lists the words a prefix may
// complete to. Immutable once loaded; every lookup is a binary search or an
// array read, so one prediction costs microseconds.
#ifndef VEXIL_PREDICTION_VX_LANGUAGEMODEL_H
#define VEXIL_PREDICTION_VX_LANGUAGEMODEL_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class VX_LanguageModel {
public:
    // Word id of the start of a sentence, the context of its first word.
    static constexpr uint32_t kSentenceStart = 0;
    // Word id of no word: a context that is unknown or not there.
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    // Largest model file read (bytes); a bigger one is refused.
    static constexpr size_t kMaxFileBytes = 64u << 20;
    // Longest word kept, in bytes.
    static constexpr size_t kMaxWordBytes = 48;

    // The model file of `language` (two or three lower-case letters): the
    // first <dir>/models/<language>.vxlm of the layout search folders (the
    // user's own first); "" when there is none or the code is not one.
    static std::string findFile(const std::string &language);

    // Reads the model file at `path`; false with one positioned diagnostic
    // through the log sink when it cannot be read or is not a model file
    // (the model is then empty).
    bool load(const std::string &path);
    // Reads a model from the text of a model file; `name` positions messages.
    bool parse(std::string_view text, const std::string &name);

    bool empty() const { return words_.size() <= 1; }
    // Number of word ids, the sentence start included.
    uint32_t size() const { return uint32_t(words_.size()); }
    // Language code named in the model file ("en").
    const std::string &language() const { return language_; }

    // The id of a word given in lower case, kNone when unknown.
    uint32_t find(std::string_view lower) const;
    // The word as it is usually written ("I", "Monday", "house").
    std::string_view form(uint32_t id) const;
    // The word in lower case, as contexts name it.
    std::string_view lower(uint32_t id) const;
    // The word's matching key (lower case without accents).
    std::string_view key(uint32_t id) const;

    // P(word | u v): u the word two before, v the word just before (either
    // kNone when not known; v kSentenceStart at the start of a sentence).
    double probability(uint32_t word, uint32_t u, uint32_t v) const;

    // Calls `visit` for the words seen after the context (u v) and after v
    // alone: the words the context itself makes likely. With `mostFrequent`
    // only the kTopFollowers seen most often after each context are
    // visited (a next word before any letter is typed); otherwise all.
    void forEachFollower(uint32_t u, uint32_t v, bool mostFrequent,
                         const std::function<void(uint32_t)> &visit) const;
    // Followers of a context visited when only the most frequent are asked for.
    static constexpr uint32_t kTopFollowers = 48;
    // Appends to `out` up to `limit` ids of the most frequent words whose
    // key starts with `keyPrefix` (any word when it is empty), most frequent
    // first.
    void topWithPrefix(std::string_view keyPrefix, size_t limit, std::vector<uint32_t> &out) const;

    // Bytes held by the loaded model.
    size_t memoryBytes() const;

private:
    struct Word {
        uint32_t at;       // offset of the written form in strings_; lower and key follow
        uint8_t formLen;   // bytes of the written form
        uint8_t lowerLen;  // bytes of the lower-case form
        uint8_t keyLen;    // bytes of the key
    };
    // The followers of one context: entries [start, start + n) of the
    // follower arrays, sorted by word id.
    struct Context {
        uint32_t start;   // first entry in next_/count_
        uint32_t n;       // entries
        uint32_t total;   // every count seen after the context, pruned ones too
        float backoff;    // probability mass left to the shorter context
        uint32_t top;     // first entry in top_ of its most frequent followers (n > kTopFollowers)
    };

    bool fail(const std::string &name, int line, const char *what);
    void clear();
    double bigram(uint32_t word, uint32_t v) const;
    static double follower(const Context &context, const std::vector<uint32_t> &next,
                           const std::vector<uint32_t> &count, uint32_t word, double discount);
    void buildIndexes();
    void buildTop(Context &context, const std::vector<uint32_t> &next, const std::vector<uint32_t> &count);
    void visitContext(const Context &context, const std::vector<uint32_t> &next, bool mostFrequent,
                      const std::function<void(uint32_t)> &visit) const;

    std::string language_;                 // language code of the model file
    std::string strings_;                  // forms, lower forms and keys of every word
    std::vector<Word> words_;              // by id; id 0 is the sentence start
    std::vector<float> unigram_;           // P(word) by id, summing to 1 over the words
    std::vector<uint32_t> byLower_;        // ids sorted by lower form (each form once)
    std::vector<uint32_t> byKey_;          // ids sorted by key, then by frequency
    std::unordered_map<std::string, std::vector<uint32_t>> topByFirst_;  // key's first letter -> most frequent ids
    std::vector<uint32_t> topAll_;         // most frequent ids overall

    std::vector<Context> bigrams_;         // by id of the word before; n == 0 when none
    std::vector<uint64_t> trigramKeys_;    // (u << 32 | v), sorted
    std::vector<Context> trigrams_;        // parallel to trigramKeys_
    std::vector<uint32_t> next2_, count2_; // bigram followers and their counts
    std::vector<uint32_t> next3_, count3_; // trigram followers and their counts
    std::vector<uint32_t> top_;            // kTopFollowers most frequent followers of large contexts
    double discount2_ = 0.75;              // absolute discount of bigram counts
    double discount3_ = 0.75;              // absolute discount of trigram counts
};

#endif
