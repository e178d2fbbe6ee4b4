#pragma once
// Access keys (the letter after "&" in a caption) that two controls of one window share. Alt and
// the letter reach only one of them, and not always the one the user reads: a key is checked
// against every other key the window shows at the same time. A page of a tab or stacked widget
// is shown alone, so keys on two pages of one stack do not clash; a key beside the stack clashes
// with the keys on each page. A menu bar's titles form one set; each menu's items another.

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
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTabWidget>

#include <map>
#include <memory>
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

// Every clash in `window` (a dialog or a main window), each as "WINDOW: Alt+K is "A" and "B"".
inline std::vector<QString> AccessKeyClashes(const QWidget& window) {
    std::vector<QString> clashes;
    std::vector<TAccessKey> keys;
    const auto add = [&](const QString& caption, const QWidget* at) {
        const QChar key = AccessKeyOf(caption);
        if (!key.isNull()) keys.push_back({key, caption, PagesOf(at, &window)});
    };
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
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

// One of each window of the desktop program, as a user can open it, over `list` (which must
// outlive them).
inline std::vector<std::unique_ptr<QWidget>> EveryWindow(TUserList& list) {
    std::vector<std::unique_ptr<QWidget>> windows;
    windows.push_back(std::make_unique<TfrmMain>());
    windows.push_back(std::make_unique<TfrmUser>());
    windows.push_back(std::make_unique<TfrmChangePassword>("ann"));
    windows.push_back(std::make_unique<TfrmOptions>());
    windows.push_back(std::make_unique<TfrmExportUser>(list));
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
