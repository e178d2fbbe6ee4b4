#include "ui/FormKeeper.h"

#include <stdexcept>

#include "base/Errors.h"
#include "persist/PrjLib.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include <algorithm>

namespace quorvane {

namespace {

const QString kTop = QStringLiteral("Top");
const QString kLeft = QStringLiteral("Left");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kWindowState = QStringLiteral("WindowState");

// The plain single-line text boxes of a window, in creation order. The editors inside spin
// boxes and combo boxes, and the numeric box, are not text boxes of their own.
QList<QLineEdit*> TextBoxes(QWidget* window) {
    QList<QLineEdit*> boxes;
    for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
        if (edit->objectName().isEmpty() || edit->inherits("TNaturalEdit")) continue;
        QWidget* parent = edit->parentWidget();
        if (qobject_cast<QAbstractSpinBox*>(parent) || qobject_cast<QComboBox*>(parent)) continue;
        boxes.append(edit);
    }
    return boxes;
}

// Stored screen pixels in Qt's coordinates, by the screen whose pixels hold most of them.
QRect FromStoredPixels(const QRect& pixels) {
    const QScreen* best = nullptr;
    qint64 bestArea = -1;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const QRect native = ToScreenPixels(logical, logical.topLeft(), screen->devicePixelRatio());
        const QRect common = native.intersected(pixels);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (best == nullptr) return pixels;
    return FromScreenPixels(pixels, best->geometry().topLeft(), best->devicePixelRatio());
}

} // namespace

QRect ToScreenPixels(const QRect& rect, const QPoint& origin, qreal ratio) {
    const QPoint topLeft = origin + (rect.topLeft() - origin) * ratio;
    return QRect(topLeft, (QSizeF(rect.size()) * ratio).toSize());
}

QRect FromScreenPixels(const QRect& pixels, const QPoint& origin, qreal ratio) {
    if (ratio <= 0) return pixels;
    const QPoint topLeft = origin + (pixels.topLeft() - origin) / ratio;
    return QRect(topLeft, (QSizeF(pixels.size()) / ratio).toSize());
}

QRect VisiblePlacement(const QRect& stored, const QSize& minimum, const QSize& floor) {
    // The screen that shows most of the rectangle, else the primary one (a screen that was
    // unplugged, or values from a larger or differently scaled desktop).
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(stored);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (best == nullptr) best = QGuiApplication::primaryScreen();
    if (best == nullptr) return stored;
    const QRect area = best->availableGeometry();
    QRect placed = stored;
    // No larger than the screen (but never below the window's own minimum, nor below the floor
    // where the screen has room for it), then moved in.
    const QSize least = minimum.expandedTo(floor.boundedTo(area.size()));
    placed.setWidth(std::max(std::min(stored.width(), area.width()), least.width()));
    placed.setHeight(std::max(std::min(stored.height(), area.height()), least.height()));
    if (placed.right() > area.right()) placed.moveRight(area.right());
    if (placed.bottom() > area.bottom()) placed.moveBottom(area.bottom());
    if (placed.left() < area.left()) placed.moveLeft(area.left());
    if (placed.top() < area.top()) placed.moveTop(area.top());
    return placed;
}

TFormKeeper::TFormKeeper(QWidget* owner) : FOwner(owner) {
    if (!owner || !owner->isWindow())
        throw std::logic_error("The window placement keeper must be placed on a window");
    FormName = owner->objectName();
}

std::unique_ptr<TRegistry> TFormKeeper::OpenKey() const {
    const TRegistryAddress& address = Project ? Project->RegistryAddress : RegistryAddress;
    return OpenAddressKey(address, QStringLiteral("Forms\\") + FormName);
}

void TFormKeeper::Store() {
    if (!FOwner) return;
    std::unique_ptr<TRegistry> reg = OpenKey();
    if (FormStore) StoreFormState(*reg);
    if (ComponentsStore) StoreComponents(*reg);
    if (OnSave) OnSave(this, *reg);
    reg->CloseKey();
}

void TFormKeeper::Restore() {
    if (!FOwner) return;
    std::unique_ptr<TRegistry> reg = OpenKey();
    if (ComponentsStore) RestoreComponents(*reg);
    if (OnLoad) OnLoad(this, *reg);
    if (FormStore) RestoreFormState(*reg);
    reg->CloseKey();
}

void TFormKeeper::StoreFormState(TRegistry& reg) {
    const Qt::WindowStates state = FOwner->windowState();
    if (state & Qt::WindowMinimized) return; // the previous values stay
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        // The bounds of the last normal state stay, so the window comes back there, maximised.
        reg.WriteInteger(kWindowState, 1);
        return;
    }
    // pos() is the outer top-left corner; the size is the window's own, so that a restore
    // gives back exactly what was stored whatever the frame. Written in screen pixels.
    QRect bounds(FOwner->pos(), FOwner->size());
    if (const QScreen* screen = FOwner->screen())
        bounds = ToScreenPixels(bounds, screen->geometry().topLeft(), screen->devicePixelRatio());
    reg.WriteInteger(kTop, bounds.top());
    reg.WriteInteger(kLeft, bounds.left());
    reg.WriteInteger(kWidth, bounds.width());
    reg.WriteInteger(kHeight, bounds.height());
    reg.WriteInteger(kWindowState, 0);
}

void TFormKeeper::RestoreFormState(TRegistry& reg) {
    // The stored values are read as they are; the window is then kept on a visible screen and
    // no larger than it, and the window's minimum size holds.
    QRect stored(FOwner->pos(), FOwner->size());
    if (reg.ValueExists(kTop) || reg.ValueExists(kLeft) || reg.ValueExists(kWidth) ||
        reg.ValueExists(kHeight)) {
        // A value that is missing keeps what the window has.
        QRect pixels = stored;
        if (const QScreen* screen = FOwner->screen())
            pixels =
                ToScreenPixels(stored, screen->geometry().topLeft(), screen->devicePixelRatio());
        if (reg.ValueExists(kTop)) pixels.moveTop(reg.ReadInteger(kTop));
        if (reg.ValueExists(kLeft)) pixels.moveLeft(reg.ReadInteger(kLeft));
        if (reg.ValueExists(kWidth)) pixels.setWidth(reg.ReadInteger(kWidth));
        if (reg.ValueExists(kHeight)) pixels.setHeight(reg.ReadInteger(kHeight));
        stored = FromStoredPixels(pixels);
    }
    const QSize minimum = FOwner->minimumSize();
    const QRect placed = VisiblePlacement(
        QRect(stored.topLeft(), stored.size().expandedTo(minimum)), minimum, RestoreFloor);
    FOwner->move(placed.topLeft());
    FOwner->resize(placed.size());
    if (!reg.ValueExists(kWindowState)) return;
    switch (reg.ReadInteger(kWindowState)) {
    case 0:
        FOwner->setWindowState(FOwner->windowState() &
                               ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
        break;
    case 1: {
        // Deferred to the event loop, as a maximise request the window gets once it runs.
        QWidget* window = FOwner;
        QMetaObject::invokeMethod(
            window,
            [window] { window->setWindowState(window->windowState() | Qt::WindowMaximized); },
            Qt::QueuedConnection);
        break;
    }
    default:
        break; // unknown states are ignored
    }
}

void TFormKeeper::StoreComponents(TRegistry& reg) {
    for (QLineEdit* edit : TextBoxes(FOwner))
        reg.WriteString(edit->objectName() + QStringLiteral(".Text"), edit->text());
}

void TFormKeeper::RestoreComponents(TRegistry& reg) {
    for (QLineEdit* edit : TextBoxes(FOwner))
        edit->setText(reg.ReadString(edit->objectName() + QStringLiteral(".Text")));
}

} // namespace quorvane
