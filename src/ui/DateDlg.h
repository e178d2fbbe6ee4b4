#pragma once
// A small modal dialog in which one day is picked on a month calendar.

#include "base/DateUtil.h"

#include <QDialog>

class QCalendarWidget;
class QPushButton;
class QSpacerItem;

namespace quorvane {

class TfrmDateDialog : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDateDialog(QWidget* parent = nullptr);

    // The calendar shows the day of value; Date() gives the chosen day at value's time of day.
    void SetDate(TDateTime value);
    TDateTime Date() const;

    QCalendarWidget* Calendar() const { return FCalendar; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void UpdateTitleRoom();

    QCalendarWidget* FCalendar;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    TDateTime FDate = 0;
    QSpacerItem* FTitleRoom = nullptr;
};

// Shows the date dialog titled caption, starting at the day of date. The calendar's day is
// written back into date whichever button closed the dialog (keeping date's time of day);
// returns true for OK.
bool SelectDate(const QString& caption, TDateTime& date, QWidget* parent = nullptr);

} // namespace quorvane
