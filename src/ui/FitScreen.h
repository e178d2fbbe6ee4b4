#pragma once
// Dialogs that fit the screen: a dialog's body goes into a scroll area that shows all of it
// where the screen has room and scrolls where it has not (a small screen, a large scale
// factor), so that the buttons below it always stay on the screen.

#include <QScrollArea>

class QLayout;

namespace quorvane {

// The scroll area of a dialog's body. Its size hint is its content's, up to a height limit.
class TFittingScrollArea final : public QScrollArea {
public:
    explicit TFittingScrollArea(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The tallest the area may be; 0 for no limit.
    void SetHeightLimit(int height);
    int HeightLimit() const { return FLimit; }
    // The widest the area may be, scroll bar included, yet never narrower than its content
    // can be laid out in (texts wrap, fields shrink); 0 for no limit.
    void SetWidthLimit(int width);

protected:
    // A body whose content grows or shrinks (a line of warnings comes or goes) changes the
    // area's size too, and with it the dialog's.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int FLimit = 0;
    int FWidthLimit = 0;
};

// Puts `body` (the layout of everything above the dialog's buttons) into a fitting scroll area
// and returns the area, to be added to the dialog's layout in its place.
TFittingScrollArea* ScrollingBody(QWidget* dialog, QLayout* body);

// Makes the window fit the available area of its screen (its parent's screen before it is
// shown): the body scrolls where it would not fit, a resizable window is made smaller, and the
// window is moved onto the screen. RunModal does this for every dialog it shows.
void FitToScreen(QWidget& window);

} // namespace quorvane
