#include "userdb/Credentials.h"

#include "base/AsciiCase.h"
#include "base/AtomicFile.h"
#include "base/BaseTexts.h"
#include "base/DateUtil.h"
#include "base/Errors.h"
#include "userdb/LoginRule.h"
#include "userdb/UserDbTexts.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

bool HasControl(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) return true;
    return false;
}

std::string Fill(const std::string& text, const TUserProp& user, const std::string& url) {
    const std::string expires =
        user.Expire ? FormatDateTime(user.ExpireDate).substr(0, 10) : std::string("never");
    const std::pair<const char*, const std::string*> fields[] = {
        {"{login}", &user.Login},   {"{password}", &user.Password}, {"{url}", &url},
        {"{name}", &user.FullName}, {"{email}", &user.Email},       {"{expires}", &expires},
    };
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [key, value] : fields) {
            const std::string_view k(key);
            if (text.compare(i, k.size(), k) == 0) {
                i += k.size();
                // An empty field takes the blank before it along when a mark or the line's end
                // follows: "Hello {name}," without a name is "Hello,", not "Hello ,".
                if (value->empty() && !out.empty() && out.back() == ' ' &&
                    (i == text.size() ||
                     std::string_view(",.;:!?\r\n").find(text[i]) != std::string_view::npos))
                    out.pop_back();
                out += *value;
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

bool IsAscii(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 128) return false;
    return true;
}

std::string Base64(const std::string& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[v & 63] : '=';
    }
    return out;
}

// A header value as a mail may carry it: plain ASCII as it is, anything else as an RFC 2047
// encoded word (several for a long value, never splitting a UTF-8 sequence).
std::string HeaderText(const std::string& value) {
    if (IsAscii(value)) return value;
    std::string out;
    for (size_t start = 0; start < value.size();) {
        size_t end = std::min(value.size(), start + 45);
        while (end < value.size() && end > start + 1 &&
               (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
            --end;
        if (!out.empty()) out += ' ';
        out += "=?UTF-8?B?" + Base64(value.substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

// "Full Name" <address>: the name quoted (or encoded), the address alone without a name.
std::string Mailbox(const std::string& name, const std::string& address) {
    if (name.empty()) return address;
    if (!IsAscii(name)) return HeaderText(name) + " <" + address + ">";
    std::string quoted = "\"";
    for (const char c : name) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\" <" + address + ">";
}

// The body with CR LF line ends, as a message on disk has them.
std::string CrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Message(const TCredentialsMail& mail, const std::string& from, bool mbox) {
    std::string head;
    if (!from.empty()) head += "From: " + from + "\n";
    if (!mail.To.empty()) head += "To: " + mail.To + "\n";
    head += "Subject: " + HeaderText(mail.Subject) + "\n";
    for (const auto& [name, value] : mail.Headers) {
        // The sender given and the user's own address come before the template's.
        if ((!from.empty() && SameTextAscii(name, "From")) ||
            (!mail.To.empty() && SameTextAscii(name, "To")))
            continue;
        // A header that came out empty ("To: {email}" for a user without an address) says
        // nothing, and an empty address header is no address at all.
        if (value.find_first_not_of(' ') == std::string::npos) continue;
        head += name + ": " + HeaderText(value) + "\n";
    }
    head += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
            "Content-Transfer-Encoding: 8bit\n\n";
    std::string body = mail.Body;
    if (!body.empty() && body.back() != '\n') body += '\n';
    if (mbox) {
        // mboxrd: a body line starting with ">From " or "From " gets one more ">".
        std::string quoted;
        size_t start = 0;
        while (start < body.size()) {
            const size_t end = body.find('\n', start);
            std::string line = body.substr(start, end - start);
            size_t k = 0;
            while (k < line.size() && line[k] == '>')
                ++k;
            if (line.compare(k, 5, "From ") == 0) line.insert(0, ">");
            quoted += line + "\n";
            start = end + 1;
        }
        return head + quoted;
    }
    return CrLf(head + body);
}

std::string CsvField(const std::string& value) {
    std::string out = "\"";
    // A spreadsheet that opens the file would take a field starting with one of these for a
    // formula (and run it); a leading apostrophe makes it text there.
    if (!value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos)
        out += '\'';
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string WritePrivate(const std::string& folder, const std::string& name,
                         const std::string& data) {
    std::string path = folder + "/" + name;
    // An older file of that name would hand its mode (maybe readable by others) to this one,
    // which holds passwords: it goes first, and the new file is made 0600.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw EQuorvaneError(Msg(texts::CannotCreateFile, path));
    WriteFileAtomically(path, data, 0600);
    return path;
}

} // namespace

TCredentialsTemplate ParseCredentialsTemplate(const std::string& text) {
    TCredentialsTemplate tmpl;
    std::string rest = text;
    // Header lines only when the first line looks like one and an empty line ends them.
    const size_t blank = rest.find("\n\n");
    const size_t colon = rest.find(':');
    const size_t firstEnd = rest.find('\n');
    bool headers = blank != std::string::npos && colon != std::string::npos && colon < firstEnd;
    if (headers) {
        for (size_t i = 0; i < colon; ++i)
            if (rest[i] == ' ' || static_cast<unsigned char>(rest[i]) < 33) headers = false;
    }
    if (headers) {
        size_t start = 0;
        while (start < blank) {
            const size_t end = rest.find('\n', start);
            std::string line = rest.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const size_t c = line.find(':');
            if (c == std::string::npos || c == 0)
                throw EQuorvaneError(Msg(texts::TemplateHeaderInvalid, EscapeForOneLine(line)));
            std::string name = line.substr(0, c);
            // A header's name is printable ASCII without blanks (RFC 5322): anything else would
            // end the header or start another one.
            for (const char n : name)
                if (n < 33 || n > 126)
                    throw EQuorvaneError(Msg(texts::TemplateHeaderInvalid, EscapeForOneLine(line)));
            std::string value = line.substr(c + 1);
            if (!value.empty() && value[0] == ' ') value.erase(0, 1);
            tmpl.Headers.emplace_back(std::move(name), std::move(value));
            start = end + 1;
        }
        rest = rest.substr(blank + 2);
    }
    bool subject = false;
    for (const auto& h : tmpl.Headers)
        subject = subject || h.first == "Subject";
    if (!subject) tmpl.Headers.insert(tmpl.Headers.begin(), {"Subject", "Your access"});
    std::string body;
    for (char c : rest)
        if (c != '\r') body += c;
    tmpl.Body = std::move(body);
    return tmpl;
}

std::vector<TCredentialsMail> MakeCredentialsMails(const TCredentialsTemplate& tmpl,
                                                   const std::vector<const TUserProp*>& users,
                                                   const std::string& url) {
    std::vector<std::string> hashOnly;
    for (const TUserProp* user : users)
        if (user->HashOnly() || user->Password.empty()) hashOnly.push_back(user->Login);
    // Every one of them named: each needs a new password before any mail can go.
    if (!hashOnly.empty())
        throw EQuorvaneError(Msg(texts::NoPasswordToSend, Names(hashOnly, hashOnly.size())));
    std::vector<TCredentialsMail> mails;
    for (const TUserProp* user : users) {
        TCredentialsMail mail;
        mail.User = user;
        if (HasControl(user->Email) || HasControl(user->FullName))
            throw EQuorvaneError(Msg(texts::MailAddressControl, user->Login));
        // One address: a comma or semicolon would make it a list of recipients, angle brackets
        // or a blank another mailbox than this one.
        if (user->Email.find_first_of(",;<> ") != std::string::npos)
            throw EQuorvaneError(Msg(texts::MailAddressList, user->Login));
        if (!user->Email.empty()) mail.To = Mailbox(user->FullName, user->Email);
        for (const auto& [name, value] : tmpl.Headers) {
            std::string filled = Fill(value, *user, url);
            if (HasControl(filled))
                throw EQuorvaneError(Msg(texts::TemplateLineControl, name, user->Login));
            if (name == "Subject")
                mail.Subject = std::move(filled);
            else
                mail.Headers.emplace_back(name, std::move(filled));
        }
        mail.Body = Fill(tmpl.Body, *user, url);
        mail.Url = url;
        mails.push_back(std::move(mail));
    }
    return mails;
}

std::vector<std::string> WriteCredentials(const std::vector<TCredentialsMail>& mails,
                                          TCredentialsFormat format, const std::string& folder,
                                          const std::string& from) {
    if (HasControl(from)) throw EQuorvaneError(Msg(texts::SenderAddressControl));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw EQuorvaneError(Msg(texts::CannotCreateFolder, folder));
    std::vector<std::string> files;
    switch (format) {
    case TCredentialsFormat::Eml: {
        // Names given already, letters folded: a file system that ignores case would take two
        // of them for one file.
        std::set<std::string> taken;
        for (const TCredentialsMail& mail : mails) {
            // The login names the file; one that cannot be a file name gets its position.
            std::string name = mail.User->Login;
            if (name.find('/') != std::string::npos || name == "." || name == ".." ||
                name.size() > 200)
                name = "user-" + std::to_string(files.size() + 1);
            // Each mail a file of its own: a name met before gets a number.
            std::string unique = name;
            for (int n = 2; !taken.insert(ToAsciiLower(unique)).second; ++n)
                unique = name + "-" + std::to_string(n);
            files.push_back(WritePrivate(folder, unique + ".eml", Message(mail, from, false)));
        }
        break;
    }
    case TCredentialsFormat::Mbox: {
        // Each message starts with a "From " line: sender and the time in asctime's form (UTC).
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        ::gmtime_r(&now, &utc);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%a %b %e %H:%M:%S %Y", &utc);
        const std::string separator = std::string("From MAILER-DAEMON ") + stamp + "\n";
        std::string box;
        for (const TCredentialsMail& mail : mails)
            box += separator + Message(mail, from, true) + "\n";
        files.push_back(WritePrivate(folder, "credentials.mbox", box));
        break;
    }
    case TCredentialsFormat::Csv: {
        std::string csv = "login,password,email,name,url,subject,body\r\n";
        for (const TCredentialsMail& mail : mails) {
            const TUserProp& u = *mail.User;
            csv += CsvField(u.Login) + "," + CsvField(u.Password) + "," + CsvField(u.Email) + "," +
                   CsvField(u.FullName) + "," + CsvField(mail.Url) + "," + CsvField(mail.Subject) +
                   "," + CsvField(mail.Body) + "\r\n";
        }
        files.push_back(WritePrivate(folder, "credentials.csv", csv));
        break;
    }
    }
    return files;
}

std::string CredentialsMailto(const TCredentialsMail& mail) {
    const auto encode = [](const std::string& text, bool address = false) {
        static const char* hex = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : text) {
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '.' || c == '_' || c == '~' || (address && c == '@')) {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
        return out;
    };
    return "mailto:" + encode(mail.User->Email, true) + "?subject=" + encode(mail.Subject) +
           "&body=" + encode(CrLf(mail.Body));
}

} // namespace quorvane
