#pragma once
// The programs that read the exported users (consumers), one row each: which forms each reads
// and which it writes when none is chosen, how its file is laid out, its line ends, whether it
// takes groups, and whether it reads values of several forms in one file. Every consumer's file
// is made from the one password-file builder (BuildPasswordEntries); the table says only how
// the entries are written.

#include "base/Message.h"
#include "export/PasswordFile.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct THashScheme;

// How a file of the consumer is laid out.
enum class TConsumerSyntax {
    Htpasswd,         // "login:value" lines
    Dovecot,          // "login:{SCHEME}value" lines (passwd-file)
    Caddy,            // a "basicauth { login value }" block to import into a site block
    Haproxy,          // "userlist NAME", "group G users a,b", "user L password H"
    PrometheusYaml,   // web.yml's "basic_auth_users:" map
    TraefikYaml,      // dynamic configuration: a middleware's basicAuth users
    KubernetesSecret, // a Secret whose keys "auth" (ingress-nginx) and "users" (Traefik) hold
                      // the htpasswd lines in base64
    AutheliaYaml,     // users file: displayname, email, groups, disabled, password
};

// Which values of other forms than the chosen one the consumer reads in the same file (users
// known only by a taken-over hash).
enum class TMixedForms {
    Any,      // whatever the web servers read (htpasswd): said as a warning
    Accepted, // any of its accepted forms: said as a warning; others refused
    None,     // one form per file: any other refused
};

struct TConsumer {
    std::string_view Name;        // the command line's name: "caddy"
    std::string_view DisplayName; // "Caddy basicauth"
    // The command-line names of the forms it reads (AllForms), the first the one written when
    // none is chosen; "" for the database's own form (htpasswd).
    std::string_view Forms;
    TConsumerSyntax Syntax;
    bool UnixLineEnds;   // LF; otherwise as the database or the export says (CR LF by default)
    bool Groups;         // writes the users' groups
    bool WritesDisabled; // disabled users are written, marked so (otherwise left out)
    TMixedForms Mixed;
    // The name the file gives its list (HAProxy's userlist, the Kubernetes Secret, the Traefik
    // middleware) when none is given; empty for a file without one.
    std::string_view DefaultListName;
    // Without any user it asks nobody for a password (Prometheus' web configuration): a file
    // without users is refused.
    bool EmptyOpens = false;
    // Reads Apache's group file beside its own (AuthGroupFile): the export writes one there
    // when users have groups. A consumer that carries the groups in its own file, or has none,
    // gets none beside it.
    bool GroupFileBeside = false;

    // Whether it reads the form.
    bool Reads(const THashScheme& form) const;
    // The forms it reads, in the table's order; for htpasswd every database form.
    std::vector<const THashScheme*> AcceptedForms() const;
    // The form written when none is chosen: the first of Forms, or the database's own.
    const THashScheme& DefaultForm(const TUserList& list) const;
    bool TakesPlainText() const;
    // Whether its file holds the users' full names and e-mail addresses.
    bool ReadsNames() const;
};

// Every consumer, "htpasswd" first.
std::span<const TConsumer> Consumers();
// The row named name (exact match); none for an unknown name.
const TConsumer* ConsumerByName(std::string_view name);
// "htpasswd, digest, caddy, ...".
std::string ConsumerNames();
// The row by name; raises "No program is called X; the known ones are ..." for an unknown one.
const TConsumer& RequireConsumer(std::string_view name);

// The consumer's file for the list in options.Form (none: the consumer's default form), or
// nothing when the export was aborted. Before any hashing it refuses a form the consumer does
// not read, a list name (options.ListName) the file cannot hold and users whose login, name,
// e-mail address, groups or plain-text password the file cannot hold (naming each); then raises
// whatever BuildPasswordEntries raises; then refuses users whose taken-over value is in a form
// the consumer cannot read (naming them), or, where it reads them, tells options.Warnings.
// options.Realm, WithDisabled and (for a consumer with LF line ends) UnixLineEnds are the
// consumer's.
std::optional<std::string> BuildConsumerFile(const TUserList& list, const TConsumer& consumer,
                                             const TPasswordFileOptions& options = {});

class TFormHashCaches;

// BuildConsumerFile with the hashes of its form and work factor (options.Form or the
// consumer's default; options.SchemeParam or the list's) taken from and put into that form's
// cache in caches (options.Cache is not looked at): what an export to several targets calls
// once per target, each in its own form, so that each form is hashed once.
std::optional<std::string> BuildConsumerFile(const TUserList& list, const TConsumer& consumer,
                                             const TPasswordFileOptions& options,
                                             TFormHashCaches& caches);

// Raises "X does not read the form F; it reads ..." when the consumer does not read the form.
void CheckConsumerReads(const TConsumer& consumer, const THashScheme& form);

// The web servers' password file: "htpasswd".
const TConsumer& HtpasswdConsumer();

} // namespace quorvane
