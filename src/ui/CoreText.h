#pragma once
// The core speaks English only (the command line and the core's callers rely on its texts as
// they are). The desktop program shows those texts in the user's language here, at its
// boundary: a text with a typed source (an export event, an export or import result) is made
// from that source with tr(); any other core text (a failure's message, a scheme or protocol
// name, a guidance line) is recognised against a table of the core's formats and rebuilt in
// the user's language with its variable parts (file names, hosts, logins, counts) unchanged.

#include <QString>

#include <string>

namespace quorvane {

struct TExportEvent;
struct TExportResult;
struct THtpasswdImportResult;

// A core text in the user's language. A text of several lines that matches no format as a
// whole is translated line by line; a text (or line) the table does not know stays as it is.
QString TranslateCoreText(const std::string& text);

// "Creating passwords file - N% completed", "Connecting to HOST...", "Uploading REMOTE - N%
// completed", in the user's language.
QString ExportProgressDisplay(const TExportEvent& event);

// "57 users written to /srv/www/.htpasswd; 2 disabled and 1 expired left out" (then the first
// line of the weak-hash warning), in the user's language with the locale's numbers.
QString ExportResultDisplay(const TExportResult& result);

// "1 user added, 0 replaced, 2 skipped." and the weak-scheme sentence, in the user's language.
QString HtpasswdImportDisplay(const THtpasswdImportResult& result);

// What HtpasswdImportNotes tells (the skipped and replaced lines, the locked users and those of
// an unknown scheme), a paragraph each, in the user's language; empty when there is nothing.
QString HtpasswdImportNotesDisplay(const THtpasswdImportResult& result);

} // namespace quorvane
