#include "ui/FormKeeper.h"

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

} // namespace

QRect VisiblePlacement(const QRect& stored, const QSize& minimum) {
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
    // No larger than the screen (but never below the window's own minimum), then moved in.
    placed.setWidth(std::max(std::min(stored.width(), area.width()), minimum.width()));
    placed.setHeight(std::max(std::min(stored.height(), area.height()), minimum.height()));
    if (placed.right() > area.right()) placed.moveRight(area.right());
    if (placed.bottom() > area.bottom()) placed.moveBottom(area.bottom());
    if (placed.left() < area.left()) placed.moveLeft(area.left());
    if (placed.top() < area.top()) placed.moveTop(area.top());
    return placed;
}

TFormKeeper::TFormKeeper(QWidget* owner) : FOwner(owner) {
    if (!owner || !owner->isWindow())
        throw EQuorvaneError("The window placement keeper must be placed on a window");
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
    // gives back exactly what was stored whatever the frame.
    reg.WriteInteger(kTop, FOwner->y());
    reg.WriteInteger(kLeft, FOwner->x());
    reg.WriteInteger(kWidth, FOwner->width());
    reg.WriteInteger(kHeight, FOwner->height());
    reg.WriteInteger(kWindowState, 0);
}

void TFormKeeper::RestoreFormState(TRegistry& reg) {
    // The stored values are read as they are; the window is then kept on a visible screen and
    // no larger than it, and the window's minimum size holds.
    int top = FOwner->y(), left = FOwner->x(), width = FOwner->width(), height = FOwner->height();
    if (reg.ValueExists(kTop)) top = reg.ReadInteger(kTop);
    if (reg.ValueExists(kLeft)) left = reg.ReadInteger(kLeft);
    if (reg.ValueExists(kWidth)) width = reg.ReadInteger(kWidth);
    if (reg.ValueExists(kHeight)) height = reg.ReadInteger(kHeight);
    const QSize minimum = FOwner->minimumSize();
    const QRect stored(left, top, std::max(width, minimum.width()),
                       std::max(height, minimum.height()));
    const QRect placed = VisiblePlacement(stored, minimum);
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
