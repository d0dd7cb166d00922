// How the prediction engine reads text: words are runs of letters and digits
// (an apostrophe between two of them stays inside the word), sentences end at
// . ! ? ; (the Greek question mark U+037E), a line break, an ellipsis or an
// opening ¿ ¡, and in Greek text at the ASCII ; too (what Greek keyboards
// type for the question mark). The model builder, the learning and the predictions all read text
// through these functions, so a word means the same thing everywhere.
#ifndef VEXIL_PREDICTION_VX_WORDS_H
#define VEXIL_PREDICTION_VX_WORDS_H

#include <functional>
#include <string>
#include <string_view>

// Calls `word` for each whole word of `text` in order, with `sentenceStart`
// true for the first word of each sentence. A word cut by the end of the
// text is passed too, unless `completeOnly` (then only words followed by
// something that is not part of a word are passed).
void vxForEachWord(std::string_view text, bool completeOnly,
                   const std::function<void(std::string_view word, bool sentenceStart)> &word,
                   bool semicolonEndsSentence = false);

// What the text before the cursor says about the word to suggest.
struct VX_CursorContext {
    std::string prefix;       // the word being typed as it stands (maybe empty)
    std::string previous[2];  // the two words before it in lower case, nearer last; "" where none
    int known = 0;            // how many of `previous` belong to this sentence (0..2)
    bool sentenceStart = true;  // the prefix is the first word of its sentence
};

// Reads the context at the end of `text` (only its last few hundred bytes
// are looked at, so a long document costs no more than a line).
VX_CursorContext vxCursorContext(std::string_view text, bool semicolonEndsSentence = false);

// True for the languages whose question mark is typed as ";" (Greek).
bool vxSemicolonEndsSentence(std::string_view language);

#endif
