#include "panel/QVX_PanelLogic.h"

#include <QTimer>

#include "app/QVX_Board.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Key.h"
#include "engine/VX_Layout.h"
#include "output/VX_Output.h"
#include "panel/QVX_FieldLayouts.h"
#include "panel/QVX_PanelHost.h"
#include "panel/QVX_Suggestions.h"
#include "panel/VX_LoadLists.h"
#include "purpose/VX_Purpose.h"

void QVX_PanelLogic::applyTouch(const VX_PanelOptions &options, VX_Engine &engine)
{
    const bool touch = !options.pressTypes;
    engine.touch.typeOnLift = touch;
    engine.touch.oneShotCaps = touch;
    engine.touch.marks = touch;
}

std::vector<std::string> QVX_PanelLogic::layoutTexts(const VX_Layout &layout)
{
    std::vector<std::string> texts;
    for (int32_t i = 0; i < layout.keyCount; ++i)
        for (int32_t m = 0; m < layout.modes; ++m)
            if (layout.keys[i].type == VX_KEY_ALPHA && layout.keys[i].chars[m][0] != '\0')
                texts.emplace_back(layout.keys[i].chars[m]);
    return texts;
}

bool QVX_PanelLogic::hasPreview(const VX_Layout &layout, int key)
{
    return key >= 0 && key < layout.keyCount && layout.keys[key].type == VX_KEY_ALPHA;
}

QVX_PanelLogic::QVX_PanelLogic(QVX_PanelHost &host, VX_Output &output, const VX_PanelOptions &options,
                               std::vector<std::string> searchDirs, QWidget *boardParent)
    : host_(host), output_(output), options_(options), session_(output)
{
    const std::string list = VX_LoadLists::fileFor(options.set, searchDirs);
    board = new QVX_Board(boardParent, std::move(searchDirs));
    if (!boardParent)
        ownedBoard_.reset(board);
    applyTouch(options, board->engine);
    connect(board, &QVX_Board::typed, this, &QVX_PanelLogic::typed);
    session_.onCycleClosed = [this] { board->resetKey(); };
    session_.onAwaitReport = [this](uint32_t id) {
        QTimer::singleShot(VX_TypingSession::kReportWaitMs, this, [this, id] { session_.reportTimedOut(id); });
    };

    settleTimer_ = new QTimer(this);
    settleTimer_->setSingleShot(true);
    // Never early: the output undoes only what is past its hold then.
    settleTimer_->setTimerType(Qt::PreciseTimer);
    connect(settleTimer_, &QTimer::timeout, this, [this] { output_.settle(); });

    previewTimer_ = new QTimer(this);
    previewTimer_->setSingleShot(true);
    previewTimer_->setTimerType(Qt::PreciseTimer);
    connect(previewTimer_, &QTimer::timeout, this, [this] { showPreviewNow(previewKey_); });
    if (!options.pressTypes)
        connect(board, &QVX_Board::heldChanged, this, &QVX_PanelLogic::heldChanged);

    autoHideTimer_ = new QTimer(this);
    autoHideTimer_->setSingleShot(true);
    connect(autoHideTimer_, &QTimer::timeout, this, [this] { setShown(false); });

    board->engine.load(list.c_str());
    board->setScale(options.scale);
    fields = new QVX_FieldLayouts(*board, list);

    // Suggestions follow the session's text; a tap types through it.
    suggestions = new QVX_Suggestions(*board, !options.noSuggest, !options.noLearn);
    connect(board, &QVX_Board::changed, suggestions, &QVX_Suggestions::layoutShown);
    session_.onContextChanged = [this] {
        suggestions->textChanged(session_.textBeforeCursor(), session_.knowsWholeText());
    };
    connect(suggestions, &QVX_Suggestions::chosen, this, [this](const std::string &word) {
        prepareOutput();
        session_.choose(word);
        settleTimer_->start(output_.settleDelay());
    });
}

QVX_PanelLogic::~QVX_PanelLogic()
{
    // The session may still type a character waiting for its report: into
    // the output, not back into a board that is going.
    session_.onCycleClosed = nullptr;
    session_.onAwaitReport = nullptr;
    session_.onContextChanged = nullptr;
}

bool QVX_PanelLogic::hasLayout() const { return board->engine.activeLayout() != nullptr; }

void QVX_PanelLogic::setShown(bool shown)
{
    autoHideTimer_->stop();
    wantShown_ = shown;
    if (shown) {
        host_.showBoard();
        return;
    }
    board->cancelPress();
    previewTimer_->stop();
    previewKey_ = -1;
    showPreviewNow(-1);
    host_.hideBoard();
}

void QVX_PanelLogic::prepareOutput()
{
    // A key of another layout than before: the output learns what this
    // one can type before its first key goes out.
    const VX_Layout *active = board->engine.activeLayout();
    if (active && active != prepared_) {
        prepared_ = active;
        output_.prepare(layoutTexts(*active));
    }
}

void QVX_PanelLogic::prepareSet()
{
    const VX_Layout *active = board->engine.activeLayout();
    if (!active)
        return;
    std::vector<std::string> all = layoutTexts(*active);
    for (const auto &row : board->engine.layouts)
        for (const auto &layout : row)
            if (layout && layout.get() != active) {
                const std::vector<std::string> texts = layoutTexts(*layout);
                all.insert(all.end(), texts.begin(), texts.end());
            }
    output_.prepare(all);
}

void QVX_PanelLogic::setField(const VX_Field &field)
{
    fields->setField(field);
    suggestions->setField(field);
    // A preview up over a field that turned private goes.
    if (previewUp_ && field.isPrivate) {
        previewTimer_->stop();
        showPreviewNow(-1);
    }
}

const VX_Field &QVX_PanelLogic::field() const { return fields->field(); }

void QVX_PanelLogic::autoFieldActive(bool active)
{
    if (!options_.autoShow)
        return;
    if (active) {
        setShown(true);
    } else if (wantShown_) {
        autoHideTimer_->start(kAutoHideGraceMs);
    }
}

std::string QVX_PanelLogic::status(bool shown, const char *output, bool autoShows) const
{
    const VX_Layout *layout = board->engine.activeLayout();
    const VX_Field &focused = field();
    std::string text;
    text += std::string("shown: ") + (shown ? "yes" : "no") + "\n";
    text += std::string("output: ") + output + "\n";
    text += std::string("layout: ") + (layout ? layout->displayName() : "none") + "\n";
    text += "set: " + VX_LoadLists::nameOf(options_.set) + "\n";
    text += std::string("purpose: ") + (focused.focused ? vxPurposeName(focused.purpose) : "none") + "\n";
    text += std::string("auto: ") + (autoShows ? "yes" : "no") + "\n";
    return text;
}

void QVX_PanelLogic::typed(const VX_KeyResult &result)
{
    if (result.keysym == 0)
        prepareOutput();
    session_.apply(result);
    settleTimer_->start(output_.settleDelay());
}

void QVX_PanelLogic::focusMoved()
{
    board->focusChanged();
    session_.resetContext();
}

void QVX_PanelLogic::clickedIntoApplication() { session_.resetContext(); }

void QVX_PanelLogic::heldChanged(int key)
{
    previewKey_ = key;
    // A preview already up follows the finger at once; a new one waits
    // kPreviewDelayMs.
    const VX_Layout *layout = board->engine.activeLayout();
    if (layout && previews(*layout, key) && !previewUp_) {
        previewTimer_->start(kPreviewDelayMs);
        return;
    }
    previewTimer_->stop();
    showPreviewNow(key);
}

void QVX_PanelLogic::showPreviewNow(int key)
{
    const VX_Layout *layout = board->engine.activeLayout();
    if (layout && wantShown_ && previews(*layout, key)) {
        host_.showPreview(*layout, key);
        previewUp_ = true;
    } else {
        host_.hidePreview();
        previewUp_ = false;
    }
}

bool QVX_PanelLogic::previews(const VX_Layout &layout, int key) const
{
    return hasPreview(layout, key) && !field().isPrivate;
}
