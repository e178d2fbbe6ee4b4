#include "ui/DateConv.h"

#include <QDateEdit>
#include <QKeyEvent>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <utility>

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

bool TDatePicker::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
            if (key->key() == Qt::Key_Backtab ||
                (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier) != 0))
                return QWidget::focusNextPrevChild(false);
            if (key->key() == Qt::Key_Tab) return QWidget::focusNextPrevChild(true);
        }
    }
    return QDateEdit::event(event);
}

void TDatePicker::focusInEvent(QFocusEvent* event) {
    FTypedMonth.clear();
    FTypedDay.clear();
    QDateEdit::focusInEvent(event);
}

void TDatePicker::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool plain = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0;
    if (plain && text.size() == 1) {
        const QChar c = text.front();
        if (c.isLetter() && currentSection() == QDateTimeEdit::MonthSection) {
            // The first month whose name, short or long, begins with the letters typed.
            FTypedMonth += c;
            FAdvanced = false;
            const QLocale locale;
            for (int month = 1; month <= 12; ++month) {
                if (!locale.monthName(month, QLocale::ShortFormat)
                         .startsWith(FTypedMonth, Qt::CaseInsensitive) &&
                    !locale.monthName(month, QLocale::LongFormat)
                         .startsWith(FTypedMonth, Qt::CaseInsensitive))
                    continue;
                SetMonthKeepingTheDay(month);
                break;
            }
            setSelectedSection(QDateTimeEdit::MonthSection);
            return;
        }
        FTypedMonth.clear();
        // A separator the format does not use stands for the one it does ("30 06 2027" in a
        // "dd.MM.yyyy" picker), so the picker moves on as it does for its own.
        const bool separator = c == QLatin1Char(' ') || c == QLatin1Char('.') ||
                               c == QLatin1Char('/') || c == QLatin1Char('-');
        const QString format = displayFormat();
        if (separator && std::exchange(FAdvanced, false)) {
            // The picker went on to the next part by itself as the last one was complete: the
            // separator typed after it is the same step, not one more.
            return;
        }
        if (separator && !format.contains(c)) {
            for (const QChar own : format) {
                if (own.isLetter() || own == QLatin1Char('\'')) continue;
                QKeyEvent substitute(event->type(), own.unicode(), event->modifiers(),
                                     QString(own));
                QDateEdit::keyPressEvent(&substitute);
                return;
            }
        }
    } else {
        FTypedMonth.clear();
    }
    const Section section = currentSection();
    const bool digit = plain && text.size() == 1 && text.front().isDigit();
    if (section == QDateTimeEdit::DaySection && digit)
        FTypedDay = FTypedDay.size() < 2 ? FTypedDay + text : text;
    else if (section != QDateTimeEdit::DaySection && section != QDateTimeEdit::MonthSection)
        FTypedDay.clear();
    const int before = currentSectionIndex();
    QDateEdit::keyPressEvent(event);
    FAdvanced = digit && currentSectionIndex() > before;
    // A day typed before the month ("30" while the picker showed February) is the day meant.
    if (section == QDateTimeEdit::MonthSection && digit) SetMonthKeepingTheDay(date().month());
}

void TDatePicker::SetMonthKeepingTheDay(int month) {
    const QDate shown = date();
    const int wanted = FTypedDay.isEmpty() ? shown.day() : FTypedDay.toInt();
    const int days = QDate(shown.year(), month, 1).daysInMonth();
    const QDate next(shown.year(), month, std::clamp(wanted, 1, days));
    if (next != shown) setDate(next);
}

void SetUpDatePicker(QDateEdit& picker) {
    picker.setCalendarPopup(true);
    picker.setDisplayFormat(ShortDateFormatFullYear());
    picker.setDateRange(QDate(1, 1, 1), QDate(9999, 12, 31));
}

} // namespace quorvane
