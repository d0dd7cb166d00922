#include "prediction/VX_Predictor.h"

#include "prediction/VX_TextFold.h"
#include "prediction/VX_Words.h"

#include <algorithm>
#include <unordered_map>

namespace {

// Most frequent completions of the prefix taken from the word list, beside
// those the context proposes.
constexpr size_t kPrefixCandidates = 24;
// Words learned before the user's counts weigh as much as the shipped
// model's (the user's share is learned / (learned + this)), and the most
// that share reaches.
// (On everyday text a larger share lets the few words learned first crowd
// out the model's; docs/prediction.md has the figures.)
constexpr double kUserHalfWeight = 60.0;
constexpr double kUserMaxShare = 0.3;
// How much less a candidate counts when the user typed accents it lacks.
constexpr double kAccentMismatch = 0.2;

bool allUpper(std::string_view text)
{
    int letters = 0;
    for (size_t at = 0; at < text.size();) {
        int length = 0;
        const uint32_t cp = vxDecodeAt(text, at, length);
        at += size_t(length);
        if (!vxIsWordChar(cp))
            continue;
        if (vxToUpper(cp) != cp || !vxIsUpper(cp))
            return false;
        ++letters;
    }
    return letters >= 2;
}

bool startsUpper(std::string_view text)
{
    if (text.empty())
        return false;
    int length = 0;
    return vxIsUpper(vxDecodeAt(text, 0, length));
}

}  // namespace

VX_Predictor::VX_Predictor(const VX_LanguageModel &model) : model_(model) {}

// True when the word at the cursor belongs to the first sentence of `text`
// (no sentence ends before it within the text).
static bool inFirstSentence(std::string_view text, const VX_CursorContext &context, bool semicolon)
{
    size_t words = 0, lastStart = 0;
    vxForEachWord(text, false, [&](std::string_view, bool sentenceStart) {
        if (sentenceStart)
            lastStart = words;
        ++words;
    }, semicolon);
    if (words == 0)
        return true;
    if (!context.prefix.empty())
        return lastStart == 0;
    return lastStart == 0 && context.known > 0;
}

std::vector<std::string> VX_Predictor::predict(std::string_view textBeforeCursor, size_t n, bool wholeText) const
{
    std::vector<std::string> result;
    n = std::min(n, kMaxSuggestions);
    if (n == 0)
        return result;
    const bool semicolon = vxSemicolonEndsSentence(model_.language());
    VX_CursorContext context = vxCursorContext(textBeforeCursor, semicolon);
    // Text that may go on before what is given: its first sentence has no
    // known start.
    const bool startUnknown = !wholeText && inFirstSentence(textBeforeCursor, context, semicolon);
    if (startUnknown)
        context.sentenceStart = false;
    const std::string_view wordStart = textBeforeCursor.substr(0, textBeforeCursor.size() - context.prefix.size());
    if (sameWord(wordStart) && context.prefix.size() > lastPrefix_.size() &&
        context.prefix.compare(0, lastPrefix_.size(), lastPrefix_) == 0) {
        // More letters of the word: what was shown for fewer was passed over.
        passedOver_.insert(passedOver_.end(), lastShown_.begin(), lastShown_.end());
    } else if (!sameWord(wordStart) || context.prefix != lastPrefix_) {
        passedOver_.clear();
    }
    const std::string typedKey = vxFoldKey(context.prefix);
    const std::string typedLower = vxLowerText(context.prefix);
    const bool typedAccents = typedKey != typedLower;

    // The context in the shipped model's ids and in the user's words.
    uint32_t u = VX_LanguageModel::kNone, v = VX_LanguageModel::kNone;
    std::string userU, userV;
    if (context.known == 0 && context.sentenceStart) {
        v = VX_LanguageModel::kSentenceStart;
        userV = VX_UserModel::kSentenceStart;
    } else if (context.known >= 1) {
        v = model_.find(context.previous[1]);
        userV = context.previous[1];
        if (context.known == 2) {
            u = model_.find(context.previous[0]);
            userU = context.previous[0];
        } else if (!startUnknown) {
            u = VX_LanguageModel::kSentenceStart;
            userU = VX_UserModel::kSentenceStart;
        }
        if (v == VX_LanguageModel::kNone)
            u = VX_LanguageModel::kNone;
    }

    // Candidates by lower form; the shipped model's id where it has one.
    std::unordered_map<std::string, uint32_t> candidates;
    candidates.reserve(256);
    auto addModelWord = [&](uint32_t id) {
        if (id == VX_LanguageModel::kSentenceStart || id >= model_.size())
            return;
        if (model_.key(id).compare(0, typedKey.size(), typedKey) != 0)
            return;
        candidates.emplace(std::string(model_.lower(id)), id);
    };
    if (!model_.empty()) {
        model_.forEachFollower(u, v, typedKey.empty(), addModelWord);
        std::vector<uint32_t> top;
        model_.topWithPrefix(typedKey, kPrefixCandidates, top);
        for (uint32_t id : top)
            addModelWord(id);
    }
    std::vector<std::string> learned;
    user_.candidates(typedKey, userU, userV, learned);
    for (std::string &lower : learned) {
        const uint32_t id = model_.find(lower);
        candidates.emplace(std::move(lower), id);
    }

    const double learnedWords = double(user_.total());
    const double userShare = learnedWords > 0 ? kUserMaxShare * learnedWords / (learnedWords + kUserHalfWeight) : 0;
    struct Scored {
        const std::string *lower;
        uint32_t id;
        double score;
    };
    std::vector<Scored> scored;
    scored.reserve(candidates.size());
    for (const auto &[lower, id] : candidates) {
        if (user_.isForgotten(lower) ||
            std::find(passedOver_.begin(), passedOver_.end(), lower) != passedOver_.end())
            continue;
        double p = 0;
        if (id != VX_LanguageModel::kNone)
            p = (1 - userShare) * model_.probability(id, u, v);
        if (userShare > 0)
            p += userShare * user_.probability(lower, userU, userV);
        if (typedAccents && lower.compare(0, typedLower.size(), typedLower) != 0)
            p *= kAccentMismatch;
        if (p > 0)
            scored.push_back({&lower, id, p});
    }
    const size_t keep = std::min(scored.size(), n * 2);
    std::partial_sort(scored.begin(), scored.begin() + long(keep), scored.end(),
                      [](const Scored &a, const Scored &b) {
                          return a.score > b.score || (a.score == b.score && *a.lower < *b.lower);
                      });

    const bool upper = allUpper(context.prefix);
    const bool capital = startsUpper(context.prefix) || context.sentenceStart;
    for (size_t i = 0; i < keep && result.size() < n; ++i) {
        const Scored &s = scored[i];
        // The model's written form, unless the model lacks the word or the
        // user writes it with capitals of their own.
        std::string word = std::string(s.id == VX_LanguageModel::kNone ? std::string_view() : model_.form(s.id));
        const std::string learnedForm = user_.form(*s.lower);
        if (s.id == VX_LanguageModel::kNone || learnedForm != *s.lower)
            word = learnedForm;
        if (upper)
            word = vxUpperText(word);
        else if (capital)
            word = vxCapitalized(word);
        if (word == context.prefix || std::find(result.begin(), result.end(), word) != result.end())
            continue;
        result.push_back(std::move(word));
    }
    rememberShown(wordStart, context.prefix, result);
    return result;
}

bool VX_Predictor::sameWord(std::string_view wordStart) const
{
    const size_t tail = std::min(wordStart.size(), kWordStartTail);
    return wordStart.size() == wordStartSize_ && wordStart.substr(wordStart.size() - tail) == wordStartTail_;
}

void VX_Predictor::rememberShown(std::string_view wordStart, const std::string &prefix,
                                 const std::vector<std::string> &shown) const
{
    const size_t tail = std::min(wordStart.size(), kWordStartTail);
    wordStartSize_ = wordStart.size();
    wordStartTail_.assign(wordStart.substr(wordStart.size() - tail));
    lastPrefix_ = prefix;
    lastShown_.clear();
    for (const std::string &word : shown)
        lastShown_.push_back(vxLowerText(word));
}

void VX_Predictor::learnWord(std::string_view before, std::string_view word)
{
    const VX_CursorContext context = vxCursorContext(before, vxSemicolonEndsSentence(model_.language()));
    std::string u, v;
    if (context.known == 0 && context.sentenceStart) {
        v = VX_UserModel::kSentenceStart;
    } else if (context.known >= 1) {
        v = context.previous[1];
        u = context.known == 2 ? context.previous[0] : std::string(VX_UserModel::kSentenceStart);
    }
    user_.learn(u, v, word);
}

void VX_Predictor::learnText(std::string_view text)
{
    std::string u, v;
    vxForEachWord(text, true, [&](std::string_view word, bool sentenceStart) {
        if (sentenceStart) {
            u.clear();
            v = VX_UserModel::kSentenceStart;
        }
        user_.learn(u, v, word);
        u = std::move(v);
        v = vxLowerText(word);
    }, vxSemicolonEndsSentence(model_.language()));
}
