#include "ui/CoreText.h"

#include "export/HashOnlyUsers.h"
#include "export/HtpasswdImport.h"
#include "job/ExportJob.h"
#include "ui/ByteText.h"
#include "ui/MessageText.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <vector>

namespace quorvane {

namespace {

const char* const KContext = "CoreText";

// One text of the core as it writes it, "%1".."%9" where its variable parts go. A part named
// in Nested is a core text of its own (a reason after "failed: "), in Users a list of users
// with their reasons; both are translated too. A part in Numbers is a count with "," between
// its thousands, shown as the locale writes numbers. Other parts (names) are kept as they are.
struct TCoreFormat {
    const char* Source;
    unsigned Nested = 0; // bit n-1: %n
    unsigned Numbers = 0;
    unsigned Users = 0;
};

constexpr unsigned Arg(int n) {
    return 1u << (n - 1);
}

// Where two formats could match one text, the longer one comes first.
const TCoreFormat KFormats[] = {
    // Files and databases
    {QT_TRANSLATE_NOOP("CoreText", "Cannot open file %1")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the folder %2 does not exist")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: %2 is not a folder")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: no permission to write in the "
                                   "folder %2")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the disk is full")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the disk quota is used up")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: the file system is read-only")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1: it is a folder")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create file %1")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot write file %1: the disk is full")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot write file %1: the disk quota is used up")},
    {QT_TRANSLATE_NOOP("CoreText", "Stream read error")},
    {QT_TRANSLATE_NOOP("CoreText", "Stream write error")},
    {QT_TRANSLATE_NOOP("CoreText", "Invalid stream format")},
    {QT_TRANSLATE_NOOP("CoreText", "The file is not valid: it asks for the password form %1, "
                                   "which this version of Quorvane does not know")},
    {QT_TRANSLATE_NOOP("CoreText", "The file is not valid")},
    {QT_TRANSLATE_NOOP("CoreText", "The file is read-only")},
    {QT_TRANSLATE_NOOP("CoreText", "The database is in use by another program")},
    {QT_TRANSLATE_NOOP("CoreText", "The system's random generator is not available")},
    {QT_TRANSLATE_NOOP("CoreText", "The owner \"%1\" of %2 could not be kept; the file now "
                                   "belongs to \"%3\"")},
    {QT_TRANSLATE_NOOP("CoreText", "The group \"%1\" of %2 could not be kept; the file now has "
                                   "the group \"%3\"")},
    {QT_TRANSLATE_NOOP("CoreText", "The link %1 belongs to another user in a folder open to "
                                   "everybody; it is not followed and nothing was written")},
    {QT_TRANSLATE_NOOP("CoreText", "The password file %1 would replace the database itself; "
                                   "choose another file")},
    {QT_TRANSLATE_NOOP("CoreText", "The database %1 could be read by other users (mode %2); it "
                                   "holds clear passwords and is now saved with mode %3")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 is not a regular file")},
    {QT_TRANSLATE_NOOP("CoreText", "Line %1 of %2 is longer than 64 KiB")},
    {QT_TRANSLATE_NOOP("CoreText", "The lock file %1 is not a regular file and cannot be "
                                   "removed; remove it")},
    // Logins, users and imports
    {QT_TRANSLATE_NOOP("CoreText", "The login is empty. Enter a login for the user.")},
    {QT_TRANSLATE_NOOP("CoreText", "The login contains a colon (\":\"). Web servers end the "
                                   "login at the first colon, so remove it from the login.")},
    {QT_TRANSLATE_NOOP("CoreText", "The login contains a control character (such as a tab, a "
                                   "line break or a NUL). Remove it from the login.")},
    {QT_TRANSLATE_NOOP("CoreText", "The login starts with \"#\". Web servers read such a line of "
                                   "the password file as a comment, so this user will not be "
                                   "able to log in.")},
    {QT_TRANSLATE_NOOP("CoreText", "The login must not be blank")},
    {QT_TRANSLATE_NOOP("CoreText", "The password is longer than %1 bytes, the most a password "
                                   "may have")},
    {QT_TRANSLATE_NOOP("CoreText", "Nothing was imported: line %1 of the file: %2. Correct the "
                                   "file and import it again."),
     Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "1 login was already there and was skipped: %1")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 logins were already there and were skipped: %2"), 0, Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "1 login was already there: %1")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 logins were already there: %2"), 0, Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "User \"%1\" already exists")},
    {QT_TRANSLATE_NOOP("CoreText", "Only %1 users has been created. Increase the login length "
                                   "to create more.")},
    {QT_TRANSLATE_NOOP("CoreText", "The series made an empty password")},
    {QT_TRANSLATE_NOOP("CoreText", "Nothing was imported: line %1 of the file holds a login that "
                                   "cannot be used. %2 Other lines with such a login: %3. Correct "
                                   "the file and import it again."),
     Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "Nothing was imported: line %1 of the file holds a login that "
                                   "cannot be used. %2 Correct the file and import it again."),
     Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file is not login:password; nothing "
                                   "was imported")},
    {QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file holds a password longer than "
                                   "%2 bytes, the most a password may have; nothing was "
                                   "imported")},
    {QT_TRANSLATE_NOOP("CoreText", "The file does not look like a password file: it holds "
                                   "binary data; nothing was imported")},
    {QT_TRANSLATE_NOOP("CoreText", "The file does not look like a password file: most of its "
                                   "lines have a number after the second colon, as the system's "
                                   "account files (/etc/passwd, /etc/shadow, /etc/group) have; "
                                   "nothing was imported")},
    {QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file has a login that cannot be "
                                   "used: %2; nothing was imported"),
     Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "Line %1 of the password file holds a control character in "
                                   "its password; nothing was imported")},
    // Password file forms and the export
    {QT_TRANSLATE_NOOP("CoreText", "Plain text")},
    {QT_TRANSLATE_NOOP("CoreText", "The bcrypt cost must be from %1 to %2")},
    {QT_TRANSLATE_NOOP("CoreText", "The SHA-crypt rounds must be from %1 to %2")},
    {QT_TRANSLATE_NOOP("CoreText", "The SHA-256-crypt rounds must be from %1 to %2")},
    {QT_TRANSLATE_NOOP("CoreText", "The SHA-512-crypt rounds must be from %1 to %2")},
    {QT_TRANSLATE_NOOP("CoreText", "A password with a zero byte cannot be hashed with bcrypt or "
                                   "SHA-crypt")},
    {QT_TRANSLATE_NOOP("CoreText", "The system's crypt does not accept the setting %1")},
    {QT_TRANSLATE_NOOP("CoreText", "The system's crypt cannot make a salt for %1")},
    {QT_TRANSLATE_NOOP("CoreText", "The stored password hash of %1 holds a line break or a NUL "
                                   "byte and cannot go into the password file")},
    {QT_TRANSLATE_NOOP("CoreText", "A plain-text password file cannot hold users known only by "
                                   "their password hash: %1. Give them new passwords or export "
                                   "in another form"),
     Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "Anyone who knows these logins gets in without a password: "
                                   "%1"),
     Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "These users cannot go into the password file safely: %1. "
                                   "Correct or disable them, then export again."),
     0, 0, Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "user %1 \"%2\" (%3) and %4 more"), Arg(3)},
    {QT_TRANSLATE_NOOP("CoreText", "user %1 \"%2\" (%3)"), Arg(3)},
    {QT_TRANSLATE_NOOP("CoreText", "the login is empty")},
    {QT_TRANSLATE_NOOP("CoreText", "the login holds a colon")},
    {QT_TRANSLATE_NOOP("CoreText", "the login holds a control character")},
    {QT_TRANSLATE_NOOP("CoreText", "the password holds a line break or a NUL and cannot be "
                                   "written as plain text")},
    {QT_TRANSLATE_NOOP("CoreText", "the password holds a NUL, which bcrypt and SHA-crypt cannot "
                                   "hash")},
    {QT_TRANSLATE_NOOP("CoreText", "the password is longer than 4096 bytes, the most a password "
                                   "may have")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 left out: the later %2 is written")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 left out: the later %2 is disabled")},
    {QT_TRANSLATE_NOOP("CoreText", "The database names no FTP server")},
    {QT_TRANSLATE_NOOP("CoreText", "The database names no password file on the FTP server")},
    {QT_TRANSLATE_NOOP("CoreText", "1 user still uses a weak hash: set a new password for it")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 users still use weak hashes: set new passwords for them")},
    {QT_TRANSLATE_NOOP("CoreText", "hash only (%1)"), Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "unknown scheme (%1)"), Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "locked")},
    {QT_TRANSLATE_NOOP("CoreText", "no prefix")},
    // A user of the weak-hash list ("  login (scheme)"), and the schemes' names in it.
    {QT_TRANSLATE_NOOP("CoreText", "  %1 (%2)"), Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "plain text")},
    {QT_TRANSLATE_NOOP("CoreText", "MD5 crypt")},
    {QT_TRANSLATE_NOOP("CoreText", "DES crypt")},
    {QT_TRANSLATE_NOOP("CoreText", "salted SHA-1")},
    // The estimate of a slow form's cost
    {QT_TRANSLATE_NOOP("CoreText", "%1 for 1 user; later exports reuse unchanged hashes"), Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "%1 for %2 users; later exports reuse unchanged hashes"), Arg(1),
     Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "each page request costs the server %1"), Arg(1)},
    {QT_TRANSLATE_NOOP("CoreText", "less than 1 ms")},
    {QT_TRANSLATE_NOOP("CoreText", "about %1 ms")},
    {QT_TRANSLATE_NOOP("CoreText", "about %1 s")},
    {QT_TRANSLATE_NOOP("CoreText", "about %1 min")},
    {QT_TRANSLATE_NOOP("CoreText", "about %1 h")},
    // Servers
    {QT_TRANSLATE_NOOP("CoreText", "FTP over TLS (implicit)")},
    {QT_TRANSLATE_NOOP("CoreText", "FTP over TLS")},
    {QT_TRANSLATE_NOOP("CoreText", "Upload of %1 failed: the server stored %2 of %3 bytes; the "
                                   "old file was kept")},
    {QT_TRANSLATE_NOOP("CoreText", "Upload of %1 failed: the server does not tell the size of "
                                   "the uploaded file, so it cannot be checked; the old file was "
                                   "kept")},
    {QT_TRANSLATE_NOOP("CoreText", "Upload of %1 failed: %2"), Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "Export aborted; the server's file was not changed")},
    {QT_TRANSLATE_NOOP("CoreText", "The partial upload %1 could not be removed from the server")},
    {QT_TRANSLATE_NOOP("CoreText", "Could not read %1 to compare it before replacing it: %2"),
     Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "the file on the server is larger than %1 bytes")},
    // What an export replaces
    {QT_TRANSLATE_NOOP("CoreText", "Could not keep a copy of the file about to be replaced in "
                                   "%1: %2; nothing was replaced")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 changed while the export ran; nothing was replaced. Export "
                                   "again to see what changed")},
    {QT_TRANSLATE_NOOP("CoreText", "%1 is larger than 1 GiB; it is not read, compared or "
                                   "replaced")},
    {QT_TRANSLATE_NOOP("CoreText", "Upload of %1 was aborted")},
    {QT_TRANSLATE_NOOP("CoreText", "Could not rename %1 to %2: %3"), Arg(3)},
    {QT_TRANSLATE_NOOP("CoreText", "Could not connect to %1: %2"), Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "Login to %1 as %2 failed: %3"), Arg(3)},
    {QT_TRANSLATE_NOOP("CoreText", "The host holds a line break or NUL character; nothing was "
                                   "sent to the server")},
    {QT_TRANSLATE_NOOP("CoreText", "The login holds a line break or NUL character; nothing was "
                                   "sent to the server")},
    {QT_TRANSLATE_NOOP("CoreText", "The password holds a line break or NUL character; nothing "
                                   "was sent to the server")},
    {QT_TRANSLATE_NOOP("CoreText", "The remote file name holds a line break or NUL character; "
                                   "nothing was sent to the server")},
    {QT_TRANSLATE_NOOP("CoreText", "the login or password holds a line break or NUL")},
    {QT_TRANSLATE_NOOP("CoreText", "not a valid host name")},
    {QT_TRANSLATE_NOOP("CoreText", "host not found")},
    {QT_TRANSLATE_NOOP("CoreText", "Connection refused")},
    {QT_TRANSLATE_NOOP("CoreText", "Connection timed out")},
    {QT_TRANSLATE_NOOP("CoreText", "Network is unreachable")},
    {QT_TRANSLATE_NOOP("CoreText", "No route to host")},
    {QT_TRANSLATE_NOOP("CoreText", "the server did not answer in time")},
    {QT_TRANSLATE_NOOP("CoreText", "the connection was lost")},
    {QT_TRANSLATE_NOOP("CoreText", "the server refused the login")},
    {QT_TRANSLATE_NOOP("CoreText", "the server does not offer TLS")},
    {QT_TRANSLATE_NOOP("CoreText", "the TLS handshake failed")},
    {QT_TRANSLATE_NOOP("CoreText", "aborted")},
    {QT_TRANSLATE_NOOP("CoreText", "the key file %1 could not be read (a wrong passphrase, or not "
                                   "a private key)")},
    {QT_TRANSLATE_NOOP("CoreText", "the server refused the key")},
    {QT_TRANSLATE_NOOP("CoreText", "the server showed no host key")},
    {QT_TRANSLATE_NOOP("CoreText", "the server offers no SFTP")},
    {QT_TRANSLATE_NOOP("CoreText", "the server refused it")},
    {QT_TRANSLATE_NOOP("CoreText", "the server does not support this")},
    {QT_TRANSLATE_NOOP("CoreText", "the server's disk is full")},
    {QT_TRANSLATE_NOOP("CoreText", "the quota on the server is exceeded")},
    {QT_TRANSLATE_NOOP("CoreText", "the file exists")},
    {QT_TRANSLATE_NOOP("CoreText", "the local file could not be read")},
    {QT_TRANSLATE_NOOP("CoreText", "No such file or directory")},
    {QT_TRANSLATE_NOOP("CoreText", "Permission denied")},
    {QT_TRANSLATE_NOOP("CoreText", "Unknown error")},
    {QT_TRANSLATE_NOOP("CoreText", "Not connected")},
    {QT_TRANSLATE_NOOP("CoreText", "Invalid remote file name")},
    {QT_TRANSLATE_NOOP("CoreText", "WARNING: the host key of %1 has CHANGED from the trusted one "
                                   "(%2). The server now shows the key %3: someone may be "
                                   "listening in. Nothing was sent. Check the key with the "
                                   "server's administrator before you trust it.")},
    {QT_TRANSLATE_NOOP("CoreText", "WARNING: the host key of %1 has CHANGED. The server now shows "
                                   "the key %2, not the one on record: someone may be listening "
                                   "in. Nothing was sent. Check the key with the server's "
                                   "administrator before you trust it.")},
    {QT_TRANSLATE_NOOP("CoreText", "The host key of %1 is not known. Its fingerprint is %2; "
                                   "accept it only if the server's administrator confirms it.")},
    {QT_TRANSLATE_NOOP("CoreText", "The public key of %1 is %2, not the pinned %3. Nothing was "
                                   "sent.")},
    {QT_TRANSLATE_NOOP("CoreText", "The certificate of %1 could not be verified (%2). The "
                                   "server's public key is %3; pin it only if you know it belongs "
                                   "to this server.")},
    {QT_TRANSLATE_NOOP("CoreText", "The certificate of %1 could not be verified (%2).")},
    // Groups and credentials mails
    {QT_TRANSLATE_NOOP("CoreText", "The group name \"%1\" may not hold \":\", \",\", a blank or a "
                                   "control character")},
    {QT_TRANSLATE_NOOP("CoreText", "The groups of %1: %2"), Arg(2)},
    {QT_TRANSLATE_NOOP("CoreText", "The login %1 holds a blank, a quote or a backslash and cannot "
                                   "go into the group file")},
    {QT_TRANSLATE_NOOP("CoreText", "The group file cannot be the password file itself")},
    {QT_TRANSLATE_NOOP("CoreText", "This database knows no password to send for: %1")},
    {QT_TRANSLATE_NOOP("CoreText", "The e-mail address or full name of \"%1\" holds a line break "
                                   "or another control character")},
    {QT_TRANSLATE_NOOP("CoreText", "The template's %1 line for \"%2\" would hold a line break or "
                                   "another control character")},
    {QT_TRANSLATE_NOOP("CoreText", "The template's header line \"%1\" is not \"Name: value\"")},
    {QT_TRANSLATE_NOOP("CoreText", "The sender's address holds a line break or another control "
                                   "character")},
    {QT_TRANSLATE_NOOP("CoreText", "Cannot create folder %1")},
    // A list of names cut short, after every format that holds one.
    {QT_TRANSLATE_NOOP("CoreText", "%1 and %2 more"), Arg(1), Arg(2)},
};

struct TCompiledFormat {
    QRegularExpression Pattern;
    std::vector<int> Args; // the number of each captured part, in the order of the text
};

// The English format as an anchored pattern: its words literally, each %n any text.
TCompiledFormat Compile(const QString& source) {
    static const QRegularExpression placeholder(QStringLiteral("%([1-9])"));
    TCompiledFormat compiled;
    QString pattern;
    qsizetype from = 0;
    for (const QRegularExpressionMatch& m : placeholder.globalMatch(source)) {
        pattern += QRegularExpression::escape(source.mid(from, m.capturedStart() - from));
        pattern += QStringLiteral("(.*?)");
        compiled.Args.push_back(m.captured(1).toInt());
        from = m.capturedEnd();
    }
    pattern += QRegularExpression::escape(source.mid(from));
    compiled.Pattern = QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                          QRegularExpression::DotMatchesEverythingOption);
    return compiled;
}

const std::vector<TCompiledFormat>& CompiledFormats() {
    static const std::vector<TCompiledFormat> compiled = [] {
        std::vector<TCompiledFormat> list;
        for (const TCoreFormat& format : KFormats)
            list.push_back(Compile(QString::fromUtf8(format.Source)));
        return list;
    }();
    return compiled;
}

// The translation with each %n replaced by its part in one pass, so a part that itself holds
// "%2" (a file name) is not taken for a place of its own.
QString Fill(const QString& translation, const QStringList& parts) {
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

QString TranslateText(const QString& text);

QString Part(const TCoreFormat& format, int n, const QString& part) {
    if ((format.Nested & Arg(n)) != 0) return TranslateText(part);
    if ((format.Numbers & Arg(n)) != 0) {
        bool ok = false;
        const qulonglong value = QString(part).remove(QLatin1Char(',')).toULongLong(&ok);
        return ok ? QLocale().toString(value) : part;
    }
    if ((format.Users & Arg(n)) != 0) {
        // "user 3 "ann" (why), user 7 "bob" (why) and 2 more": split before each "user N "".
        static const QRegularExpression nextUser(QStringLiteral(", (?=user \\d+ \")"));
        QStringList users = part.split(nextUser);
        for (QString& user : users)
            user = TranslateText(user);
        return users.join(QStringLiteral(", "));
    }
    return part;
}

QString TranslateText(const QString& text) {
    if (text.isEmpty()) return text; // most cells of the users list: no formats to try
    const std::vector<TCompiledFormat>& compiled = CompiledFormats();
    for (std::size_t i = 0; i < compiled.size(); ++i) {
        const QRegularExpressionMatch match = compiled[i].Pattern.match(text);
        if (!match.hasMatch()) continue;
        QStringList parts(9);
        for (std::size_t k = 0; k < compiled[i].Args.size(); ++k) {
            const int n = compiled[i].Args[k];
            const QString part = match.captured(static_cast<int>(k) + 1);
            parts[n - 1] = Part(KFormats[i], n, part);
        }
        return Fill(QCoreApplication::translate(KContext, KFormats[i].Source), parts);
    }
    if (!text.contains(QLatin1Char('\n'))) return text;
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = TranslateText(line);
    return lines.join(QLatin1Char('\n'));
}

QString Number(std::size_t n) {
    return QLocale().toString(static_cast<qulonglong>(n));
}

} // namespace

QString TranslateCoreText(const std::string& text) {
    return TranslateText(BytesToText(text));
}

QString ExportProgressDisplay(const TExportEvent& event) {
    return MessageText(ExportProgressMessage(event));
}

QString ExportResultDisplay(const TExportResult& result) {
    return MessageText(ExportResultMessage(result));
}

QString HtpasswdImportDisplay(const THtpasswdImportResult& r) {
    const QString replaced = QString::number(r.Replaced), skipped = QString::number(r.Skipped);
    QString text =
        r.Added == 1
            ? QCoreApplication::translate("CoreText", "1 user added, %1 replaced, %2 skipped.")
                  .arg(replaced, skipped)
            : QCoreApplication::translate("CoreText", "%1 users added, %2 replaced, %3 skipped.")
                  .arg(QString::number(r.Added), replaced, skipped);
    if (r.Weak == 1)
        text += QCoreApplication::translate(
            "CoreText", " 1 of them uses a weak scheme (SHA-1, DES crypt or plain text): set new "
                        "passwords for it.");
    else if (r.Weak > 1)
        text += QCoreApplication::translate(
                    "CoreText", " %1 of them use a weak scheme (SHA-1, DES crypt or plain text): "
                                "set new passwords for them.")
                    .arg(r.Weak);
    return text;
}

namespace {

// At most 20 items, the rest counted.
QString ItemList(const QStringList& items) {
    constexpr qsizetype KNamed = 20;
    const QString named = items.mid(0, KNamed).join(QStringLiteral(", "));
    if (items.size() <= KNamed) return named;
    return Fill(QCoreApplication::translate("CoreText", "%1 and %2 more"),
                {named, Number(static_cast<std::size_t>(items.size() - KNamed))});
}

QString ClashDisplay(const THtpasswdClash& c) {
    if (c.OtherLine == 0)
        return Fill(QCoreApplication::translate("CoreText", "line %1 \"%2\" (like \"%3\" in the "
                                                            "database)"),
                    {QString::number(c.Line), BytesToText(c.Login), BytesToText(c.OtherLogin)});
    return Fill(QCoreApplication::translate("CoreText", "line %1 \"%2\" (like line %3 \"%4\")"),
                {QString::number(c.Line), BytesToText(c.Login), QString::number(c.OtherLine),
                 BytesToText(c.OtherLogin)});
}

QString EntryDisplay(const THtpasswdEntry& e) {
    return Fill(QCoreApplication::translate("CoreText", "line %1 \"%2\""),
                {QString::number(e.Line), BytesToText(e.Login)});
}

} // namespace

QString HtpasswdImportNotesDisplay(const THtpasswdImportResult& r) {
    QStringList paragraphs;
    QStringList items;
    for (const THtpasswdClash& clash : r.SkippedClashes)
        items << ClashDisplay(clash);
    if (!items.isEmpty())
        paragraphs << QCoreApplication::translate("CoreText",
                                                  "Skipped, as the login is there already "
                                                  "(letters a to z without regard to case): %1")
                          .arg(ItemList(items));
    items.clear();
    for (const THtpasswdClash& clash : r.ReplacedClashes)
        items << ClashDisplay(clash);
    if (!items.isEmpty())
        paragraphs << QCoreApplication::translate("CoreText",
                                                  "Replaced, as the login was there already "
                                                  "(letters a to z without regard to case): %1")
                          .arg(ItemList(items));
    items.clear();
    for (const THtpasswdEntry& entry : r.Locked)
        items << EntryDisplay(entry);
    if (!items.isEmpty())
        paragraphs << QCoreApplication::translate("CoreText", "Locked, and kept locked: %1")
                          .arg(ItemList(items));
    items.clear();
    for (const THtpasswdEntry& entry : r.Unknown)
        items << EntryDisplay(entry) + QStringLiteral(" (") +
                     BytesToText(UnknownSchemeTag(entry.Value)) + QLatin1Char(')');
    if (!items.isEmpty())
        paragraphs << QCoreApplication::translate("CoreText",
                                                  "Kept exactly as they were, in a scheme Quorvane "
                                                  "does not know: %1")
                          .arg(ItemList(items));
    return paragraphs.join(QStringLiteral("\n\n"));
}

} // namespace quorvane
