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
// of the date are reached with the arrow keys.
class TDatePicker : public QDateEdit {
public:
    using QDateEdit::QDateEdit;

protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

// Sets a date edit to the locale's short date format, date only, with a drop-down calendar.
void SetUpDatePicker(QDateEdit& picker);

} // namespace quorvane
