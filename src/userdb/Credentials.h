#pragma once
// New credentials handed out: one mail per user from a template, with the login, the password
// and the site's address, as .eml files, one mbox file, or a CSV file for a mail merge.
//
// A template is text: optional header lines first ("Subject: ...", "From: ..."), ended by an
// empty line, then the body. Both may hold the placeholders {login}, {password}, {url},
// {name} (the full name), {email} and {expires} ("never" or YYYY-MM-DD). A template without a
// header line is all body, with the subject "Your access". A header line that comes out empty
// for a user ("To: {email}" without an address) is left out of that user's mail.

#include "userdb/UserList.h"

#include <string>
#include <vector>

namespace quorvane {

struct TCredentialsTemplate {
    std::vector<std::pair<std::string, std::string>> Headers; // Subject first when given
    std::string Body;
};

// Parses the template text. Raises EQuorvaneError when a header line would let a placeholder's
// value start a header of its own (a line break) or is not "Name: value".
TCredentialsTemplate ParseCredentialsTemplate(const std::string& text);

// One user's mail, ready to be written or handed to the mail program.
struct TCredentialsMail {
    const TUserProp* User = nullptr;
    std::string To;      // "Full Name <address>", the address alone, or empty without one
    std::string Subject; // filled in
    std::vector<std::pair<std::string, std::string>> Headers; // the others, filled in
    std::string Body;                                         // filled in, LF line ends
    std::string Url;                                          // the site's address
};

// The mails for the users, in their order. Raises EQuorvaneError naming the users whose clear
// password this database does not know (taken over by their hash): nothing can be sent to them.
// A value with a line break or another control character never reaches a header: header values
// are refused when a user's field holds one.
std::vector<TCredentialsMail> MakeCredentialsMails(const TCredentialsTemplate& tmpl,
                                                   const std::vector<const TUserProp*>& users,
                                                   const std::string& url);

enum class TCredentialsFormat {
    Eml,  // DIR/LOGIN.eml, one message each
    Mbox, // DIR/credentials.mbox, all messages
    Csv,  // DIR/credentials.csv: login, password, email, name, url, subject, body
};

// Writes the mails into the folder (created with mode 0700 when missing); every file is mode
// 0600, as it holds clear passwords. Returns the files written. Raises "Cannot create file %s"
// with nothing of that file left behind.
std::vector<std::string> WriteCredentials(const std::vector<TCredentialsMail>& mails,
                                          TCredentialsFormat format, const std::string& folder,
                                          const std::string& from);

// The "mailto:" address that opens the mail program with this mail filled in (RFC 6068, every
// byte outside the unreserved set percent-encoded).
std::string CredentialsMailto(const TCredentialsMail& mail);

} // namespace quorvane
