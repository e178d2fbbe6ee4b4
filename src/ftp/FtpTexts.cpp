#include "ftp/FtpTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText UnknownError{"UnknownError", QT_TRANSLATE_NOOP("CoreText", "Unknown error")};
const TMessageText SystemFailure{"SystemFailure", QT_TRANSLATE_NOOP("CoreText", "%1")};
const TMessageText NotConnected{"NotConnected", QT_TRANSLATE_NOOP("CoreText", "Not connected")};
const TMessageText InvalidRemoteName{"InvalidRemoteName", QT_TRANSLATE_NOOP("CoreText", "Invalid remote file name")};
const TMessageText HostNotFound{"HostNotFound", QT_TRANSLATE_NOOP("CoreText", "host not found")};
const TMessageText ServerTimedOut{"ServerTimedOut", QT_TRANSLATE_NOOP("CoreText", "the server did not answer in time")};
const TMessageText ConnectionLost{"ConnectionLost", QT_TRANSLATE_NOOP("CoreText", "the connection was lost")};
const TMessageText ServerRefusedLogin{"ServerRefusedLogin", QT_TRANSLATE_NOOP("CoreText", "the server refused the login")};
const TMessageText ServerOffersNoTls{"ServerOffersNoTls", QT_TRANSLATE_NOOP("CoreText", "the server does not offer TLS")};
const TMessageText TlsHandshakeFailed{"TlsHandshakeFailed", QT_TRANSLATE_NOOP("CoreText", "the TLS handshake failed")};
const TMessageText TransferAborted{"TransferAborted", QT_TRANSLATE_NOOP("CoreText", "aborted")};
const TMessageText LoginOrPasswordUnsafe{"LoginOrPasswordUnsafe", QT_TRANSLATE_NOOP("CoreText", "the login or password holds a line break or NUL")};
const TMessageText InvalidHostName{"InvalidHostName", QT_TRANSLATE_NOOP("CoreText", "not a valid host name")};
const TMessageText KeyFileUnreadable{"KeyFileUnreadable", QT_TRANSLATE_NOOP("CoreText", "the key file %1 could not be read (a wrong passphrase, or not a private key)")};
const TMessageText ServerRefusedKey{"ServerRefusedKey", QT_TRANSLATE_NOOP("CoreText", "the server refused the key")};
const TMessageText NoHostKey{"NoHostKey", QT_TRANSLATE_NOOP("CoreText", "the server showed no host key")};
const TMessageText ServerOffersNoSftp{"ServerOffersNoSftp", QT_TRANSLATE_NOOP("CoreText", "the server offers no SFTP")};
const TMessageText ServerRefusedIt{"ServerRefusedIt", QT_TRANSLATE_NOOP("CoreText", "the server refused it")};
const TMessageText ServerUnsupported{"ServerUnsupported", QT_TRANSLATE_NOOP("CoreText", "the server does not support this")};
const TMessageText ServerDiskFull{"ServerDiskFull", QT_TRANSLATE_NOOP("CoreText", "the server's disk is full")};
const TMessageText ServerQuotaExceeded{"ServerQuotaExceeded", QT_TRANSLATE_NOOP("CoreText", "the quota on the server is exceeded")};
const TMessageText RemoteFileExists{"RemoteFileExists", QT_TRANSLATE_NOOP("CoreText", "the file exists")};
const TMessageText LocalFileUnreadable{"LocalFileUnreadable", QT_TRANSLATE_NOOP("CoreText", "the local file could not be read")};
const TMessageText RemoteFileTooLarge{"RemoteFileTooLarge", QT_TRANSLATE_NOOP("CoreText", "the file on the server is larger than %1 bytes")};
const TMessageText SftpNotThroughFtp{"SftpNotThroughFtp", QT_TRANSLATE_NOOP("CoreText", "SFTP goes through its own transport, not the FTP client")};
const TMessageText CouldNotConnect{"CouldNotConnect", QT_TRANSLATE_NOOP("CoreText", "Could not connect to %1: %2")};
const TMessageText LoginFailed{"LoginFailed", QT_TRANSLATE_NOOP("CoreText", "Login to %1 as %2 failed: %3")};
const TMessageText UploadFailed{"UploadFailed", QT_TRANSLATE_NOOP("CoreText", "Upload of %1 failed: %2")};
const TMessageText UploadSizeUnknown{"UploadSizeUnknown", QT_TRANSLATE_NOOP("CoreText", "Upload of %1 failed: the server does not tell the size of the uploaded file, so it cannot be checked; the old file was kept")};
const TMessageText UploadIncomplete{"UploadIncomplete", QT_TRANSLATE_NOOP("CoreText", "Upload of %1 failed: the server stored %2 of %3 bytes; the old file was kept")};
const TMessageText UploadAborted{"UploadAborted", QT_TRANSLATE_NOOP("CoreText", "Upload of %1 was aborted")};
const TMessageText RenameFailed{"RenameFailed", QT_TRANSLATE_NOOP("CoreText", "Could not rename %1 to %2: %3")};
const TMessageText HostUnsafe{"HostUnsafe", QT_TRANSLATE_NOOP("CoreText", "The host holds a line break or NUL character; nothing was sent to the server")};
const TMessageText LoginUnsafe{"LoginUnsafe", QT_TRANSLATE_NOOP("CoreText", "The login holds a line break or NUL character; nothing was sent to the server")};
const TMessageText PasswordUnsafe{"PasswordUnsafe", QT_TRANSLATE_NOOP("CoreText", "The password holds a line break or NUL character; nothing was sent to the server")};
const TMessageText RemoteNameUnsafe{"RemoteNameUnsafe", QT_TRANSLATE_NOOP("CoreText", "The remote file name holds a line break or NUL character; nothing was sent to the server")};
const TMessageText HostKeyChangedFromTrusted{"HostKeyChangedFromTrusted", QT_TRANSLATE_NOOP("CoreText", "WARNING: the host key of %1 has CHANGED from the trusted one (%2). The server now shows the key %3: someone may be listening in. Nothing was sent. Check the key with the server's administrator before you trust it.")};
const TMessageText HostKeyChanged{"HostKeyChanged", QT_TRANSLATE_NOOP("CoreText", "WARNING: the host key of %1 has CHANGED. The server now shows the key %2, not the one on record: someone may be listening in. Nothing was sent. Check the key with the server's administrator before you trust it.")};
const TMessageText HostKeyUnknown{"HostKeyUnknown", QT_TRANSLATE_NOOP("CoreText", "The host key of %1 is not known. Its fingerprint is %2; accept it only if the server's administrator confirms it.")};
const TMessageText PublicKeyNotPinned{"PublicKeyNotPinned", QT_TRANSLATE_NOOP("CoreText", "The public key of %1 is %2, not the pinned %3. Nothing was sent.")};
const TMessageText CertificateUnverifiedKey{"CertificateUnverifiedKey", QT_TRANSLATE_NOOP("CoreText", "The certificate of %1 could not be verified (%2). The server's public key is %3; pin it only if you know it belongs to this server.")};
const TMessageText CertificateUnverified{"CertificateUnverified", QT_TRANSLATE_NOOP("CoreText", "The certificate of %1 could not be verified (%2).")};
const TMessageText Connecting{"Connecting", QT_TRANSLATE_NOOP("CoreText", "Connecting to %1...")};
const TMessageText Uploading{"Uploading", QT_TRANSLATE_NOOP("CoreText", "Uploading %1 - %2% completed")};
const TMessageText UnknownUploadProtocol{"UnknownUploadProtocol", QT_TRANSLATE_NOOP("CoreText", "Unknown upload protocol \"%1\"; this version knows ftp, ftpes, ftps and sftp")};
const TMessageText ProtocolFtp{"ProtocolFtp", QT_TRANSLATE_NOOP("CoreText", "FTP")};
const TMessageText ProtocolFtpExplicitTls{"ProtocolFtpExplicitTls", QT_TRANSLATE_NOOP("CoreText", "FTP over TLS")};
const TMessageText ProtocolFtpImplicitTls{"ProtocolFtpImplicitTls", QT_TRANSLATE_NOOP("CoreText", "FTP over TLS (implicit)")};
const TMessageText ProtocolSftp{"ProtocolSftp", QT_TRANSLATE_NOOP("CoreText", "SFTP")};
const TMessageText UrlUnsafe{"UrlUnsafe", QT_TRANSLATE_NOOP("CoreText", "The URL holds a line break or NUL character")};
const TMessageText NotAServerUrl{"NotAServerUrl", QT_TRANSLATE_NOOP("CoreText", "Not a server URL: %1 (use ftp://, ftpes://, ftps:// or sftp://)")};
const TMessageText UnknownUrlProtocol{"UnknownUrlProtocol", QT_TRANSLATE_NOOP("CoreText", "Unknown protocol %1:// (use ftp://, ftpes://, ftps:// or sftp://)")};
const TMessageText UrlNoValidServer{"UrlNoValidServer", QT_TRANSLATE_NOOP("CoreText", "The URL names no valid server: %1")};
const TMessageText UrlHoldsPassword{"UrlHoldsPassword", QT_TRANSLATE_NOOP("CoreText", "Give the password with --password-stdin, not in the URL")};
const TMessageText UrlQueryOrFragment{"UrlQueryOrFragment", QT_TRANSLATE_NOOP("CoreText", "A server URL names a file, without \"?\" or \"#\" parts: %1 (write them as %3F and %23 in a file name)")};
const TMessageText UrlNoFile{"UrlNoFile", QT_TRANSLATE_NOOP("CoreText", "The URL names no file on the server: %1")};
const TMessageText SiteLetIn{"SiteLetIn", QT_TRANSLATE_NOOP("CoreText", "The site let user %1 in (HTTP %2).")};
const TMessageText SiteRefused{"SiteRefused", QT_TRANSLATE_NOOP("CoreText", "The site refused user %1 (HTTP %2).")};
const TMessageText SiteNotProtected{"SiteNotProtected", QT_TRANSLATE_NOOP("CoreText", "The page is not protected: the site let everybody in without a password (HTTP %1), so the check says nothing about user %2.")};
const TMessageText SiteRedirects{"SiteRedirects", QT_TRANSLATE_NOOP("CoreText", "The site redirects to another host (%1); the credentials were not sent there, so the check is undecided.")};
const TMessageText SiteNotChecked{"SiteNotChecked", QT_TRANSLATE_NOOP("CoreText", "The site could not be checked: %1.")};
const TMessageText SiteUndecided{"SiteUndecided", QT_TRANSLATE_NOOP("CoreText", "The site neither let user %1 in nor refused them (HTTP %2).")};
const TMessageText HttpClientUnavailable{"HttpClientUnavailable", QT_TRANSLATE_NOOP("CoreText", "The HTTP client could not be started")};
const TMessageText TooManyRedirects{"TooManyRedirects", QT_TRANSLATE_NOOP("CoreText", "Too many redirects")};
const TMessageText NotAnHttpAddress{"NotAnHttpAddress", QT_TRANSLATE_NOOP("CoreText", "The address is not an http or https address")};
// clang-format on

} // namespace quorvane::texts
