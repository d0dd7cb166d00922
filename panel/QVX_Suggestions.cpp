#include "panel/QVX_Suggestions.h"

#include <QTimer>
#include <string_view>

#include "app/QVX_Board.h"
#include "engine/VX_Layout.h"
#include "prediction/VX_UserModel.h"
#include "prediction/VX_Words.h"

namespace {

bool modelExists(const std::string &language)
{
    return !VX_LanguageModel::findFile(language).empty();
}

// The name of `layout` ("" when it has none).
std::string nameOf(const VX_Layout *layout)
{
    return layout && layout->name ? std::string(layout->name.get()) : std::string();
}

}  // namespace

bool QVX_Suggestions::fieldTakesWords(const VX_Field &field)
{
    if (field.isPrivate)
        return false;
    switch (field.purpose) {
    case VX_PURPOSE_NORMAL:
    case VX_PURPOSE_ALPHA:
    case VX_PURPOSE_NAME:
        return true;
    default:
        return false;
    }
}

QVX_Suggestions::QVX_Suggestions(QVX_Board &board, bool suggest, bool learn, const std::string &userDir)
    : QObject(&board), board_(board), suggest_(suggest), learn_(learn), userDir_(userDir)
{
    predictTimer_ = new QTimer(this);
    predictTimer_->setSingleShot(true);
    predictTimer_->setInterval(0);
    connect(predictTimer_, &QTimer::timeout, this, &QVX_Suggestions::predictNow);
    saveTimer_ = new QTimer(this);
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(kSaveDelayMs);
    connect(saveTimer_, &QTimer::timeout, this, &QVX_Suggestions::save);
    connect(&board, &QVX_Board::suggestionChosen, this, &QVX_Suggestions::onChosen);
    connect(&board, &QVX_Board::suggestionHeld, this, &QVX_Suggestions::onHeld);
    layoutShown();
}

QVX_Suggestions::~QVX_Suggestions()
{
    save();
}

bool QVX_Suggestions::active() const
{
    return suggest_ && !termShown_ && predictor_ && fieldTakesWords(field_);
}

bool QVX_Suggestions::learning() const
{
    return learn_ && active();
}

void QVX_Suggestions::layoutShown()
{
    if (!suggest_)
        return;
    const VX_Engine &engine = board_.engine;
    const VX_Layout *shown = engine.activeLayout();
    if (shown && shown == lastShown_)
        return;  // the board repaints, the layout stays
    lastShown_ = shown;
    termShown_ = nameOf(shown) == "term";
    // The basic layout the shown one belongs to.
    const VX_Engine::Place place = engine.place();
    const VX_Layout *basic = shown;
    if (place.row != VX_LAYOUT_BASIC)
        basic = place.returnSlot >= 0 ? engine.layoutAt(VX_LAYOUT_BASIC, place.returnSlot) : nullptr;
    const std::string language = languageOf(nameOf(basic), modelExists);
    if (!language.empty())
        useLanguage(language);
    updateShown();
}

void QVX_Suggestions::setField(const VX_Field &field)
{
    if (field == field_)
        return;
    field_ = field;
    updateShown();
}

void QVX_Suggestions::textChanged(const std::string &before, bool whole)
{
    whole_ = whole;
    // Typed on (the text grew at the cursor), or a word chosen just now
    // (which may have changed the letters before it).
    const bool typed =
        chosen_ || (before.size() > before_.size() && before.compare(0, before_.size(), before_) == 0);
    chosen_ = false;
    before_ = before;
    if (!active())
        return;
    if (typed && learning())
        learnCompleted(before);
    predictTimer_->start();
}

void QVX_Suggestions::save()
{
    saveTimer_->stop();
    if (predictor_ && learn_ && predictor_->user().changed())
        predictor_->user().save(userPath());
}

std::string QVX_Suggestions::userPath() const
{
    if (userDir_.empty())
        return VX_UserModel::defaultPath(language_);
    return userDir_ + "/learned-" + language_ + ".txt";
}

void QVX_Suggestions::useLanguage(const std::string &language)
{
    if (language == language_)
        return;
    save();
    predictor_.reset();
    model_.reset();
    language_ = language;
    auto model = std::make_unique<VX_LanguageModel>();
    if (!model->load(VX_LanguageModel::findFile(language)))
        return;  // said why; no suggestions in this language
    model_ = std::move(model);
    predictor_ = std::make_unique<VX_Predictor>(*model_);
    // A damaged or foreign file is refused with a message; the next save
    // replaces it.
    const std::string path = userPath();
    if (!path.empty())
        predictor_->user().load(path, language);
    learnedUpTo_.clear();
}

void QVX_Suggestions::updateShown()
{
    const bool shown = active();
    if (shown != board_.barShown()) {
        board_.setBarShown(shown);
        board_.showActive();
        emit board_.changed();
    }
    if (shown)
        predictTimer_->start();
    else
        board_.setSuggestions({});
}

void QVX_Suggestions::predictNow()
{
    if (!active()) {
        board_.setSuggestions({});
        return;
    }
    board_.setSuggestions(predictor_->predict(before_, VX_SuggestionBar::kCells, whole_));
}

void QVX_Suggestions::learnCompleted(const std::string &before)
{
    // The last word followed by something that is not part of a word.
    std::string_view last;
    vxForEachWord(before, true, [&](std::string_view word, bool) { last = word; },
                  vxSemicolonEndsSentence(language_));
    if (last.empty())
        return;
    const size_t end = size_t(last.data() - before.data()) + last.size();
    // Only a word completed by what was typed now (after it, nothing but
    // what ends it), and once.
    VX_CursorContext context = vxCursorContext(before, vxSemicolonEndsSentence(language_));
    if (!context.prefix.empty())
        return;
    if (before.compare(0, end, learnedUpTo_) == 0 && learnedUpTo_.size() == end)
        return;
    learnedUpTo_ = before.substr(0, end);
    predictor_->learnWord(std::string_view(before).substr(0, end - last.size()), last);
    saveTimer_->start();
}

void QVX_Suggestions::onChosen(const std::string &word)
{
    if (!active())
        return;
    chosen_ = true;
    emit chosen(word);
}

void QVX_Suggestions::onHeld(const std::string &word)
{
    if (!active() || !learn_)
        return;
    predictor_->forget(word);
    saveTimer_->start();
    predictTimer_->start();
}
