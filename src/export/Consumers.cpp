#include "export/Consumers.h"

#include "base/Crypto.h"
#include "base/Errors.h"
#include "export/ExportTexts.h"
#include "export/HashCache.h"
#include "export/HashSchemes.h"
#include "export/StoredHash.h"
#include "userdb/Groups.h"
#include "userdb/LoginRule.h"

#include <algorithm>
#include <cstdint>

namespace quorvane {

namespace {

// clang-format off
const TConsumer KConsumers[] = {
    // name, shown as, forms (the first the default), syntax, LF, groups, disabled, mixed, list
    // name, opens without users, Apache's group file beside
    {"htpasswd", "web server password file", "", TConsumerSyntax::Htpasswd, false, false, false, TMixedForms::Any, "", false, true},
    {"digest", "Digest password file", "digest", TConsumerSyntax::Htpasswd, true, false, false, TMixedForms::None, "", false, true},
    {"caddy", "Caddy basicauth", "bcrypt", TConsumerSyntax::Caddy, true, false, false, TMixedForms::None, ""},
    {"haproxy", "HAProxy userlist", "bcrypt sha512 sha256 plain", TConsumerSyntax::Haproxy, true, true, false, TMixedForms::Accepted, "users"},
    {"registry", "Docker registry htpasswd", "bcrypt", TConsumerSyntax::Htpasswd, true, false, false, TMixedForms::None, ""},
    {"prometheus", "Prometheus web configuration", "bcrypt", TConsumerSyntax::PrometheusYaml, true, false, false, TMixedForms::None, "", true},
    {"mosquitto", "Mosquitto password file", "pbkdf2-sha512", TConsumerSyntax::Htpasswd, true, false, false, TMixedForms::None, ""},
    {"dovecot", "Dovecot passwd-file", "bcrypt sha512 sha256 argon2id plain", TConsumerSyntax::Dovecot, true, false, false, TMixedForms::Accepted, ""},
    {"pam-pwdfile", "pam_pwdfile password file", "sha512 sha256 bcrypt", TConsumerSyntax::Htpasswd, true, false, false, TMixedForms::Accepted, ""},
    {"radicale", "Radicale htpasswd", "bcrypt md5 plain", TConsumerSyntax::Htpasswd, true, false, false, TMixedForms::None, ""},
    {"traefik", "Traefik basicAuth middleware", "bcrypt md5", TConsumerSyntax::TraefikYaml, true, false, false, TMixedForms::Accepted, "basic-auth"},
    {"kubernetes", "Kubernetes Secret", "bcrypt md5", TConsumerSyntax::KubernetesSecret, true, false, false, TMixedForms::Accepted, "basic-auth"},
    {"authelia", "Authelia users file", "argon2id bcrypt sha512 sha256", TConsumerSyntax::AutheliaYaml, true, true, true, TMixedForms::Accepted, ""},
};
// clang-format on

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    while (!text.empty()) {
        const size_t blank = text.find(' ');
        words.push_back(text.substr(0, blank));
        if (blank == std::string_view::npos) break;
        text.remove_prefix(blank + 1);
    }
    return words;
}

// The row of the form a stored value is in; none for a value of no form of the table.
const THashScheme* FormOfStored(std::string_view value) {
    const TStoredScheme scheme = IdentifyStoredHash(value);
    if (scheme == TStoredScheme::Unknown) return nullptr;
    for (const THashScheme& form : AllForms())
        if (form.Stored == scheme) return &form;
    return nullptr;
}

// The value as the consumer writes it: Dovecot's scheme name in braces first.
std::string Tagged(const TConsumer& consumer, const THashScheme& form, std::string_view value) {
    if (consumer.Syntax != TConsumerSyntax::Dovecot) return std::string(value);
    // a value taken over from a passwd-file has its tag already
    if (!form.StoresClearText() && value.starts_with("{")) return std::string(value);
    const THashScheme* of = FormOfStored(value);
    // A clear password stays PLAIN even when it looks like a hash.
    if (form.StoresClearText() || of == nullptr) of = &form;
    return "{" + std::string(of->DovecotName) + "}" + std::string(value);
}

// --- what a file can hold ---

bool ValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else if (c >= 0x80)
            return false;
        if (i + extra >= text.size() && extra > 0) return false;
        for (; extra > 0; --extra)
            if ((static_cast<unsigned char>(text[++i]) >> 6) != 2) return false;
    }
    return true;
}

bool HasAny(std::string_view text, std::string_view bytes) {
    for (const unsigned char c : text)
        if (c <= 32 || c == 127 || bytes.find(static_cast<char>(c)) != std::string_view::npos)
            return true;
    return false;
}

bool HasControlOrQuote(std::string_view text) {
    for (const unsigned char c : text)
        if (c < 32 || c == 127 || c == '\'') return true;
    return false;
}

// What a token of a configuration file (Caddyfile, haproxy.cfg) cannot hold: blanks and control
// characters, and the bytes that quote, comment or open a block there.
bool BreaksToken(const TConsumer& consumer, std::string_view text) {
    if (consumer.Syntax == TConsumerSyntax::Caddy) return HasAny(text, "{}\"'`\\#");
    if (consumer.Syntax == TConsumerSyntax::Haproxy) return HasAny(text, "\"'\\#,");
    return false;
}

bool YamlSyntax(const TConsumer& consumer) {
    return consumer.Syntax == TConsumerSyntax::PrometheusYaml ||
           consumer.Syntax == TConsumerSyntax::TraefikYaml ||
           consumer.Syntax == TConsumerSyntax::AutheliaYaml ||
           consumer.Syntax == TConsumerSyntax::KubernetesSecret;
}

// The field of the user the consumer's file cannot hold; none when it holds them all.
const TMessageText* UnsafeField(const TConsumer& consumer, const THashScheme& form,
                                const TUserProp& user) {
    std::vector<std::pair<const TMessageText*, std::string>> fields = {
        {&texts::ConsumerFieldLogin, user.Login}};
    if (consumer.ReadsNames()) {
        fields.emplace_back(&texts::ConsumerFieldName, user.FullName);
        fields.emplace_back(&texts::ConsumerFieldEmail, user.Email);
    }
    if (consumer.Groups)
        for (const std::string& group : UserGroups(user))
            fields.emplace_back(&texts::ConsumerFieldGroup, group);
    for (const auto& [name, text] : fields) {
        if (BreaksToken(consumer, text)) return name;
        if (YamlSyntax(consumer) && !ValidUtf8(text)) return name;
    }
    if (form.StoresClearText() && !user.HashOnly()) {
        // haproxy.cfg takes it in single quotes, which nothing inside can end or escape
        if (consumer.Syntax == TConsumerSyntax::Haproxy && HasControlOrQuote(user.Password))
            return &texts::ConsumerFieldPassword;
        // passwd-file splits its line at every colon
        if (consumer.Syntax == TConsumerSyntax::Dovecot &&
            user.Password.find(':') != std::string::npos)
            return &texts::ConsumerFieldPassword;
    }
    return nullptr;
}

void CheckListName(const TConsumer& consumer, const std::string& name) {
    if (consumer.DefaultListName.empty()) return;
    // A Kubernetes object's name: lower-case letters, digits and "-", a letter or digit at
    // each end; the others take "_" and capitals too.
    const bool kubernetes = consumer.Syntax == TConsumerSyntax::KubernetesSecret;
    bool ok = !name.empty() && name.size() <= 63;
    for (const char c : name) {
        const bool lower = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        const bool other = (c >= 'A' && c <= 'Z') || c == '_';
        ok = ok && (lower || (!kubernetes && other));
    }
    if (ok && kubernetes) ok = name.front() != '-' && name.back() != '-';
    if (!ok)
        throw EQuorvaneError(Msg(texts::ConsumerNameInvalid, EscapeForOneLine(name),
                                 Verbatim(std::string(consumer.DisplayName))));
}

// --- writing ---

// A YAML double-quoted scalar: backslash, quote and every character YAML does not print
// escaped, the rest (valid UTF-8, checked before) as it is.
std::string YamlQuoted(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 32 || c == 127) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080 to U+009F: control characters YAML does not print either
            const auto d = static_cast<unsigned char>(text[++i]);
            out += "\\x";
            out += hex[d >> 4];
            out += hex[d & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

std::string Base64(std::string_view bytes) {
    return crypto::Base64Encode(bytes.data(), bytes.size());
}

struct TRender {
    const TUserList& List;
    const TConsumer& Consumer;
    const THashScheme& Form;
    const std::vector<TPasswordEntry>& Entries;
    std::string_view Eol;
    std::string ListName;
};

std::string HtpasswdLines(const TRender& r) {
    if (r.Consumer.Syntax != TConsumerSyntax::Dovecot)
        return PasswordFileText(r.List, r.Entries, r.Eol);
    std::vector<TPasswordEntry> tagged;
    tagged.reserve(r.Entries.size());
    TValueArena values;
    for (const TPasswordEntry& entry : r.Entries)
        tagged.push_back({entry.User, values.Keep(Tagged(r.Consumer, r.Form, entry.Value))});
    return PasswordFileText(r.List, tagged, r.Eol);
}

std::string RenderCaddy(const TRender& r) {
    std::string text = "basicauth {\n";
    for (const TPasswordEntry& entry : r.Entries) {
        text += '\t';
        text += entry.User->Login;
        text += ' ';
        text += entry.Value;
        text += '\n';
    }
    return text + "}\n";
}

std::string RenderHaproxy(const TRender& r) {
    std::string text = "userlist " + r.ListName + "\n";
    std::vector<const TUserProp*> users;
    for (const TPasswordEntry& entry : r.Entries)
        users.push_back(entry.User);
    for (const std::string& group : AllGroups(r.List)) {
        std::string members;
        for (const TUserProp* user : users)
            if (UserInGroup(*user, group)) members += (members.empty() ? "" : ",") + user->Login;
        text += "    group " + group + (members.empty() ? "" : " users " + members) + "\n";
    }
    for (const TPasswordEntry& entry : r.Entries) {
        const bool plain = r.Form.StoresClearText() && !entry.User->HashOnly();
        text += "    user " + entry.User->Login +
                (plain ? " insecure-password '" + std::string(entry.Value) + "'\n"
                       : " password " + std::string(entry.Value) + "\n");
    }
    return text;
}

std::string RenderPrometheus(const TRender& r) {
    std::string text = "basic_auth_users:\n";
    for (const TPasswordEntry& entry : r.Entries)
        text += "  " + YamlQuoted(entry.User->Login) + ": " + YamlQuoted(entry.Value) + "\n";
    return text;
}

std::string RenderTraefik(const TRender& r) {
    std::string text =
        "http:\n  middlewares:\n    " + r.ListName + ":\n      basicAuth:\n        users:\n";
    for (const TPasswordEntry& entry : r.Entries)
        text +=
            "          - " + YamlQuoted(entry.User->Login + ":" + std::string(entry.Value)) + "\n";
    if (r.Entries.empty()) text += "          []\n";
    return text;
}

std::string RenderKubernetes(const TRender& r) {
    const std::string lines = Base64(PasswordFileText(r.List, r.Entries, "\n"));
    return "apiVersion: v1\nkind: Secret\nmetadata:\n  name: " + r.ListName +
           "\ntype: Opaque\ndata:\n  auth: " + lines + "\n  users: " + lines + "\n";
}

std::string RenderAuthelia(const TRender& r) {
    if (r.Entries.empty()) return "users: {}\n";
    std::string text = "users:\n";
    for (const TPasswordEntry& entry : r.Entries) {
        const TUserProp& user = *entry.User;
        text += "  " + YamlQuoted(user.Login) + ":\n";
        text += std::string("    disabled: ") + (user.Disable ? "true" : "false") + "\n";
        text +=
            "    displayname: " + YamlQuoted(user.FullName.empty() ? user.Login : user.FullName) +
            "\n";
        text += "    password: " + YamlQuoted(entry.Value) + "\n";
        if (!user.Email.empty()) text += "    email: " + YamlQuoted(user.Email) + "\n";
        const std::vector<std::string> groups = UserGroups(user);
        text += groups.empty() ? "    groups: []\n" : "    groups:\n";
        for (const std::string& group : groups)
            text += "      - " + YamlQuoted(group) + "\n";
    }
    return text;
}

std::string Render(const TRender& r) {
    switch (r.Consumer.Syntax) {
    case TConsumerSyntax::Htpasswd:
    case TConsumerSyntax::Dovecot:
        return HtpasswdLines(r);
    case TConsumerSyntax::Caddy:
        return RenderCaddy(r);
    case TConsumerSyntax::Haproxy:
        return RenderHaproxy(r);
    case TConsumerSyntax::PrometheusYaml:
        return RenderPrometheus(r);
    case TConsumerSyntax::TraefikYaml:
        return RenderTraefik(r);
    case TConsumerSyntax::KubernetesSecret:
        return RenderKubernetes(r);
    case TConsumerSyntax::AutheliaYaml:
        return RenderAuthelia(r);
    }
    return {};
}

std::vector<std::string> Logins(const std::vector<const TUserProp*>& users) {
    std::vector<std::string> logins;
    logins.reserve(users.size());
    for (const TUserProp* user : users)
        logins.push_back(user->Login);
    return logins;
}

} // namespace

bool TConsumer::Reads(const THashScheme& form) const {
    if (Forms.empty()) return form.IsDatabaseForm();
    const auto words = Words(Forms);
    return std::find(words.begin(), words.end(), form.CliName) != words.end();
}

std::vector<const THashScheme*> TConsumer::AcceptedForms() const {
    std::vector<const THashScheme*> forms;
    for (const THashScheme& form : AllForms())
        if (Reads(form)) forms.push_back(&form);
    return forms;
}

const THashScheme& TConsumer::DefaultForm(const TUserList& list) const {
    if (Forms.empty()) return SchemeOf(list.PassType);
    return *FormByCliName(Words(Forms).front());
}

bool TConsumer::TakesPlainText() const {
    return Reads(SchemeOf(TPasswordsType::ptPlainText));
}

bool TConsumer::ReadsNames() const {
    return Syntax == TConsumerSyntax::AutheliaYaml;
}

std::span<const TConsumer> Consumers() {
    return KConsumers;
}

const TConsumer* ConsumerByName(std::string_view name) {
    for (const TConsumer& consumer : KConsumers)
        if (consumer.Name == name) return &consumer;
    return nullptr;
}

std::string ConsumerNames() {
    std::string names;
    for (const TConsumer& consumer : KConsumers)
        names += (names.empty() ? "" : ", ") + std::string(consumer.Name);
    return names;
}

const TConsumer& RequireConsumer(std::string_view name) {
    if (const TConsumer* consumer = ConsumerByName(name)) return *consumer;
    throw EQuorvaneError(
        Msg(texts::UnknownConsumer, EscapeForOneLine(std::string(name)), ConsumerNames()));
}

std::optional<std::string> BuildConsumerFile(const TUserList& list, const TConsumer& consumer,
                                             const TPasswordFileOptions& options,
                                             TFormHashCaches& caches) {
    TPasswordFileOptions file = options;
    const THashScheme& form = options.Form != nullptr ? *options.Form : consumer.DefaultForm(list);
    file.Form = &form;
    file.Cache = caches.For(form, options.SchemeParam.value_or(FormParam(list, form)));
    return BuildConsumerFile(list, consumer, file);
}

void CheckConsumerReads(const TConsumer& consumer, const THashScheme& form) {
    if (consumer.Reads(form)) return;
    std::vector<std::string> names;
    for (const THashScheme* accepted : consumer.AcceptedForms())
        names.emplace_back(accepted->CliName);
    throw EQuorvaneError(Msg(texts::ConsumerRefusesForm,
                             Verbatim(std::string(consumer.DisplayName)), form.DisplayMessage(),
                             Names(names, names.size())));
}

const TConsumer& HtpasswdConsumer() {
    return KConsumers[0];
}

std::optional<std::string> BuildConsumerFile(const TUserList& list, const TConsumer& consumer,
                                             const TPasswordFileOptions& options) {
    const THashScheme& form = options.Form != nullptr ? *options.Form : consumer.DefaultForm(list);
    const TMessage shown = Verbatim(std::string(consumer.DisplayName));
    CheckConsumerReads(consumer, form);
    const std::string listName =
        options.ListName.empty() ? std::string(consumer.DefaultListName) : options.ListName;
    CheckListName(consumer, listName);

    // What the file's own syntax cannot hold, before anything is hashed (password-file lines
    // hold whatever the builder lets through).
    std::vector<TMessage> unsafe;
    const bool lines = consumer.Syntax == TConsumerSyntax::Htpasswd;
    for (const TUserProp* user :
         lines ? std::vector<const TUserProp*>() : PasswordFileEntries(list)) {
        if (user->Disable && !consumer.WritesDisabled) continue;
        if (const TMessageText* field = UnsafeField(consumer, form, *user))
            unsafe.push_back(
                Msg(texts::ConsumerUnsafeUser, EscapeForOneLine(user->Login), Msg(*field)));
    }
    if (!unsafe.empty())
        throw EUnsafeUsers(Msg(texts::ConsumerUnsafeUsers, shown, Messages(std::move(unsafe))));

    TPasswordFileOptions file = options;
    TPasswordFileReport report;
    if (file.Report == nullptr) file.Report = &report;
    file.WithDisabled = consumer.WritesDisabled;
    if (consumer.UnixLineEnds) file.UnixLineEnds = true;
    const std::optional<TPasswordEntries> entries = BuildPasswordEntries(list, form, file);
    if (!entries) return std::nullopt;
    if (options.EntriesBuilt) options.EntriesBuilt();

    // Values of other forms (taken over): a warning where the consumer reads them, else no file.
    std::vector<const TUserProp*> readable, unreadable;
    for (const TUserProp* user : file.Report->OtherForm) {
        const THashScheme* of = FormOfStored(user->PasswordHash());
        const bool reads =
            consumer.Mixed == TMixedForms::Any ||
            (consumer.Mixed == TMixedForms::Accepted && of != nullptr && consumer.Reads(*of));
        (reads ? readable : unreadable).push_back(user);
    }
    if (!unreadable.empty())
        throw EQuorvaneError(Msg(texts::ConsumerOtherForms, shown, form.DisplayMessage(),
                                 Names(Logins(unreadable))));
    if (!readable.empty() && options.Warnings != nullptr)
        options.Warnings->push_back(Msg(texts::OtherFormsWarning, Count(readable.size()),
                                        form.DisplayMessage(), Names(Logins(readable))));

    if (consumer.EmptyOpens && entries->Entries.empty())
        throw EQuorvaneError(Msg(texts::ConsumerNoUsers, shown));

    const TRender render{list,    consumer, form, entries->Entries, PasswordFileLineEnd(list, file),
                         listName};
    return Render(render);
}

} // namespace quorvane
