#include "ui/RestoreDlg.h"

#include "base/Errors.h"
#include "ftp/ServerTarget.h"
#include "job/ExportJob.h"
#include "job/JobTexts.h"
#include "ui/ByteText.h"
#include "ui/ModalRunner.h"
#include "ui/QtUiDispatcher.h"
#include "ui/UiPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvane {

TfrmRestore::TfrmRestore(TUserList& list, std::string databasePath, QWidget* parent)
    : QDialog(parent), FList(list), FDatabasePath(std::move(databasePath)) {
    setObjectName(QStringLiteral("frmRestore"));
    setWindowTitle(tr("Restore Previous Password File"));

    // A database with several targets: which one's versions. The first an export that names
    // none goes to is shown first.
    const std::vector<TTargetSettings> targets = ListTargets(list);
    cbxTarget = new QComboBox(this);
    cbxTarget->setObjectName(QStringLiteral("cbxTarget"));
    for (const TTargetSettings& target : targets) {
        const std::string where = TargetWhere(target);
        cbxTarget->addItem(where.empty()
                               ? BytesToText(target.Name)
                               : tr("%1 (%2)").arg(BytesToText(target.Name), BytesToText(where)));
    }
    const std::vector<TTargetSettings> defaults = DefaultTargets(list);
    const int initial = defaults.empty() ? 0 : std::max(FindTarget(list, defaults.front().Name), 0);
    cbxTarget->setCurrentIndex(initial);
    auto* lblChoose = new QLabel(tr("&Target:"), this);
    lblChoose->setBuddy(cbxTarget);
    lblChoose->setVisible(targets.size() > 1);
    cbxTarget->setVisible(targets.size() > 1);

    lblTarget = new QLabel(this);
    lblTarget->setObjectName(QStringLiteral("lblTarget"));
    lblTarget->setTextFormat(Qt::PlainText);
    lblTarget->setWordWrap(true);
    lvwVersions = new QTreeWidget(this);
    lvwVersions->setObjectName(QStringLiteral("lvwVersions"));
    lvwVersions->setRootIsDecorated(false);
    lvwVersions->setHeaderLabels({tr("Replaced"), tr("Size"), tr("Users")});
    lvwVersions->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvwVersions->setMinimumSize(QSize(380, 180));

    auto* buttons = new QDialogButtonBox(this);
    btnRestore = buttons->addButton(tr("&Restore"), QDialogButtonBox::AcceptRole);
    btnRestore->setObjectName(QStringLiteral("btnRestore"));
    btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnRestore, &QPushButton::clicked, this, &TfrmRestore::btnRestoreClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvwVersions, &QTreeWidget::itemDoubleClicked, this, &TfrmRestore::btnRestoreClick);
    connect(cbxTarget, &QComboBox::currentIndexChanged, this, &TfrmRestore::ShowTarget);

    auto* choose = new QHBoxLayout;
    choose->addWidget(lblChoose);
    choose->addWidget(cbxTarget, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choose);
    layout->addWidget(lblTarget);
    layout->addWidget(lvwVersions);
    layout->addWidget(buttons);
    ShowTarget(initial);
}

void TfrmRestore::ShowTarget(int index) {
    // The command line's restore finds the same target the same way, by its id.
    FTarget = TRestoreTarget();
    FVersions.clear();
    try {
        FTarget = RestoreTargetOf(FList, index);
    } catch (const EQuorvaneError&) {
        // A store's address that is none: nothing kept can be found for it.
    }
    if (!FTarget.Id.empty()) FVersions = TTargetBackups(FTarget.Id, FList.Encryption()).List();
    const QString name = BytesToText(FTarget.Name);
    lblTarget->setText(FTarget.Id.empty()  ? tr("The database names no password file yet.")
                       : FVersions.empty() ? tr("No earlier versions of %1 are kept.").arg(name)
                                           : tr("Earlier versions of %1, newest first:").arg(name));
    lvwVersions->clear();
    const QLocale locale;
    for (const TBackupVersion& v : FVersions) {
        auto* item = new QTreeWidgetItem(lvwVersions);
        item->setText(0, QString::fromStdString(BackupTimeText(v.Time)));
        item->setText(1, tr("%1 bytes").arg(locale.toString(static_cast<qlonglong>(v.Size))));
        // One that does not open counts no users: it says why instead.
        item->setText(2, v.State == TBackupVersion::TState::Damaged ? tr("damaged")
                         : v.State == TBackupVersion::TState::OtherKey
                             ? tr("another master password")
                             : locale.toString(static_cast<qulonglong>(v.Users)));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (!FVersions.empty()) lvwVersions->setCurrentItem(lvwVersions->topLevelItem(0));
    btnRestore->setEnabled(!FVersions.empty());
}

void TfrmRestore::btnRestoreClick() {
    if (FRunning != nullptr) return; // one restore at a time (a double click while one runs)
    const int row = lvwVersions->indexOfTopLevelItem(lvwVersions->currentItem());
    if (row < 0 || row >= static_cast<int>(FVersions.size())) return;
    const TBackupVersion version = FVersions[static_cast<size_t>(row)];
    bool done = false;
    Guarded(this, [&] { done = Restore(version); });
    if (done) accept();
}

bool TfrmRestore::Restore(const TBackupVersion& version) {
    TExportSettings settings;
    settings.DatabasePath = FDatabasePath;
    settings.Content = TTargetBackups(FTarget.Id, FList.Encryption()).Read(version);
    // The stored secret, or the one asked for where the target keeps none it needs.
    const TTargetSettings& target = FTarget.Target;
    const TTargetSecret stored = TargetSecretOf(TargetOf(target));
    std::string secret = stored.Stored;
    // A secret typed earlier in this session is not asked for again.
    if (const std::string* kept = ProgramSecrets().Find(target); kept != nullptr && secret.empty())
        secret = *kept;
    if (secret.empty() && stored.Ask != TTargetSecret::TAsk::None) {
        QInputDialog ask(this);
        ask.setObjectName(QStringLiteral("dlgServerPassword"));
        ask.setWindowTitle(tr("Restore Previous Password File"));
        ask.setLabelText(
            stored.Ask == TTargetSecret::TAsk::Password
                ? tr("Password for %1 on %2")
                      .arg(BytesToText(stored.Login), BytesToText(stored.Host))
                : tr("Passphrase of the key file %1").arg(BytesToText(stored.KeyFile)));
        ask.setTextEchoMode(QLineEdit::Password);
        if (RunModal(ask) != QDialog::Accepted) return false;
        secret = TextToBytes(ask.textValue());
        ProgramSecrets().Keep(target, secret);
    }
    settings.Targets = {{target, secret}};
    settings.PerTarget = FTarget.PerTarget;
    for (;;) {
        TExportJob job(FList, settings, std::make_shared<TQtUiDispatcher>());
        TExportResult result;
        bool ended = false;
        QEventLoop loop;
        job.OnDone = [&](const TExportResult& r) {
            result = r;
            ended = true;
            loop.quit();
        };
        // The version goes back on the job's threads; its end comes through this loop, which
        // keeps the window painting meanwhile. Cancel and the close box abort it (reject).
        FRunning = &job;
        btnRestore->setEnabled(false);
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const auto running = qScopeGuard([this] {
            FRunning = nullptr;
            btnRestore->setEnabled(!FVersions.empty());
            QApplication::restoreOverrideCursor();
        });
        job.StartAsync();
        if (!ended) loop.exec();
        if (result.Aborted) return false; // nothing was put back
        if (!result.Error.Empty()) throw EQuorvaneError(result.Error);
        if (FTarget.PerTarget && !result.Done && !result.Stopped)
            throw EQuorvaneError(result.Outcomes.empty()
                                     ? Msg(texts::ExportAborted)
                                     : TargetOutcomeMessage(result.Outcomes.front()));
        if (result.Stopped && result.Check) {
            const TTargetCheck& check = *result.Check;
            const QString question =
                tr("%1 changed since this database last wrote it (%2 users added, %3 removed, "
                   "%4 changed there). Put the earlier version back all the same? What is there "
                   "now is kept too.")
                    .arg(BytesToText(check.Target))
                    .arg(check.Outside.Added)
                    .arg(check.Outside.Removed)
                    .arg(check.Outside.Changed);
            if (ShowMessageBox(this, QMessageBox::Warning, tr("Warning"), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) != QMessageBox::Yes)
                return false;
            settings.Replace.AcceptedSha256 = check.CurrentSha256;
            continue;
        }
        ShowWriteWarnings(this, result.Warnings);
        ResultText = tr("%1 is back as it was on %2")
                         .arg(BytesToText(FTarget.Name),
                              QString::fromStdString(BackupTimeText(version.Time)));
        return true;
    }
}

void TfrmRestore::reject() {
    // A restore that runs is stopped first; the dialog stays until it has ended, with nothing
    // put back.
    if (FRunning != nullptr) {
        FRunning->Abort();
        return;
    }
    QDialog::reject();
}

QString ShowRestoreDialog(TUserList& list, QWidget* owner, const std::string& databasePath) {
    TfrmRestore dialog(list, databasePath, owner);
    RunModal(dialog);
    return dialog.ResultText;
}

} // namespace quorvane
