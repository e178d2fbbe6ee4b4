#pragma once
// Access keys (the letter after "&" in a caption) that two controls of one window share. Alt and
// the letter reach only one of them, and not always the one the user reads: a key is checked
// against every other key the window shows at the same time. A page of a tab or stacked widget
// is shown alone, so keys on two pages of one stack do not clash; a key beside the stack clashes
// with the keys on each page. A menu bar's titles form one set; each menu's items another.
// A window whose controls come and go (the export dialog) is walked in each of its states, over
// the controls a key reaches then: Qt hands no key to a hidden or disabled control.

#include "ui/About.h"
#include "ui/CredentialsDlg.h"
#include "ui/DateDlg.h"
#include "ui/EditUsersDlg.h"
#include "ui/ExportDlg.h"
#include "ui/FindDlg.h"
#include "ui/ImportPreviewDlg.h"
#include "ui/MainForm.h"
#include "ui/MasterPasswordDlg.h"
#include "ui/OptionsDlg.h"
#include "ui/PasswordField.h"
#include "ui/RestoreDlg.h"
#include "ui/SeriesDlg.h"
#include "ui/UserDlg.h"
#include "userdb/UserList.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace quorvane::accesskeys {

// The access key of a caption, lower case; a null QChar for none ("&&" is a plain "&").
inline QChar AccessKeyOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) continue;
        if (caption[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return caption[i + 1].toLower();
    }
    return {};
}

struct TAccessKey {
    QChar Key;
    QString Caption;
    std::vector<const QWidget*> Pages; // the stack pages it sits on, outermost first
};

// The pages of stacked widgets (a tab widget's too) `widget` lies on, outermost first.
inline std::vector<const QWidget*> PagesOf(const QWidget* widget, const QWidget* window) {
    std::vector<const QWidget*> pages;
    for (const QWidget* w = widget; w != nullptr && w != window; w = w->parentWidget())
        if (w->parentWidget() != nullptr && qobject_cast<QStackedWidget*>(w->parentWidget()))
            pages.insert(pages.begin(), w);
    return pages;
}

// True when the two keys can be on screen together: one's pages are a start of the other's.
inline bool ShownTogether(const TAccessKey& a, const TAccessKey& b) {
    const size_t n = std::min(a.Pages.size(), b.Pages.size());
    for (size_t i = 0; i < n; ++i)
        if (a.Pages[i] != b.Pages[i]) return false;
    return true;
}

inline void AddClashes(const std::vector<TAccessKey>& keys, const QString& where,
                       std::vector<QString>& clashes) {
    for (size_t i = 0; i < keys.size(); ++i)
        for (size_t j = i + 1; j < keys.size(); ++j)
            if (keys[i].Key == keys[j].Key && ShownTogether(keys[i], keys[j]))
                clashes.push_back(where + QStringLiteral(": Alt+") + keys[i].Key.toUpper() +
                                  QStringLiteral(" is \"") + keys[i].Caption +
                                  QStringLiteral("\" and \"") + keys[j].Caption +
                                  QStringLiteral("\""));
}

// Which controls count: every one the window has, or those a key reaches now (shown and enabled).
enum class TKeyScope { Every, Reachable };

inline bool Reachable(const QWidget* widget, const QWidget& window) {
    return widget->isVisibleTo(&window) && widget->isEnabled();
}

// Every clash in `window` (a dialog or a main window), each as "WINDOW: Alt+K is "A" and "B"".
inline std::vector<QString> AccessKeyClashes(const QWidget& window,
                                             TKeyScope scope = TKeyScope::Every) {
    std::vector<QString> clashes;
    std::vector<TAccessKey> keys;
    const auto add = [&](const QString& caption, const QWidget* at) {
        const QChar key = AccessKeyOf(caption);
        if (!key.isNull()) keys.push_back({key, caption, PagesOf(at, &window)});
    };
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (scope == TKeyScope::Reachable && !Reachable(widget, window)) continue;
        if (qobject_cast<const QMenu*>(widget) != nullptr ||
            qobject_cast<const QMenuBar*>(widget) != nullptr)
            continue;
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            add(button->text(), widget);
        else if (const auto* label = qobject_cast<const QLabel*>(widget);
                 label != nullptr && label->buddy() != nullptr)
            add(label->text(), widget);
        else if (const auto* group = qobject_cast<const QGroupBox*>(widget))
            add(group->title(), widget);
        else if (const auto* tabs = qobject_cast<const QTabWidget*>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                add(tabs->tabText(i), widget);
    }
    const QString name = window.objectName();
    AddClashes(keys, name, clashes);

    for (const QMenuBar* bar : window.findChildren<QMenuBar*>()) {
        std::vector<TAccessKey> titles;
        for (const QAction* action : bar->actions())
            if (const QChar key = AccessKeyOf(action->text()); !key.isNull())
                titles.push_back({key, action->text(), {}});
        AddClashes(titles, name + QStringLiteral(" menu bar"), clashes);
    }
    for (const QMenu* menu : window.findChildren<QMenu*>()) {
        std::vector<TAccessKey> items;
        for (const QAction* action : menu->actions())
            if (const QChar key = AccessKeyOf(action->text()); !key.isNull())
                items.push_back({key, action->text(), {}});
        AddClashes(items, name + QStringLiteral(" menu \"") + menu->title() + QLatin1Char('"'),
                   clashes);
    }
    return clashes;
}

// A field a user types into or chooses in (not the parts of another field: a spin box's or a
// combo box's own editor and list).
inline bool IsField(const QWidget* widget) {
    const bool field = qobject_cast<const QLineEdit*>(widget) != nullptr ||
                       qobject_cast<const QComboBox*>(widget) != nullptr ||
                       qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
                       qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
                       qobject_cast<const QPlainTextEdit*>(widget) != nullptr;
    if (!field) return false;
    for (const QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget())
        if (qobject_cast<const QComboBox*>(w) != nullptr ||
            qobject_cast<const QAbstractSpinBox*>(w) != nullptr)
            return false;
    return true;
}

// The controls of `window` a key reaches now that have none: a button with a caption but no
// key, a field without a caption with a key. `exempt` names (objectName) the controls the
// keyboard reaches otherwise (Cancel answers Escape) or that have no caption of their own.
inline std::vector<QString> MissingAccessKeys(const QWidget& window,
                                              const std::set<QString>& exempt) {
    std::vector<QString> missing;
    std::set<const QWidget*> captioned;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->buddy() != nullptr && Reachable(label, window) &&
            !AccessKeyOf(label->text()).isNull())
            captioned.insert(label->buddy());
    const QString name = window.objectName();
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (!Reachable(widget, window) || exempt.count(widget->objectName()) != 0) continue;
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            // A field's own button (showing a password) is reached through the field.
            if (widget->parentWidget() != nullptr && IsField(widget->parentWidget())) continue;
            if (!button->text().isEmpty() && AccessKeyOf(button->text()).isNull())
                missing.push_back(name + QStringLiteral(": \"") + button->text() +
                                  QStringLiteral("\" has no access key"));
        } else if (IsField(widget) && captioned.count(widget) == 0) {
            missing.push_back(name + QStringLiteral(": ") + widget->objectName() +
                              QStringLiteral(" has no caption with an access key"));
        }
    }
    return missing;
}

// Walks the export dialog through the states that show or enable other controls: each password
// form (its work factor named "Cost" or "Rounds", or none), each kind of address (a file, a
// store, a server over each protocol), an SFTP server with a trusted host key. `visit` gets the
// dialog in each, named.
inline void ForEachExportDialogState(QWidget& dialog,
                                     const std::function<void(const QString&)>& visit) {
    auto* format = dialog.findChild<QComboBox*>(QStringLiteral("cbxFormat"));
    auto* address = dialog.findChild<QLineEdit*>(QStringLiteral("edtAddress"));
    auto* hostKeys = dialog.findChild<QListWidget*>(QStringLiteral("lstHostKeys"));
    if (format == nullptr || address == nullptr || hostKeys == nullptr) {
        ADD_FAILURE() << "not the export dialog: " << dialog.objectName().toStdString();
        return;
    }
    if (hostKeys->count() == 0) hostKeys->addItem(QStringLiteral("SHA256:probe"));
    hostKeys->setCurrentRow(0); // Remove is enabled with a key chosen
    for (int f = 0; f < format->count(); ++f) {
        format->setCurrentIndex(f);
        for (const char* to :
             {"/srv/htpasswd", "sqlite:/srv/auth.db", "ftp://ftp.example.org/htpasswd",
              "ftpes://ftp.example.org/htpasswd", "ftps://ftp.example.org/htpasswd",
              "sftp://ftp.example.org/htpasswd"}) {
            address->setText(QString::fromLatin1(to));
            visit(format->currentText() + QStringLiteral(", to ") + address->text());
        }
    }
}

// What keeps a control of the export dialog from a key of its own, in any of its states (with a
// second target, so that Remove is enabled), each problem named with the state it shows in.
inline std::vector<QString> ExportDialogKeyProblems() {
    TUserList list;
    std::vector<TTargetSettings> targets = ListTargets(list);
    // A login, so that Export and Preview Changes are enabled whichever address is typed.
    targets[0].FtpUser = "web";
    TTargetSettings second;
    second.Name = "web2";
    targets.push_back(second);
    SetTargets(list, targets);
    TfrmExportUser dialog(list);
    // Cancel answers Escape; the check's address and user have their check box's key. The
    // target's program, form, realm, mode, group and command after have none left (26 letters
    // do not cover the dialog): Tab reaches them after the check.
    const std::set<QString> exempt = {
        QStringLiteral("btnCancel"),     QStringLiteral("edtCheckUrl"),
        QStringLiteral("edtCheckUser"),  QStringLiteral("cbxConsumer"),
        QStringLiteral("cbxTargetForm"), QStringLiteral("edtRealm"),
        QStringLiteral("edtMode"),       QStringLiteral("edtGroup"),
        QStringLiteral("edtAfter")};
    std::vector<QString> problems;
    ForEachExportDialogState(dialog, [&](const QString& state) {
        for (const QString& clash : AccessKeyClashes(dialog, TKeyScope::Reachable))
            problems.push_back(state + QStringLiteral(": ") + clash);
        for (const QString& missing : MissingAccessKeys(dialog, exempt))
            problems.push_back(state + QStringLiteral(": ") + missing);
    });
    return problems;
}

// One of each window of the desktop program, as a user can open it, over `list` (which must
// outlive them). The export dialog is walked on its own, state by state
// (ForEachExportDialogState): two of its controls that never show together may share a key.
inline std::vector<std::unique_ptr<QWidget>> EveryWindow(TUserList& list) {
    std::vector<std::unique_ptr<QWidget>> windows;
    windows.push_back(std::make_unique<TfrmMain>());
    windows.push_back(std::make_unique<TfrmUser>());
    windows.push_back(std::make_unique<TfrmChangePassword>("ann"));
    windows.push_back(std::make_unique<TfrmOptions>());
    windows.push_back(std::make_unique<TfrmUserSeries>(list));
    windows.push_back(
        std::make_unique<TfrmSeriesResult>(std::vector<TSeriesUser>{}, nullptr, [] {}));
    windows.push_back(std::make_unique<TfrmCredentials>(std::vector<const TUserProp*>{}));
    windows.push_back(std::make_unique<TfrmDateDialog>());
    windows.push_back(std::make_unique<TfrmEditUsers>(3));
    windows.push_back(std::make_unique<TFindDialog>());
    windows.push_back(std::make_unique<TfrmRestore>(list, std::string()));
    windows.push_back(std::make_unique<TfrmMasterPassword>(QStringLiteral("a.udx"), true,
                                                           QStringLiteral("Try again")));
    windows.push_back(std::make_unique<TfrmNewMasterPassword>(QStringLiteral("Encrypt")));
    windows.push_back(std::make_unique<TAboutForm>());
    windows.push_back(std::make_unique<TfrmImportPreview>(std::string("ann a1\nann a2\n"),
                                                          QStringLiteral("users.txt")));
    return windows;
}

} // namespace quorvane::accesskeys
