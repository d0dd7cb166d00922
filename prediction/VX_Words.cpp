#include "prediction/VX_Words.h"

#include "prediction/VX_TextFold.h"

namespace {

// Bytes of the end of a text that decide the cursor's context: enough for
// the two words before the one being typed, with room for long ones.
constexpr size_t kContextBytes = 400;

bool endsSentence(uint32_t cp, bool semicolon)
{
    return (semicolon && cp == ';') || cp == '.' || cp == '!' || cp == '?' || cp == '\n' || cp == '\r' || cp == 0x037E ||
           cp == 0x2026 || cp == 0xBF || cp == 0xA1;
}

}  // namespace

bool vxSemicolonEndsSentence(std::string_view language) { return language == "el"; }

void vxForEachWord(std::string_view text, bool completeOnly,
                   const std::function<void(std::string_view, bool)> &word, bool semicolonEndsSentence)
{
    bool sentenceStart = true;
    size_t wordStart = std::string_view::npos;
    size_t at = 0;
    while (at < text.size()) {
        int length = 0;
        const uint32_t cp = vxDecodeAt(text, at, length);
        if (vxIsWordChar(cp)) {
            if (wordStart == std::string_view::npos)
                wordStart = at;
            at += size_t(length);
            continue;
        }
        if (wordStart != std::string_view::npos && vxIsApostrophe(cp)) {
            // Inside the word only when a letter follows at once.
            int next = 0;
            if (at + size_t(length) < text.size() &&
                vxIsWordChar(vxDecodeAt(text, at + size_t(length), next))) {
                at += size_t(length);
                continue;
            }
        }
        if (wordStart != std::string_view::npos) {
            word(text.substr(wordStart, at - wordStart), sentenceStart);
            sentenceStart = false;
            wordStart = std::string_view::npos;
        }
        if (endsSentence(cp, semicolonEndsSentence))
            sentenceStart = true;
        at += size_t(length);
    }
    if (wordStart != std::string_view::npos && !completeOnly)
        word(text.substr(wordStart), sentenceStart);
}

VX_CursorContext vxCursorContext(std::string_view text, bool semicolonEndsSentence)
{
    size_t from = 0;
    if (text.size() > kContextBytes) {
        // Start at a character that is no part of a word, so the first word
        // read is whole.
        from = text.size() - kContextBytes;
        while (from < text.size()) {
            int length = 0;
            const uint32_t cp = vxDecodeAt(text, from, length);
            from += size_t(length);
            if (!vxIsWordChar(cp) && !vxIsApostrophe(cp))
                break;
        }
    }
    const std::string_view tail = text.substr(from);

    // The prefix: the word at the very end, including an apostrophe just
    // typed after its letters ("don'").
    size_t prefixStart = tail.size();
    size_t at = 0;
    bool lastWasWord = false;
    while (at < tail.size()) {
        int length = 0;
        const uint32_t cp = vxDecodeAt(tail, at, length);
        const bool inWord = vxIsWordChar(cp) || (lastWasWord && vxIsApostrophe(cp));
        if (inWord && !lastWasWord)
            prefixStart = at;
        lastWasWord = inWord;
        at += size_t(length);
    }
    VX_CursorContext context;
    if (lastWasWord)
        context.prefix = std::string(tail.substr(prefixStart));
    else
        prefixStart = tail.size();

    std::string words[2];
    int known = 0;
    bool sentenceStart = from == 0;
    vxForEachWord(tail.substr(0, prefixStart), true, [&](std::string_view word, bool start) {
        if (start) {
            known = 0;
            words[0].clear();
            words[1].clear();
        }
        words[0] = std::move(words[1]);
        words[1] = vxLowerText(word);
        if (known < 2)
            ++known;
        sentenceStart = false;
    }, semicolonEndsSentence);
    // A sentence end after the last whole word starts a new sentence.
    for (size_t i = 0; i < prefixStart;) {
        int length = 0;
        const uint32_t cp = vxDecodeAt(tail, i, length);
        if (vxIsWordChar(cp))
            sentenceStart = false;
        else if (endsSentence(cp, semicolonEndsSentence))
            sentenceStart = true;
        i += size_t(length);
    }
    if (sentenceStart)
        known = 0;
    context.sentenceStart = sentenceStart;
    context.known = known;
    if (known >= 1)
        context.previous[1] = words[1];
    if (known == 2)
        context.previous[0] = words[0];
    return context;
}
