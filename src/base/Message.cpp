#include "base/Message.h"

#include "base/BaseTexts.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

TMessagePart TextPart(std::string text) {
    TMessagePart part;
    part.Text = std::move(text);
    return part;
}

TMessagePart NumberPart(std::uint64_t value) {
    TMessagePart part;
    part.Kind = TMessagePart::TPartKind::Number;
    part.Value = value;
    return part;
}

TMessagePart Count(std::uint64_t value) {
    TMessagePart part = NumberPart(value);
    part.Kind = TMessagePart::TPartKind::Count;
    return part;
}

TMessagePart Nested(TMessage message) {
    TMessagePart part;
    part.Kind = TMessagePart::TPartKind::Message;
    part.Items.push_back(std::move(message));
    return part;
}

TMessagePart Messages(std::vector<TMessage> items, std::size_t named) {
    TMessagePart part;
    part.Kind = TMessagePart::TPartKind::List;
    if (items.size() > named) {
        part.Value = items.size() - named;
        items.resize(named);
    }
    part.Items = std::move(items);
    return part;
}

TMessagePart Names(const std::vector<std::string>& names, std::size_t named) {
    std::vector<TMessage> items;
    items.reserve(std::min(names.size(), named));
    for (std::size_t i = 0; i < names.size() && i < named; ++i)
        items.push_back(Verbatim(names[i]));
    TMessagePart part = Messages(std::move(items), named);
    if (names.size() > named) part.Value = names.size() - named;
    return part;
}

TMessagePart SystemError(int error) {
    TMessagePart part;
    part.Kind = TMessagePart::TPartKind::SystemError;
    part.Value = static_cast<std::uint64_t>(error);
    return part;
}

TMessage Verbatim(std::string text) {
    return TMessage(KVerbatimText, {TextPart(std::move(text))});
}

namespace {

void AppendPart(std::string& out, const TMessagePart& part) {
    switch (part.Kind) {
    case TMessagePart::TPartKind::Text:
        out += part.Text;
        return;
    case TMessagePart::TPartKind::Number:
    case TMessagePart::TPartKind::Count:
        out += std::to_string(part.Value);
        return;
    case TMessagePart::TPartKind::Message:
        if (!part.Items.empty()) out += EnglishText(part.Items.front());
        return;
    case TMessagePart::TPartKind::List: {
        const std::size_t start = out.size();
        for (std::size_t i = 0; i < part.Items.size(); ++i) {
            if (i > 0) out += ", ";
            out += EnglishText(part.Items[i]);
        }
        if (part.Value > 0) {
            const std::string named = out.substr(start);
            out.resize(start);
            out += EnglishText(Msg(texts::NamesMore, named, part.Value));
        }
        return;
    }
    case TMessagePart::TPartKind::SystemError:
        out += std::strerror(static_cast<int>(part.Value));
        return;
    }
}

} // namespace

std::string EnglishText(const TMessage& message) {
    // Each %n is replaced in one pass, so a part that itself holds "%2" (a file name) is not
    // taken for a place of its own.
    const char* format = message.Text->English;
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
            const std::size_t n = static_cast<std::size_t>(p[1] - '1');
            if (n < message.Parts.size()) {
                AppendPart(out, message.Parts[n]);
                ++p;
                continue;
            }
        }
        out += *p;
    }
    return out;
}

std::string EnglishLines(const std::vector<TMessage>& messages) {
    std::string out;
    for (const TMessage& message : messages) {
        out += EnglishText(message);
        out += '\n';
    }
    return out;
}

} // namespace quorvane
