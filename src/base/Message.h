#pragma once
// What the program tells its user, as data: which text it is, and the parts that vary (a login,
// a file, a count, the reason of a failure as a message of its own). The core makes no
// finished sentences: the command line writes a message in English (EnglishText), the desktop
// program in the user's language (ui/MessageText), both from the text's one English form.

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

// The translation tools find a text by this mark where it is defined; the core only needs the
// text itself. (The same definition as Qt's, so the two may meet in one file.)
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace quorvane {

// One text of the program: a name to know it by (tests and JSON reports use it) and its English
// form, "%1".."%9" where its parts go. Each library defines its texts in one file of its own,
// FooTexts.cpp, marked QT_TRANSLATE_NOOP("CoreText", ...) for the desktop's translations.
struct TMessageText {
    const char* Id;
    const char* English;
};

// Any text as it is: what a peer said (a server's reply), or a sentence of a front end.
extern const TMessageText KVerbatimText;

struct TMessage;

// A part of a message.
struct TMessagePart {
    enum class TPartKind : std::uint8_t {
        Text,        // a name (login, file, host, scheme) or other bytes, written as they are
        Number,      // an integer in plain digits (a line number, a size in bytes, a mode)
        Count,       // a count of things: plain digits in English, the locale's way on the desktop
        Message,     // a message of its own (Items[0]), such as the reason after "failed: "
        List,        // Items joined by ", ", then " and N more" when Value is not 0
        SystemError, // an errno value, as the system words it
    };
    TPartKind Kind = TPartKind::Text;
    std::string Text;
    std::uint64_t Value = 0;
    std::vector<TMessage> Items;
};

struct TMessage {
    const TMessageText* Text = &KVerbatimText;
    std::vector<TMessagePart> Parts;

    TMessage() = default;
    TMessage(const TMessageText& text, std::vector<TMessagePart> parts = {})
        : Text(&text), Parts(std::move(parts)) {}

    // Whether this is the given text (its parts not looked at). A text is known by its name:
    // a plugin library holds copies of the texts it raises.
    bool Is(const TMessageText& text) const {
        return Text == &text || std::strcmp(Text->Id, text.Id) == 0;
    }
    bool Empty() const { return Is(KVerbatimText) && (Parts.empty() || Parts[0].Text.empty()); }
};

// The parts of a message, from ordinary values: strings are Text, integers Number; Count,
// Nested, Messages and SystemError say what else a part is.
TMessagePart TextPart(std::string text);
TMessagePart NumberPart(std::uint64_t value);
TMessagePart Count(std::uint64_t value);
TMessagePart Nested(TMessage message);
// Items as a list of at most `named` (the rest counted: "... and 3 more").
TMessagePart Messages(std::vector<TMessage> items, std::size_t named = 20);
// Names as a list, as NameList writes them: "ann, bob and 3 more".
TMessagePart Names(const std::vector<std::string>& names, std::size_t named = 20);
TMessagePart SystemError(int error);

namespace message_detail {
inline TMessagePart ToPart(TMessagePart part) {
    return part;
}
inline TMessagePart ToPart(TMessage message) {
    return Nested(std::move(message));
}
inline TMessagePart ToPart(std::string text) {
    return TextPart(std::move(text));
}
inline TMessagePart ToPart(const char* text) {
    return TextPart(text);
}
template <typename T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
TMessagePart ToPart(T value) {
    return NumberPart(static_cast<std::uint64_t>(value));
}
} // namespace message_detail

// A message of `text` with its parts in the order of %1, %2, ...
template <typename... Parts> TMessage Msg(const TMessageText& text, Parts&&... parts) {
    return TMessage(text, {message_detail::ToPart(std::forward<Parts>(parts))...});
}

// A text that is not one of the program's own (a peer's words) or not meant for translation.
TMessage Verbatim(std::string text);

// The message in English, as the command line writes it.
std::string EnglishText(const TMessage& message);

// The messages in English, one a line.
std::string EnglishLines(const std::vector<TMessage>& messages);

} // namespace quorvane
