#include "ui/MessageText.h"

#include "base/BaseTexts.h"
#include "ui/ByteText.h"

#include <QCoreApplication>
#include <QLocale>

#include <cerrno>
#include <cstring>

namespace quorvane {

namespace {

const char* const KContext = "CoreText";

// The system's words for the failures a person meets most, so that they are translated too.
struct TSystemErrorText {
    int Error;
    const char* Text;
};
const TSystemErrorText KSystemErrors[] = {
    {ENOENT, QT_TRANSLATE_NOOP("CoreText", "No such file or directory")},
    {EACCES, QT_TRANSLATE_NOOP("CoreText", "Permission denied")},
    {ECONNREFUSED, QT_TRANSLATE_NOOP("CoreText", "Connection refused")},
    {ETIMEDOUT, QT_TRANSLATE_NOOP("CoreText", "Connection timed out")},
    {ENETUNREACH, QT_TRANSLATE_NOOP("CoreText", "Network is unreachable")},
    {EHOSTUNREACH, QT_TRANSLATE_NOOP("CoreText", "No route to host")},
};

QString SystemErrorText(int error) {
    for (const TSystemErrorText& known : KSystemErrors)
        if (known.Error == error) return QCoreApplication::translate(KContext, known.Text);
    return QString::fromLocal8Bit(std::strerror(error));
}

QString PartText(const TMessagePart& part) {
    switch (part.Kind) {
    case TMessagePart::TPartKind::Text:
        return BytesToText(part.Text);
    case TMessagePart::TPartKind::Number:
        return QString::number(part.Value);
    case TMessagePart::TPartKind::Count:
        return QLocale().toString(static_cast<qulonglong>(part.Value));
    case TMessagePart::TPartKind::Message:
        return part.Items.empty() ? QString() : MessageText(part.Items.front());
    case TMessagePart::TPartKind::List: {
        QStringList items;
        for (const TMessage& item : part.Items)
            items << MessageText(item);
        const QString named = items.join(QStringLiteral(", "));
        if (part.Value == 0) return named;
        return MessageText(Msg(texts::NamesMore, Verbatim(named.toStdString()), Count(part.Value)));
    }
    case TMessagePart::TPartKind::SystemError:
        return SystemErrorText(static_cast<int>(part.Value));
    }
    return {};
}

} // namespace

QString FillParts(const QString& translation, const QStringList& parts) {
    QString out;
    for (qsizetype i = 0; i < translation.size(); ++i) {
        const QChar c = translation[i];
        if (c == QLatin1Char('%') && i + 1 < translation.size()) {
            const int n = translation[i + 1].digitValue();
            if (n >= 1 && n <= parts.size()) {
                out += parts[n - 1];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString MessageText(const TMessage& message) {
    if (message.Empty()) return {};
    QStringList parts;
    for (const TMessagePart& part : message.Parts)
        parts << PartText(part);
    return FillParts(QCoreApplication::translate(KContext, message.Text->English), parts);
}

QString MessageLines(const std::vector<TMessage>& messages) {
    QStringList lines;
    for (const TMessage& message : messages)
        lines << MessageText(message);
    return lines.join(QLatin1Char('\n'));
}

} // namespace quorvane
