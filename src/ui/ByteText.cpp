#include "ui/ByteText.h"

#include <QStringDecoder>

namespace quorvane {

QString BytesToText(const std::string& bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // A leading byte-order mark is part of the value and stays visible.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(view);
}

std::string TextToBytes(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<size_t>(utf8.size()));
}

std::string TByteField::Read(const QString& current) const {
    if (current == FShown) return FBytes;
    return TextToBytes(current);
}

} // namespace quorvane
