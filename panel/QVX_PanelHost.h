// What the shared panel logic asks of the window that shows the board: the
// parts that differ between a window on X11 and a layer surface on Wayland.
// Every call may come when the thing asked for is already so.
#ifndef VEXIL_PANEL_QVX_PANELHOST_H
#define VEXIL_PANEL_QVX_PANELHOST_H

class VX_Layout;

class QVX_PanelHost {
public:
    virtual ~QVX_PanelHost() = default;

    // Shows the board where the options say (as far as the windowing system
    // lets it now).
    virtual void showBoard() = 0;
    // Hides the board and gives back the room it kept at the screen's edge.
    virtual void hideBoard() = 0;
    // Shows the enlarged picture of letter `key` of `layout` above the key,
    // in place of any other; a host that cannot show one shows none.
    virtual void showPreview(const VX_Layout &layout, int key) = 0;
    // Hides the picture of a held letter.
    virtual void hidePreview() = 0;
};

#endif
