#include "ui/DateDlg.h"

#include "ui/DateConv.h"
#include "ui/EditLib.h"
#include "ui/ModalRunner.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFontMetrics>
#include <QSpacerItem>
#include <QStyle>

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quorvane {

TfrmDateDialog::TfrmDateDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmDateDialog"));
    setWindowTitle(tr("Select Date"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    FCalendar = new QCalendarWidget(this);
    FCalendar->setObjectName(QStringLiteral("Calendar"));
    FCalendar->setSelectionMode(QCalendarWidget::SingleSelection);
    FCalendar->setGridVisible(false);
    FCalendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    FCalendar->setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));

    CreateOkCancel(this, tr("OK"), tr("Cancel"), btnOK, btnCancel);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // A double click on a day chooses it, as Enter does.
    connect(FCalendar, &QCalendarWidget::activated, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);
    auto* main = new QVBoxLayout(this);
    main->addWidget(FCalendar);
    main->addWidget(buttons);
    // The dialog is as wide as its title needs, so the title bar shows it whole.
    FTitleRoom = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
    main->addSpacerItem(FTitleRoom);
    UpdateTitleRoom();
    main->setSizeConstraint(QLayout::SetFixedSize);

    FCalendar->setFocus();
}

void TfrmDateDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::FontChange)
        UpdateTitleRoom();
}

void TfrmDateDialog::UpdateTitleRoom() {
    if (FTitleRoom == nullptr) return;
    // Title bars often use a bold face; the buttons and icon of the title bar need room too.
    QFont title = font();
    title.setBold(true);
    const int bar = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight), 16);
    FTitleRoom->changeSize(QFontMetrics(title).horizontalAdvance(windowTitle()) + 5 * bar, 0,
                           QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (layout() != nullptr) layout()->invalidate();
}

void TfrmDateDialog::SetDate(TDateTime value) {
    FDate = value;
    const QDate day = DayCountToDate(value);
    if (day.isValid()) FCalendar->setSelectedDate(day);
}

TDateTime TfrmDateDialog::Date() const {
    const QDate day = FCalendar->selectedDate();
    if (day == DayCountToDate(FDate)) return FDate;
    return ReplaceDay(FDate, day);
}

bool SelectDate(const QString& caption, TDateTime& date, QWidget* parent) {
    TfrmDateDialog dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.SetDate(date);
    const bool ok = RunModal(dialog) == QDialog::Accepted;
    date = dialog.Date();
    return ok;
}

} // namespace quorvane
