#pragma once
// Texts in the desktop program's tests: QString shown as text in failures, and conversions.

#include <QString>

#include <ostream>
#include <string>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

inline std::string Str(const QString& text) {
    return text.toStdString();
}

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
