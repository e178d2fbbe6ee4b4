#pragma once
// Day counts (with the time of day as fraction) and the calendar dates the date controls show.

#include "base/DateUtil.h"

#include <QDate>
#include <QDateEdit>

namespace quorvane {

// The calendar day of a day count; an invalid QDate for values outside years 1 to 9999 (or not
// finite), which no control can show.
QDate DayCountToDate(TDateTime value);

// The given day at the time of day of original (midnight when original has no valid day).
TDateTime ReplaceDay(TDateTime original, const QDate& day);

// The locale's short date format, with the year written in full so that no century is guessed.
QString ShortDateFormatFullYear();

// A date picker whose Tab key leaves the control, as in every other field of a dialog; the parts
// of the date are reached with the arrow keys, or by typing a separator (a blank, ".", "/", "-")
// after a part. Only the Tab key leaves: a typed separator never sends the rest of the date into
// the next field. The month may be typed by its name in any format ("30 Jun 2027").
class TDatePicker : public QDateEdit {
public:
    using QDateEdit::QDateEdit;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void SetMonthKeepingTheDay(int month);
    QString FTypedMonth;    // the letters of a month's name typed so far
    QString FTypedDay;      // the digits of the day typed last
    bool FAdvanced = false; // the last digit completed a part and moved on to the next
};

// Sets a date edit to the locale's short date format, date only, with a drop-down calendar.
void SetUpDatePicker(QDateEdit& picker);

} // namespace quorvane
