#pragma once
// The core keeps every string as bytes. The dialogs show them as UTF-8 text, falling back to
// Latin-1 when the bytes are not valid UTF-8, and give a field back its exact bytes when the user
// left it alone.

#include <QString>

#include <string>

namespace quorvane {

// Bytes as text: UTF-8 when the bytes are valid UTF-8, Latin-1 otherwise.
QString BytesToText(const std::string& bytes);

// Text as UTF-8 bytes.
std::string TextToBytes(const QString& text);

// A text field filled from bytes: remembers the bytes and the text the control showed for them,
// so that reading the control back returns the original bytes while the text is unchanged.
class TByteField {
public:
    TByteField() = default;
    // shown: the text the control reports right after it was given BytesToText(bytes); controls
    // may normalise what they are given (line breaks in a multi-line box).
    TByteField(std::string bytes, QString shown)
        : FBytes(std::move(bytes)), FShown(std::move(shown)) {}

    // The bytes for the control's current text.
    std::string Read(const QString& current) const;
    const QString& Shown() const { return FShown; }

private:
    std::string FBytes;
    QString FShown;
};

} // namespace quorvane
