#include "DateDlg.h"

#include "DateConv.h"
#include "ModalRunner.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

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

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton* button : {btnOK, btnCancel}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
    }
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // A double click on a day chooses it, as Enter does.
    connect(FCalendar, &QCalendarWidget::activated, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout(this);
    main->addWidget(FCalendar);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    FCalendar->setFocus();
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
