// The one window: a text field above the keyboard board. Every sendKey of
// the board becomes one KeyPress event delivered synchronously to the text
// field.
#ifndef VEXIL_APP_QVX_MAIN_H
#define VEXIL_APP_QVX_MAIN_H

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

class QKeyEvent;
class QTextEdit;
class QVX_Board;

class QVX_Main : public QDialog {
    Q_OBJECT

public:
    // Builds the window and loads the layouts found in the platform's
    // search directories.
    QVX_Main();
    // Same, with the search directories given (tests, tools).
    explicit QVX_Main(std::vector<std::string> searchDirs);

protected:
    // Escape does nothing: a dialog would close on it and the typed text be
    // lost (an Escape key of the board that the text field leaves reaches
    // the window too). Closing stays with the window manager.
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void sendKey(int qkey, const char *unikey);
    // A named key or a key under sticky modifiers, as the physical key's
    // event: arrows, Home, End, Delete move and edit, Ctrl+A selects all.
    void sendStroke(uint32_t keysym, uint32_t mods);

public:
    QTextEdit *textEdit;  // receives the key events; child of the window
    QVX_Board *board;     // the keyboard; child of the window

private:
    bool delivering = false;  // a board key event is being handed to textEdit
};

#endif
