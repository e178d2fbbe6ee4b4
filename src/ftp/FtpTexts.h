#pragma once
// The transfer library's messages (FTP, FTP over TLS, SFTP, server identities).

#include "base/Message.h"

namespace quorvane::texts {

extern const TMessageText UnknownError;
extern const TMessageText SystemFailure;
extern const TMessageText NotConnected;
extern const TMessageText InvalidRemoteName;
extern const TMessageText HostNotFound;
extern const TMessageText ServerTimedOut;
extern const TMessageText ConnectionLost;
extern const TMessageText ServerRefusedLogin;
extern const TMessageText ServerOffersNoTls;
extern const TMessageText TlsHandshakeFailed;
extern const TMessageText TransferAborted;
extern const TMessageText LoginOrPasswordUnsafe;
extern const TMessageText InvalidHostName;
extern const TMessageText KeyFileUnreadable;
extern const TMessageText ServerRefusedKey;
extern const TMessageText NoHostKey;
extern const TMessageText ServerOffersNoSftp;
extern const TMessageText ServerRefusedIt;
extern const TMessageText ServerUnsupported;
extern const TMessageText ServerDiskFull;
extern const TMessageText ServerQuotaExceeded;
extern const TMessageText RemoteFileExists;
extern const TMessageText LocalFileUnreadable;
extern const TMessageText RemoteFileTooLarge;
extern const TMessageText SftpNotThroughFtp;
extern const TMessageText CouldNotConnect;
extern const TMessageText LoginFailed;
extern const TMessageText UploadFailed;
extern const TMessageText UploadSizeUnknown;
extern const TMessageText UploadIncomplete;
extern const TMessageText UploadAborted;
extern const TMessageText RenameFailed;
extern const TMessageText HostUnsafe;
extern const TMessageText LoginUnsafe;
extern const TMessageText PasswordUnsafe;
extern const TMessageText RemoteNameUnsafe;
extern const TMessageText HostKeyChangedFromTrusted;
extern const TMessageText HostKeyChanged;
extern const TMessageText HostKeyUnknown;
extern const TMessageText PublicKeyNotPinned;
extern const TMessageText CertificateUnverifiedKey;
extern const TMessageText CertificateUnverified;
extern const TMessageText Connecting;
extern const TMessageText Uploading;
extern const TMessageText UnknownUploadProtocol;
extern const TMessageText ProtocolFtp;
extern const TMessageText ProtocolFtpExplicitTls;
extern const TMessageText ProtocolFtpImplicitTls;
extern const TMessageText ProtocolSftp;
extern const TMessageText UrlUnsafe;
extern const TMessageText NotAServerUrl;
extern const TMessageText UnknownUrlProtocol;
extern const TMessageText UrlNoValidServer;
extern const TMessageText UrlHoldsPassword;
extern const TMessageText UrlQueryOrFragment;
extern const TMessageText UrlNoFile;
extern const TMessageText SiteLetIn;
extern const TMessageText SiteRefused;
extern const TMessageText SiteNotProtected;
extern const TMessageText SiteRedirects;
extern const TMessageText SiteNotChecked;
extern const TMessageText SiteUndecided;
extern const TMessageText HttpClientUnavailable;
extern const TMessageText TooManyRedirects;
extern const TMessageText NotAnHttpAddress;

} // namespace quorvane::texts
