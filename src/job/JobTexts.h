#pragma once
// The export job's messages (targets, backups, the result of an export).

#include "base/Message.h"

namespace quorvane::texts {

extern const TMessageText PartialUploadKept;
extern const TMessageText ExportAborted;
extern const TMessageText ExportBuilding;
extern const TMessageText ExportFailed;
extern const TMessageText NoFtpServer;
extern const TMessageText NoServerPasswordFile;
extern const TMessageText TargetKindUnknown;
extern const TMessageText GroupFileIsPasswordFile;
extern const TMessageText KeyFileRewritten;
extern const TMessageText ResultWrittenOne;
extern const TMessageText ResultWritten;
extern const TMessageText ResultWrittenOneDisabledExpired;
extern const TMessageText ResultWrittenDisabledExpired;
extern const TMessageText ResultWrittenOneDisabled;
extern const TMessageText ResultWrittenDisabled;
extern const TMessageText ResultWrittenOneExpired;
extern const TMessageText ResultWrittenExpired;
extern const TMessageText ResultWithWeakHashes;
extern const TMessageText TargetTooLarge;
extern const TMessageText TargetChangedWhileExporting;
extern const TMessageText ReadBeforeReplaceFailed;
extern const TMessageText TargetChangedThere;
extern const TMessageText TargetHoldsUnknownUser;
extern const TMessageText TargetHoldsUnknownUsers;
extern const TMessageText NothingReplaced;
extern const TMessageText OutsideAdded;
extern const TMessageText OutsideRemoved;
extern const TMessageText OutsideChanged;
extern const TMessageText OutsideMore;
extern const TMessageText OutsideOtherLine;
extern const TMessageText OutsideOtherLines;
extern const TMessageText MergeDisabledOne;
extern const TMessageText MergeDisabled;
extern const TMessageText MergeClashes;
extern const TMessageText BackupNoStateFolder;
extern const TMessageText BackupFailed;
extern const TMessageText BackupOtherKey;
extern const TMessageText BackupDamaged;
extern const TMessageText StagedFileDiffers;
extern const TMessageText TargetPrefixed;
extern const TMessageText TargetReplacing;
extern const TMessageText TargetHoldsNew;
extern const TMessageText TargetHoldsOld;
extern const TMessageText TargetHoldsOldFailed;
extern const TMessageText TargetPutBack;
extern const TMessageText TargetPutBackFailed;
extern const TMessageText TargetGroupsNotPutBack;
extern const TMessageText TargetStateUnknown;
extern const TMessageText TargetCheckFailed;
extern const TMessageText TargetAfterFailed;
extern const TMessageText AfterNotStarted;
extern const TMessageText AfterExitStatus;
extern const TMessageText AfterTimedOut;
extern const TMessageText AfterSignalled;
extern const TMessageText AfterFailed;
extern const TMessageText AfterFailedSaying;
extern const TMessageText AfterNeedsShell;
extern const TMessageText ModeOrGroupOverFtp;
extern const TMessageText TargetUnknownForm;
extern const TMessageText TargetParamNotOfForm;
extern const TMessageText TargetLineEnds;
extern const TMessageText TargetBadMode;
extern const TMessageText TargetNoConsumer;
extern const TMessageText TargetOptionNotRead;
extern const TMessageText TargetOptionSecret;
extern const TMessageText TargetOptionValue;
extern const TMessageText TargetOptionNeeded;
extern const TMessageText TargetTakesNoSecret;
extern const TMessageText PlainFtpInClear;
extern const TMessageText RemoteModeNotSet;
extern const TMessageText TargetCheckNoPassword;
extern const TMessageText TargetNoFile;
extern const TMessageText TargetsSamePlace;
extern const TMessageText StateNotKept;
extern const TMessageText TargetChecking;

} // namespace quorvane::texts
