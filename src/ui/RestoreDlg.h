#pragma once
// File > Restore Previous Password File...: the versions of a target's password file that
// exports replaced (time, size, users), newest first; Restore puts the chosen one back through
// the same safe replacement as an export, which keeps what it replaces in turn. A database with
// several targets chooses the target first; each one's versions are found by its id, a file's,
// a server's and a store's alike.

#include "job/Backups.h"
#include "job/ExportJob.h"
#include "userdb/UserList.h"

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
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

protected:
    void reject() override; // Escape, Cancel, the close box: a running restore is aborted first

private:
    // Shows the kept versions of the list's target at `index` (0: the first).
    void ShowTarget(int index);
    // Runs the restore of one version; false when the user declined a question on the way.
    bool Restore(const TBackupVersion& version);

    TUserList& FList;
    std::string FDatabasePath;
    TRestoreTarget FTarget; // where a version goes back
    std::vector<TBackupVersion> FVersions;
    TExportJob* FRunning = nullptr; // the restore running now
    QComboBox* cbxTarget = nullptr;
    QLabel* lblTarget = nullptr;
    QTreeWidget* lvwVersions = nullptr;
    QPushButton* btnRestore = nullptr;
    QPushButton* btnCancel = nullptr;
};

// Shows the dialog over the owner; returns what the restore did, empty when nothing was put back.
QString ShowRestoreDialog(TUserList& list, QWidget* owner, const std::string& databasePath);

} // namespace quorvane
