#include "job/JobTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText PartialUploadKept{"PartialUploadKept", QT_TRANSLATE_NOOP("CoreText", "The partial upload %1 could not be removed from the server")};
const TMessageText ExportAborted{"ExportAborted", QT_TRANSLATE_NOOP("CoreText", "Export aborted; the server's file was not changed")};
const TMessageText ExportBuilding{"ExportBuilding", QT_TRANSLATE_NOOP("CoreText", "Creating passwords file - %1% completed")};
const TMessageText ExportFailed{"ExportFailed", QT_TRANSLATE_NOOP("CoreText", "The export failed: %1")};
const TMessageText NoFtpServer{"NoFtpServer", QT_TRANSLATE_NOOP("CoreText", "The database names no FTP server")};
const TMessageText NoServerPasswordFile{"NoServerPasswordFile", QT_TRANSLATE_NOOP("CoreText", "The database names no password file on the FTP server")};
const TMessageText GroupFileIsPasswordFile{"GroupFileIsPasswordFile", QT_TRANSLATE_NOOP("CoreText", "The group file cannot be the password file itself")};
const TMessageText KeyFileRewritten{"KeyFileRewritten", QT_TRANSLATE_NOOP("CoreText", "The key file %1 is a file this program writes (the database, its side files, kept versions or what an export writes): once rewritten, it could never open the database again. Choose a file that stays as it is")};
const TMessageText ResultWrittenOne{"ResultWrittenOne", QT_TRANSLATE_NOOP("CoreText", "1 user written to %1")};
const TMessageText ResultWritten{"ResultWritten", QT_TRANSLATE_NOOP("CoreText", "%1 users written to %2")};
const TMessageText ResultWrittenOneDisabledExpired{"ResultWrittenOneDisabledExpired", QT_TRANSLATE_NOOP("CoreText", "1 user written to %1; %2 disabled and %3 expired left out")};
const TMessageText ResultWrittenDisabledExpired{"ResultWrittenDisabledExpired", QT_TRANSLATE_NOOP("CoreText", "%1 users written to %2; %3 disabled and %4 expired left out")};
const TMessageText ResultWrittenOneDisabled{"ResultWrittenOneDisabled", QT_TRANSLATE_NOOP("CoreText", "1 user written to %1; %2 disabled left out")};
const TMessageText ResultWrittenDisabled{"ResultWrittenDisabled", QT_TRANSLATE_NOOP("CoreText", "%1 users written to %2; %3 disabled left out")};
const TMessageText ResultWrittenOneExpired{"ResultWrittenOneExpired", QT_TRANSLATE_NOOP("CoreText", "1 user written to %1; %2 expired left out")};
const TMessageText ResultWrittenExpired{"ResultWrittenExpired", QT_TRANSLATE_NOOP("CoreText", "%1 users written to %2; %3 expired left out")};
const TMessageText ResultWithWeakHashes{"ResultWithWeakHashes", QT_TRANSLATE_NOOP("CoreText", "%1. %2")};
const TMessageText TargetTooLarge{"TargetTooLarge", QT_TRANSLATE_NOOP("CoreText", "%1 is larger than 1 GiB; it is not read, compared or replaced")};
const TMessageText TargetChangedWhileExporting{"TargetChangedWhileExporting", QT_TRANSLATE_NOOP("CoreText", "%1 changed while the export ran; nothing was replaced. Export again to see what changed")};
const TMessageText ReadBeforeReplaceFailed{"ReadBeforeReplaceFailed", QT_TRANSLATE_NOOP("CoreText", "Could not read %1 to compare it before replacing it: %2")};
const TMessageText TargetChangedThere{"TargetChangedThere", QT_TRANSLATE_NOOP("CoreText", "%1 changed since this database last wrote it: %2 there")};
const TMessageText TargetHoldsUnknownUser{"TargetHoldsUnknownUser", QT_TRANSLATE_NOOP("CoreText", "%1 holds a user this database does not have")};
const TMessageText TargetHoldsUnknownUsers{"TargetHoldsUnknownUsers", QT_TRANSLATE_NOOP("CoreText", "%1 holds %2 users this database does not have")};
const TMessageText NothingReplaced{"NothingReplaced", QT_TRANSLATE_NOOP("CoreText", "%1. Nothing was replaced.")};
const TMessageText OutsideAdded{"OutsideAdded", QT_TRANSLATE_NOOP("CoreText", "+ %1 (added there)")};
const TMessageText OutsideRemoved{"OutsideRemoved", QT_TRANSLATE_NOOP("CoreText", "- %1 (removed there)")};
const TMessageText OutsideChanged{"OutsideChanged", QT_TRANSLATE_NOOP("CoreText", "~ %1 (password changed there)")};
const TMessageText OutsideMore{"OutsideMore", QT_TRANSLATE_NOOP("CoreText", "... and %1 more")};
const TMessageText OutsideOtherLine{"OutsideOtherLine", QT_TRANSLATE_NOOP("CoreText", "(1 line there that are comments, blank or no user; they do not count)")};
const TMessageText OutsideOtherLines{"OutsideOtherLines", QT_TRANSLATE_NOOP("CoreText", "(%1 lines there that are comments, blank or no user; they do not count)")};
const TMessageText MergeDisabledOne{"MergeDisabledOne", QT_TRANSLATE_NOOP("CoreText", "%1 1 user removed there disabled here: %2.")};
const TMessageText MergeDisabled{"MergeDisabled", QT_TRANSLATE_NOOP("CoreText", "%1 %2 users removed there disabled here: %3.")};
const TMessageText BackupNoStateFolder{"BackupNoStateFolder", QT_TRANSLATE_NOOP("CoreText", "Could not keep a copy of the file about to be replaced in the state folder: neither XDG_STATE_HOME nor HOME is set; nothing was replaced")};
const TMessageText BackupFailed{"BackupFailed", QT_TRANSLATE_NOOP("CoreText", "Could not keep a copy of the file about to be replaced in %1: %2; nothing was replaced")};
const TMessageText BackupOtherKey{"BackupOtherKey", QT_TRANSLATE_NOOP("CoreText", "Version %1 was kept under another master password")};
const TMessageText BackupDamaged{"BackupDamaged", QT_TRANSLATE_NOOP("CoreText", "Version %1 is damaged: it is not whole and cannot be restored")};
const TMessageText StagedFileDiffers{"StagedFileDiffers", QT_TRANSLATE_NOOP("CoreText", "The temporary copy of %1 does not hold what was written")};
const TMessageText TargetPrefixed{"TargetPrefixed", QT_TRANSLATE_NOOP("CoreText", "%1: %2")};
const TMessageText TargetReplacing{"TargetReplacing", QT_TRANSLATE_NOOP("CoreText", "Putting the new %1 in place...")};
const TMessageText TargetHoldsNew{"TargetHoldsNew", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): holds the new file")};
const TMessageText TargetHoldsOld{"TargetHoldsOld", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): not replaced; it holds its previous file")};
const TMessageText TargetHoldsOldFailed{"TargetHoldsOldFailed", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): not replaced; it holds its previous file. %3")};
const TMessageText TargetPutBack{"TargetPutBack", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): replaced, then put back; it holds its previous file again")};
const TMessageText TargetPutBackFailed{"TargetPutBackFailed", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): holds the new file; putting its previous file back failed: %3")};
const TMessageText TargetGroupsNotPutBack{"TargetGroupsNotPutBack", QT_TRANSLATE_NOOP("CoreText", "%1; its group file could not be put back and holds the new groups: %2")};
const TMessageText TargetStateUnknown{"TargetStateUnknown", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): the replacement failed and the previous file could not be put back, so it may hold neither: %3")};
const TMessageText TargetCheckFailed{"TargetCheckFailed", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): holds the new file, but the site check failed: %3 Put the previous version back (restore) if users cannot log in.")};
const TMessageText TargetAfterFailed{"TargetAfterFailed", QT_TRANSLATE_NOOP("CoreText", "%1 (%2): holds the new file, but the command after the export failed (put the previous version back with restore if the program that reads it cannot use the new one): %3")};
const TMessageText AfterNotStarted{"AfterNotStarted", QT_TRANSLATE_NOOP("CoreText", "The command after the export could not be started: %1")};
const TMessageText AfterExitStatus{"AfterExitStatus", QT_TRANSLATE_NOOP("CoreText", "ended with status %1")};
const TMessageText AfterTimedOut{"AfterTimedOut", QT_TRANSLATE_NOOP("CoreText", "did not end within %1 seconds")};
const TMessageText AfterSignalled{"AfterSignalled", QT_TRANSLATE_NOOP("CoreText", "was ended by signal %1")};
const TMessageText AfterFailed{"AfterFailed", QT_TRANSLATE_NOOP("CoreText", "The command \"%1\" %2")};
const TMessageText AfterFailedSaying{"AfterFailedSaying", QT_TRANSLATE_NOOP("CoreText", "The command \"%1\" %2; its last output: %3")};
const TMessageText AfterNeedsShell{"AfterNeedsShell", QT_TRANSLATE_NOOP("CoreText", "A command after the export runs beside a local file or over SFTP; %1 is reached over FTP")};
const TMessageText TargetUnknownForm{"TargetUnknownForm", QT_TRANSLATE_NOOP("CoreText", "No form is called %1; the forms are %2")};
const TMessageText TargetParamNotOfForm{"TargetParamNotOfForm", QT_TRANSLATE_NOOP("CoreText", "The form %2 has no %1")};
const TMessageText TargetLineEnds{"TargetLineEnds", QT_TRANSLATE_NOOP("CoreText", "Line ends are lf or crlf, not %1")};
const TMessageText TargetBadMode{"TargetBadMode", QT_TRANSLATE_NOOP("CoreText", "%1 is no file mode: give the permission bits in octal, such as 0640")};
const TMessageText TargetNoConsumer{"TargetNoConsumer", QT_TRANSLATE_NOOP("CoreText", "%1 is a store: it keeps users, not a file for another program, a realm or line ends")};
const TMessageText TargetOptionNotRead{"TargetOptionNotRead", QT_TRANSLATE_NOOP("CoreText", "A %2 target reads no option %1; it reads %3")};
const TMessageText TargetOptionSecret{"TargetOptionSecret", QT_TRANSLATE_NOOP("CoreText", "%1 is a secret: it is given apart, never as an option")};
const TMessageText TargetOptionValue{"TargetOptionValue", QT_TRANSLATE_NOOP("CoreText", "%1 is not a value of %2")};
const TMessageText TargetOptionNeeded{"TargetOptionNeeded", QT_TRANSLATE_NOOP("CoreText", "A %1 target needs the option %2")};
const TMessageText TargetTakesNoSecret{"TargetTakesNoSecret", QT_TRANSLATE_NOOP("CoreText", "A %1 target logs in nowhere: it takes no password")};
const TMessageText PlainFtpInClear{"PlainFtpInClear", QT_TRANSLATE_NOOP("CoreText", "Plain FTP sends the password and the password file in clear; use ftpes://, ftps:// or sftp:// where the server offers it")};
const TMessageText ModeOrGroupOverFtp{"ModeOrGroupOverFtp", QT_TRANSLATE_NOOP("CoreText", "A file's mode is set on a local file or over SFTP, its group only on a local file; %1 cannot take them")};
const TMessageText RemoteModeNotSet{"RemoteModeNotSet", QT_TRANSLATE_NOOP("CoreText", "The mode of %1 could not be set to %2: %3")};
const TMessageText TargetCheckNoPassword{"TargetCheckNoPassword", QT_TRANSLATE_NOOP("CoreText", "The database knows no password for the check user %1")};
const TMessageText TargetsSamePlace{"TargetsSamePlace", QT_TRANSLATE_NOOP("CoreText", "The targets %1 and %2 both write %3: an export to both would replace it twice and fail; give one of them another place or remove it")};
const TMessageText MergeClashes{"MergeClashes", QT_TRANSLATE_NOOP("CoreText", "Nothing was taken in and nothing replaced: %1 holds logins that are there already in another case (letters a to z without regard to case): %2. Rename or remove them there, or rename the users here, and export again")};
const TMessageText StateNotKept{"StateNotKept", QT_TRANSLATE_NOOP("CoreText", "The export could not keep its record in %1 (the folder is read-only, or another program holds the file): the next export cannot tell what it wrote from a change made there, and makes every hash again")};
const TMessageText TargetNoFile{"TargetNoFile", QT_TRANSLATE_NOOP("CoreText", "The target names no password file")};
const TMessageText TargetChecking{"TargetChecking", QT_TRANSLATE_NOOP("CoreText", "Asking the site whether it lets the check user in...")};
const TMessageText TargetKindUnknown{"TargetKindUnknown", QT_TRANSLATE_NOOP("CoreText", "No kind of target is reached by addresses starting with \"%1:\"")};
// clang-format on

} // namespace quorvane::texts
