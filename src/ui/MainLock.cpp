// The main window's idle lock of an encrypted database: hidden and cleared from memory after the
// chosen idle time, open again with the master password.

#include "ui/MainForm.h"

#include "ui/OptionsDlg.h"
#include "ui/UsersModel.h"
#include "userdb/DataLib.h"
#include "userdb/Envelope.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvane {

void TfrmMain::CreateLockPanel() {
    pnlLocked = new QWidget(centralWidget());
    pnlLocked->setObjectName(QStringLiteral("pnlLocked"));
    auto* label = new QLabel(tr("The database is locked."), pnlLocked);
    label->setObjectName(QStringLiteral("lblLocked"));
    label->setAlignment(Qt::AlignCenter);
    auto* unlock = new QPushButton(tr("&Unlock..."), pnlLocked);
    unlock->setObjectName(QStringLiteral("btnUnlock"));
    connect(unlock, &QPushButton::clicked, this, [this] { UnlockDatabase(); });
    auto* layout = new QVBoxLayout(pnlLocked);
    layout->addStretch(1);
    layout->addWidget(label);
    layout->addWidget(unlock, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    centralWidget()->layout()->addWidget(pnlLocked);
    pnlLocked->hide();

    FIdleTimer = new QTimer(this);
    FIdleTimer->setSingleShot(true);
    connect(FIdleTimer, &QTimer::timeout, this, &TfrmMain::IdleTimeout);
    // Input anywhere in the program counts, dialogs included.
    qApp->installEventFilter(this);
    ApplyIdleLockOption();
}

void TfrmMain::ApplyIdleLockOption() {
    const int minutes = StoredIdleLockMinutes();
    if (minutes <= 0) {
        FIdleTimer->stop();
        return;
    }
    FIdleTimer->setInterval(static_cast<int>(
        std::min<long long>(static_cast<long long>(minutes) * IdleMinuteMs, 0x7FFFFFFF)));
    if (!FLocked) FIdleTimer->start();
}

void TfrmMain::IdleTimeout() {
    if (FLocked || FUserList->Encryption() == nullptr) {
        FIdleTimer->start(); // a plain database is not locked; encrypting it later counts
        return;
    }
    // Never under an open dialog or a command: the lock waits until it is closed.
    if (QApplication::activeModalWidget() != nullptr ||
        QApplication::activePopupWidget() != nullptr || Updating()) {
        FIdleTimer->start(std::min(FIdleTimer->interval(), 1000));
        return;
    }
    Guarded(this, [this] { LockDatabase(); });
}

void TfrmMain::LockDatabase() {
    if (FLocked || FUserList->Encryption() == nullptr) return;
    const std::shared_ptr<const TDatabaseKey> key = FUserList->Encryption();
    // Everything that was open goes into memory sealed with the database's key, so nothing
    // (unsaved changes included) is lost and nothing is readable until the unlock.
    std::string text = ListText(*FUserList);
    FLockedText = key->Seal(text);
    std::fill(text.begin(), text.end(), '\0');
    FLockedModified = Project.Modified();
    FLocked = true;
    FIdleTimer->stop();
    edtFilter->clear(); // what was typed there may be a login
    CreateUserList();   // the rows, the undo steps (they hold users) and the users go
    FUserList->SetEncryption(key);
    FLockedActions.clear();
    // Quit and Help stay at hand, with the menus that hold them.
    std::vector<const QAction*> kept = {miExit, miHelpTopics, miAbout};
    for (const QAction* action : std::vector<const QAction*>(kept))
        for (QObject* holder : action->associatedObjects())
            if (const auto* menu = qobject_cast<QMenu*>(holder)) kept.push_back(menu->menuAction());
    for (QAction* action : findChildren<QAction*>()) {
        if (std::find(kept.begin(), kept.end(), action) != kept.end()) continue;
        FLockedActions.emplace_back(action, action->isEnabled());
        action->setEnabled(false);
    }
    edtFilter->hide();
    lblFilterCount->hide();
    lvwUsers->hide();
    pnlLocked->show();
    ShowResult(QString());
    UpdateStatus();
}

bool TfrmMain::UnlockDatabase() {
    if (!FLocked) return true;
    bool opened = false;
    Guarded(this, [&] {
        if (!ConfirmMasterPassword()) return;
        const std::shared_ptr<const TDatabaseKey> key = FUserList->Encryption();
        const TSecret text = key->Open(FLockedText);
        ReadListText(text.View(), *FUserList); // into the empty list the lock left
        opened = true;
    });
    if (!opened) return false;
    FLocked = false;
    FLockedText.clear();
    for (const auto& [action, enabled] : FLockedActions)
        action->setEnabled(enabled);
    FLockedActions.clear();
    pnlLocked->hide();
    edtFilter->show();
    lblFilterCount->show();
    lvwUsers->show();
    FillList();
    // The undo steps went with the lock; a change kept through it is still unsaved.
    Project.SetModified(FLockedModified);
    if (FLockedModified) FUndoStack->resetClean();
    UpdateCommands();
    UpdateCaption();
    if (FIdleTimer->interval() > 0 && StoredIdleLockMinutes() > 0) FIdleTimer->start();
    CheckFileOnDisk();
    return true;
}

} // namespace quorvane
