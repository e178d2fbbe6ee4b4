#pragma once
// File > Restore Previous Password File...: the versions of the database's password file that
// exports replaced (time, size, users), newest first; Restore puts the chosen one back through
// the same safe replacement as an export, which keeps what it replaces in turn.

#include "job/Backups.h"
#include "job/ExportJob.h"
#include "userdb/UserList.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace quorvane {

class TfrmRestore : public QDialog {
    Q_OBJECT
public:
    TfrmRestore(TUserList& list, std::string databasePath, QWidget* parent = nullptr);

    // What the restore did ("/srv/www/.htpasswd is back as it was on ..."); empty before.
    QString ResultText;

public slots:
    void btnRestoreClick();

private:
    // Runs the restore of one version; false when the user declined a question on the way.
    bool Restore(const TBackupVersion& version);

    TUserList& FList;
    std::string FDatabasePath;
    TTargetSettings FTarget; // where a version goes back
    std::string FName;       // the file, the remote file, or the store
    std::string FId;
    std::vector<TBackupVersion> FVersions;
    QLabel* lblTarget = nullptr;
    QTreeWidget* lvwVersions = nullptr;
    QPushButton* btnRestore = nullptr;
    QPushButton* btnCancel = nullptr;
};

// Shows the dialog over the owner; returns what the restore did, empty when nothing was put back.
QString ShowRestoreDialog(TUserList& list, QWidget* owner, const std::string& databasePath);

} // namespace quorvane
