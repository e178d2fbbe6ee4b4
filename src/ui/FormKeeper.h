#pragma once
// Keeps a window's position, size and maximised state in the settings store between runs and,
// on request, the texts of its single-line text boxes. The key is the address's path joined
// with "Forms\" + FormName; its values are "Top", "Left", "Width", "Height" (in screen pixels,
// so a run with another scale factor finds the window as large on the screen as it was),
// "WindowState" (0 normal, 1 maximised) and, for text boxes, the box's name + ".Text".

#include "persist/RegistryLib.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace quorvane {

class TProject;
class TFormKeeper;

// Where a window stored at this rectangle goes now: on the screen that shows most of it (the
// primary screen when none does), no larger than that screen's available area, moved inside
// it. Never smaller than minimum, nor than floor where the screen has room for it.
QRect VisiblePlacement(const QRect& stored, const QSize& minimum, const QSize& floor = QSize());

// A rectangle in Qt's device-independent coordinates as screen pixels, and back, for a screen
// whose top-left corner is `origin` (the same in both) and whose pixels per unit are `ratio`.
QRect ToScreenPixels(const QRect& rect, const QPoint& origin, qreal ratio);
QRect FromScreenPixels(const QRect& pixels, const QPoint& origin, qreal ratio);

// Receives the accessor already open on the window's key; it must not close it.
using TStoreEvent = std::function<void(TFormKeeper* sender, TRegistry& reg)>;

class TFormKeeper {
public:
    // The owner must be a window (a top-level widget); anything else raises.
    explicit TFormKeeper(QWidget* owner);
    TFormKeeper(const TFormKeeper&) = delete;
    TFormKeeper& operator=(const TFormKeeper&) = delete;

    TProject* Project = nullptr;      // when set, its RegistryAddress is used instead
    TRegistryAddress RegistryAddress; // used only while Project is not set
    bool FormStore = true;
    QString FormName; // the owner's object name at construction
    bool ComponentsStore = false;
    // A restored window is at least this large where its screen has room (empty: no floor).
    QSize RestoreFloor;
    TStoreEvent OnLoad;
    TStoreEvent OnSave;

    // Reads the stored state into the window; called once before the window is first shown.
    // A maximised state is applied from the event loop, after the normal bounds.
    void Restore();
    // Writes the window's state; called once as the window goes away.
    void Store();

    QWidget* Owner() const { return FOwner; }

private:
    std::unique_ptr<TRegistry> OpenKey() const;
    void StoreFormState(TRegistry& reg);
    void RestoreFormState(TRegistry& reg);
    void StoreComponents(TRegistry& reg);
    void RestoreComponents(TRegistry& reg);

    QPointer<QWidget> FOwner;
};

} // namespace quorvane
