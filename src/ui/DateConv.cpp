#include "ui/DateConv.h"

#include <QDateEdit>
#include <QLocale>

#include <cmath>

namespace quorvane {

namespace {
// 1 January 0001 and 31 December 9999 as day counts.
constexpr double kFirstDay = -693593.0;
constexpr double kLastDay = 2958465.0;
} // namespace

QDate DayCountToDate(TDateTime value) {
    if (!std::isfinite(value) || value <= kFirstDay - 1 || value >= kLastDay + 1) return {};
    const TDateParts p = DecodeDateTime(value);
    return QDate(p.Year, p.Month, p.Day);
}

TDateTime ReplaceDay(TDateTime original, const QDate& day) {
    TDateParts p;
    if (DayCountToDate(original).isValid()) p = DecodeDateTime(original);
    p.Year = day.year();
    p.Month = day.month();
    p.Day = day.day();
    return EncodeDateTime(p);
}

QString ShortDateFormatFullYear() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

void SetUpDatePicker(QDateEdit& picker) {
    picker.setCalendarPopup(true);
    picker.setDisplayFormat(ShortDateFormatFullYear());
    picker.setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
}

} // namespace quorvane
