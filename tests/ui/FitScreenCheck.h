#pragma once
// Every dialog fits the screen it opens on: its frame on the screen, its buttons whole, nothing
// in its scrolling body cut off at the side (a scroll bar over the fields' right edge), and
// every wrapped text as tall as its lines. Run in English (test_dialogs, also on a small screen
// at scale 2) and in German (test_translation), whose longer words make the dialogs wider.

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "persist/RegistryLib.h"
#include "ui/About.h"
#include "ui/DateDlg.h"
#include "ui/ExportDlg.h"
#include "ui/FitScreen.h"
#include "ui/ModalRunner.h"
#include "ui/OptionsDlg.h"
#include "ui/PasswordField.h"
#include "ui/SeriesDlg.h"
#include "ui/UserDlg.h"
#include "userdb/UserList.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>

namespace quorvane::fitscreen {

// What is wrong with the dialog as it is shown now, one line each.
inline void CheckShownDialog(QDialog& dialog, const QRect& screen) {
    // Room for a title bar is left above it.
    EXPECT_LE(dialog.frameGeometry().height() + 24, screen.height())
        << dialog.height() << " of " << screen.height();
    EXPECT_LE(dialog.frameGeometry().width(), screen.width());
    EXPECT_TRUE(screen.contains(dialog.frameGeometry()))
        << dialog.x() << "," << dialog.y() << " " << dialog.width() << "x" << dialog.height();
    const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
    EXPECT_FALSE(buttons.isEmpty());
    for (QPushButton* button : buttons) {
        if (button->isHidden()) continue;
        // Whole, and not cut off by a scroll area.
        const QRect where(button->mapTo(&dialog, QPoint(0, 0)), button->size());
        EXPECT_TRUE(dialog.rect().contains(where)) << Str(button->text());
        EXPECT_EQ(button->visibleRegion().boundingRect().size(), button->size())
            << Str(button->text());
    }
    for (TFittingScrollArea* body : dialog.findChildren<TFittingScrollArea*>()) {
        // The body's content as wide as the room beside its scroll bar: nothing at its right
        // edge lies under the bar or past the side.
        const QWidget* viewport = body->viewport();
        EXPECT_LE(body->widget()->width(), viewport->width())
            << "the body is " << body->widget()->width() << " wide in " << viewport->width();
        if (body->verticalScrollBar()->isVisible()) {
            EXPECT_LE(viewport->mapTo(body, QPoint(viewport->width(), 0)).x(),
                      body->verticalScrollBar()->mapTo(body, QPoint(0, 0)).x());
        }
        for (const QAbstractButton* button : body->widget()->findChildren<QAbstractButton*>()) {
            if (!button->isVisibleTo(&dialog) || button->text().isEmpty()) continue;
            const int right = button->mapTo(viewport, QPoint(button->width(), 0)).x();
            EXPECT_LE(right, viewport->width()) << Str(button->text()) << " is cut off";
        }
    }
    // An empty field's hint shows whole (a field with buttons of its own leaves them room).
    for (const QLineEdit* edit : dialog.findChildren<QLineEdit*>()) {
        if (!edit->isVisibleTo(&dialog) || !edit->text().isEmpty() ||
            edit->placeholderText().isEmpty() || !edit->actions().isEmpty() ||
            qobject_cast<const QAbstractSpinBox*>(edit->parentWidget()) != nullptr ||
            qobject_cast<const QComboBox*>(edit->parentWidget()) != nullptr)
            continue;
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->hasFrame() ? 1 : 0;
        const int room =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() -
            edit->textMargins().left() - edit->textMargins().right() - 4;
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->placeholderText()), room)
            << "the hint is cut off: " << Str(edit->placeholderText());
    }
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->wordWrap() || !label->isVisibleTo(&dialog) || label->text().isEmpty()) continue;
        EXPECT_GE(label->height(), label->heightForWidth(label->width()))
            << "cut off: " << Str(label->text());
    }
}

// A field that would like more room than any screen has and does with little (a box of long
// names).
class TGreedyField final : public QWidget {
public:
    QSize sizeHint() const override { return {4000, 20}; }
    QSize minimumSizeHint() const override { return {120, 20}; }
};

// A fixed-size dialog laid out as the program's are, whose body wants to be wider than the
// screen.
inline void ShowGreedyDialog() {
    QDialog dialog;
    auto* body = new QVBoxLayout;
    body->addWidget(new TGreedyField);
    auto* label = new QLabel(QString(60, QLatin1Char('w')) + QStringLiteral(" words"));
    label->setWordWrap(true);
    body->addWidget(label);
    auto* main = new QVBoxLayout(&dialog);
    main->addWidget(ScrollingBody(&dialog, body));
    main->addWidget(new QPushButton(QStringLiteral("OK"), &dialog));
    main->setSizeConstraint(QLayout::SetFixedSize);
    RunModal(dialog);
}

// Opens each dialog through the program's modal runner and checks it as shown.
inline void CheckEveryDialogFitsTheScreen() {
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString(dir.File("settings.ini")));
    TUserList list;
    list.Add("ann", "pw");
    std::vector<TSeriesUser> many(200, TSeriesUser{"someone", "password"});
    const struct {
        const char* Name;
        std::function<void()> Show;
    } dialogs[] = {
        {"export", [&] { ShowExportDialog(list, nullptr); }},
        {"user", [&] { ShowUserDialog(list, 0, TUserDialogMode::Edit); }},
        {"series", [&] { ShowUserSeriesDialog(list); }},
        {"series result", [&] { ShowSeriesResult(many); }},
        {"date",
         [] {
             TDateTime date = 46000;
             SelectDate(QStringLiteral("Select the expiration date"), date);
         }},
        {"options", [] { ShowOptionsDialog(); }},
        {"about", [] { ShowAboutBox(nullptr); }},
        {"a body wider than the screen", [] { ShowGreedyDialog(); }},
        {"change password",
         [] {
             std::string password;
             ShowChangePasswordDialog("ann", password);
         }},
    };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.Name);
        int shown = 0;
        TModalHandlerScope scope([&](QDialog& dialog) {
            ++shown;
            ShowActive(dialog);
            CheckShownDialog(dialog, screen);
            return int(QDialog::Rejected);
        });
        d.Show();
        EXPECT_EQ(shown, 1);
    }
}

} // namespace quorvane::fitscreen
