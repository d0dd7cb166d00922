// The panel's word suggestions: which language's model the board's layout
// asks for, what the strip above the board shows for the text before the
// cursor, what a tap on it types, and what is learned from the user.
//
//  - The language is that of the basic layout shown (an aux layout keeps
//    the language of the one it returns to): a layout named by a language
//    code of a shipped model ("en"), or by one followed by '-' or '_'
//    ("en-dvorak"); a layout named otherwise keeps the language shown
//    before it (none at the start: no strip until a layout names one).
//    One language's model is loaded at a time, when first needed.
//  - The strip shows unless suggestions are off (--no-suggest), the layout
//    shown is the terminal one ("term"), or the focused field is private
//    (a password) or not for words (a terminal, digits, a phone number,
//    an address, a date...). It is empty when there is nothing to offer.
//  - Suggestions follow the text before the cursor a turn of the event
//    loop after it changes, so the key that changed it goes out first.
//  - Learning (unless --no-learn, and never in a field without the strip):
//    each word completed (followed by a space or a mark) and each word
//    chosen, with the words before it; kept in the user's learned-<lang>
//    file, saved kSaveDelayMs after the last change and when the panel
//    ends. A held suggestion is forgotten there.
#ifndef VEXIL_PANEL_QVX_SUGGESTIONS_H
#define VEXIL_PANEL_QVX_SUGGESTIONS_H

#include <QObject>
#include <memory>
#include <string>

#include "prediction/VX_LanguageModel.h"
#include "prediction/VX_Predictor.h"
#include "purpose/VX_Purpose.h"

class QTimer;
class QVX_Board;
class VX_Layout;

class QVX_Suggestions : public QObject {
    Q_OBJECT

public:
    // How long after the last word learned or forgotten the file is saved.
    static constexpr int kSaveDelayMs = 5000;
    // Longest language code a layout name may begin with.
    static constexpr size_t kMaxLanguageBytes = 3;

    // The language a layout named `name` types: its leading language code
    // (two or three lower-case letters, alone or before '-' or '_') when
    // `hasModel` says a model exists for it; "" otherwise.
    template <typename HasModel>
    static std::string languageOf(const std::string &name, HasModel hasModel);
    // True when the strip shows for a field of `field` at all.
    static bool fieldTakesWords(const VX_Field &field);

    // Follows `board` (which must outlive this); `suggest` off hides the
    // strip for good, `learn` off learns and forgets nothing. The learned
    // words are read from and saved to `userDir` (learned-<lang>.txt
    // there; "" the user's own folder).
    QVX_Suggestions(QVX_Board &board, bool suggest, bool learn, const std::string &userDir = std::string());
    // Saves what was learned.
    ~QVX_Suggestions() override;

    // The board shows another layout (or may): the language and whether
    // the strip shows follow it.
    void layoutShown();
    // The focused field is now `field`.
    void setField(const VX_Field &field);
    // The text before the cursor is now `before` (UTF-8; as far as it is
    // known, "" after a focus change); `whole`: it is the field's text
    // from its start, not only what the panel typed.
    void textChanged(const std::string &before, bool whole = true);
    // Writes the learned words now when they changed.
    void save();

    // The language whose model is loaded ("" none).
    const std::string &language() const { return language_; }
    // The strip shows (for the layout, field and options now).
    bool active() const;

signals:
    // The user tapped `word`: it is to replace the word being typed,
    // followed by a space (the typing session's choose()).
    void chosen(const std::string &word);

private:
    // Loads the model and learned words of `language` (saving the old
    // ones' first); nothing when it is loaded already.
    void useLanguage(const std::string &language);
    // Shows the strip or not, as active() says.
    void updateShown();
    // Predicts for the text now and shows the result.
    void predictNow();
    // Learns the last completed word of `before` unless learned already.
    void learnCompleted(const std::string &before);
    void onChosen(const std::string &word);
    void onHeld(const std::string &word);
    // The file of the learned words of the language loaded.
    std::string userPath() const;
    bool learning() const;

    QVX_Board &board_;                       // outlives this
    const bool suggest_;                     // --no-suggest not given
    const bool learn_;                       // --no-learn not given
    const std::string userDir_;              // folder of the learned words; "" the user's own
    std::string language_;                   // language loaded; "" none
    std::unique_ptr<VX_LanguageModel> model_;  // its model; null when none is loaded
    std::unique_ptr<VX_Predictor> predictor_;  // over model_; null with it
    const VX_Layout *lastShown_ = nullptr;   // layout shown at the last layoutShown(); not owned
    bool termShown_ = false;                 // the layout shown is the terminal one
    VX_Field field_;                         // the focused field, as last told
    std::string before_;                     // text before the cursor, as last told
    bool whole_ = true;                      // before_ is the field's text from its start
    std::string learnedUpTo_;                // text up to the end of the word learned last
    bool chosen_ = false;                    // a word was chosen since the last textChanged
    QTimer *predictTimer_;                   // single-shot, 0 ms: predicts after the key went out
    QTimer *saveTimer_;                      // single-shot: saves kSaveDelayMs after a change
};

template <typename HasModel>
std::string QVX_Suggestions::languageOf(const std::string &name, HasModel hasModel)
{
    size_t letters = 0;
    while (letters < name.size() && name[letters] >= 'a' && name[letters] <= 'z')
        ++letters;
    if (letters < 2 || letters > kMaxLanguageBytes)
        return std::string();
    if (letters < name.size() && name[letters] != '-' && name[letters] != '_')
        return std::string();
    std::string code = name.substr(0, letters);
    return hasModel(code) ? code : std::string();
}

#endif
