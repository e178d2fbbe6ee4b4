#include "ui/FitScreen.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace quorvane {

TFittingScrollArea::TFittingScrollArea(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("scrBody"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A scroll bar only once the body is given less height than it needs (SetHeightLimit): one
    // shown on the way to the window's first size would stay, take its width from the fields and
    // cover their right edge.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setFocusPolicy(Qt::NoFocus); // Tab goes through the fields, not the area around them
    // The body looks like the rest of the dialog, not like a list.
    setBackgroundRole(QPalette::Window);
    viewport()->setBackgroundRole(QPalette::Window);
    // A field that gets the keyboard (by Tab, a click or the dialog's choice) is scrolled into
    // view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now != nullptr && widget() != nullptr && widget()->isAncestorOf(now))
            ensureWidgetVisible(now);
    });
}

QSize TFittingScrollArea::sizeHint() const {
    if (widget() == nullptr) return QScrollArea::sizeHint();
    // The content's own layout first: before the dialog is first shown it has not run yet.
    if (widget()->layout() != nullptr) widget()->layout()->activate();
    QSize size = widget()->sizeHint().expandedTo(widget()->minimumSizeHint());
    const int bar = verticalScrollBar()->sizeHint().width();
    const int frame = 2 * frameWidth();
    if (FWidthLimit > 0)
        size.setWidth(std::max(std::min(size.width(), FWidthLimit - frame - (FLimit > 0 ? bar : 0)),
                               widget()->minimumSizeHint().width()));
    // Wrapped lines are as tall as they are at the width they get, not at a guessed one.
    if (widget()->hasHeightForWidth()) size.setHeight(widget()->heightForWidth(size.width()));
    if (FLimit > 0 && size.height() > FLimit) {
        size.setHeight(FLimit);
        size.rwidth() += bar; // room for the scroll bar
    }
    return size + QSize(frame, frame);
}

QSize TFittingScrollArea::minimumSizeHint() const {
    return sizeHint();
}

bool TFittingScrollArea::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget() && event->type() == QEvent::LayoutRequest) updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

void TFittingScrollArea::SetWidthLimit(int width) {
    if (width == FWidthLimit) return;
    FWidthLimit = std::max(width, 0);
    updateGeometry();
}

void TFittingScrollArea::SetHeightLimit(int height) {
    if (height == FLimit) return;
    FLimit = std::max(height, 0);
    setVerticalScrollBarPolicy(FLimit > 0 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    updateGeometry();
}

TFittingScrollArea* ScrollingBody(QWidget* dialog, QLayout* body) {
    auto* area = new TFittingScrollArea(dialog);
    auto* content = new QWidget(area);
    content->setObjectName(QStringLiteral("wgtBody"));
    body->setContentsMargins(0, 0, 0, 0);
    content->setLayout(body);
    area->setWidget(content);
    return area;
}

namespace {

QScreen* ScreenOf(const QWidget& window) {
    if (window.isVisible()) return window.screen();
    if (const QWidget* parent = window.parentWidget()) return parent->window()->screen();
    return QGuiApplication::primaryScreen();
}

// The room the window manager's title bar and borders take: known once the window is shown,
// estimated before.
QSize FrameAllowance(const QWidget& window) {
    const QSize known = window.frameGeometry().size() - window.geometry().size();
    if (window.isVisible() && known.height() > 0) return known;
    const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
    return QSize(8, std::max(title, window.fontMetrics().height() * 2) + 8);
}

} // namespace

void FitToScreen(QWidget& window) {
    const QScreen* screen = ScreenOf(window);
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QSize frame = FrameAllowance(window);
    const int room = area.height() - frame.height();
    const int roomWide = area.width() - frame.width();
    // Sizes as they will be on the screen: with the style's fonts and margins, and the bodies'
    // own layouts done, so that showing the window changes nothing more.
    window.ensurePolished();
    const QList<TFittingScrollArea*> bodies = window.findChildren<TFittingScrollArea*>();
    QLayout* layout = window.layout();
    for (TFittingScrollArea* body : bodies) {
        body->SetHeightLimit(0);
        body->SetWidthLimit(0);
        if (body->widget() != nullptr && body->widget()->layout() != nullptr)
            body->widget()->layout()->activate();
    }
    if (layout != nullptr) layout->activate();
    const auto wanted = [&window, layout] {
        return layout != nullptr ? layout->totalSizeHint().expandedTo(window.minimumSize())
                                 : window.sizeHint();
    };
    // Too wide: the body gives up what is too much, as far as its content allows; its wrapped
    // lines then take more height, which the next step counts.
    if (const int wide = wanted().width() - roomWide; wide > 0 && !bodies.isEmpty()) {
        TFittingScrollArea* body = bodies.front();
        // Kept clear of the scroll bar that the height may still call for.
        body->SetWidthLimit(body->sizeHint().width() - wide -
                            body->verticalScrollBar()->sizeHint().width());
        if (layout != nullptr) {
            layout->invalidate();
            layout->activate();
        }
    }
    const int excess = wanted().height() - room;
    if (excess > 0 && !bodies.isEmpty()) {
        TFittingScrollArea* body = bodies.front();
        body->SetHeightLimit(
            std::max(body->sizeHint().height() - excess, body->fontMetrics().height() * 3));
        // The new limit (and the scroll bar's room) counts now, not at the next layout pass:
        // the window would otherwise change its size at the first change of any text in it.
        if (layout != nullptr) {
            layout->invalidate();
            layout->activate();
        }
    }
    // A window that can be resized is made no larger than the screen.
    const bool fixed = window.minimumSize() == window.maximumSize();
    if (!fixed && (window.height() > room || window.width() > roomWide))
        window.resize(std::max(std::min(window.width(), roomWide), window.minimumWidth()),
                      std::max(std::min(window.height(), room), window.minimumHeight()));
    if (window.isVisible()) {
        // Moved so that the frame lies on the screen.
        QRect frame = window.frameGeometry();
        if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
        if (frame.right() > area.right()) frame.moveRight(area.right());
        if (frame.top() < area.top()) frame.moveTop(area.top());
        if (frame.left() < area.left()) frame.moveLeft(area.left());
        window.move(frame.topLeft());
    }
}

} // namespace quorvane
