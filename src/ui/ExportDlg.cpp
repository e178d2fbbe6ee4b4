#include "ui/ExportDlg.h"

#include "base/Random.h"
#include "export/Consumers.h"
#include "export/CryptSchemes.h"
#include "export/HashCache.h"
#include "export/HashOnlyUsers.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "ftp/FtpTexts.h"
#include "ftp/ServerTarget.h" // the secrets typed this session
#include "job/TargetFile.h"
#include "job/TargetKind.h"
#include "persist/PrjLib.h"
#include "persist/ShellLib.h"
#include "sitedb/UserStore.h"
#include "ui/ExportForm.h"
#include "ui/ExportProgress.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/QtUiDispatcher.h"
#include "ui/UiPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace quorvane {

namespace {

// What the kind of the address typed offers: the options it reads, what it warns of, what it
// takes besides its file and whether it writes a file other programs read; and why the target
// cannot be exported to as typed. An address no kind reads offers nothing. A `typed` address is
// taken in as an export will take it: a login in it counts, and one that must not be kept (a
// password in it) is said so while it is typed.
struct TFieldsKind {
    std::vector<TTargetOptionRow> Rows;
    std::optional<TMessage> Caution;
    TTargetExtras Extras;
    bool TakesFile = false;
    bool Local = false; // a file on this computer, or none named yet
    std::optional<TMessage> Problem;
    bool Incomplete = false; // an option it cannot do without is not set

    bool Reads(std::string_view key) const {
        return std::any_of(Rows.begin(), Rows.end(),
                           [&](const TTargetOptionRow& row) { return row.Key == key; });
    }
};

TFieldsKind FieldsKindOf(const std::string& address, const std::string& login = {},
                         bool typed = false) {
    TTarget target;
    target.Url = address;
    target.SetOption("user", login);
    TFieldsKind fields;
    try {
        const ITargetKind& kind = KindOf(target);
        fields = {kind.Options(target),
                  kind.Caution(target),
                  kind.Extras(target),
                  kind.TakesGroupFile(),
                  address.empty() || !kind.LocalFile(target).empty(),
                  kind.Problem(target)};
        if (typed && !address.empty()) SetTargetAddress(target, address, SecureRandom());
        if (!fields.Problem) fields.Problem = KindOf(target).Problem(target);
        fields.Incomplete = !MissingTargetOptions(target).empty(); // a login, say
    } catch (const EQuorvaneError& e) {
        if (!fields.Problem) fields.Problem = e.Message(); // no kind reads it, or it is half typed
    }
    return fields;
}

// The host keys a target trusts, as its option lists them.
QStringList HostKeysOf(const TTarget& target) {
    return QString::fromStdString(target.Option("host-keys"))
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The address as the field shows it: a password an earlier version let it hold is left out
// (left as it is, the address keeps it).
std::string ShownAddress(const std::string& url) {
    return UrlScheme(url).empty() ? url : StoreUrlWithoutPassword(url);
}

// One line on which web servers accept a form (empty for plain text, which has its own note).
QString SchemeGuidance(TPasswordsType type) {
    switch (type) {
    case TPasswordsType::ptMD5:
        return TfrmExportUser::tr("Accepted by every Apache, nginx and lighttpd, but fast to "
                                  "guess from a stolen file: prefer bcrypt.");
    case TPasswordsType::ptBcrypt:
        return TfrmExportUser::tr("Accepted by Apache 2.4 and by nginx on Linux (through the "
                                  "system's crypt); the usual choice today.");
    case TPasswordsType::ptSHA256:
    case TPasswordsType::ptSHA512:
        return TfrmExportUser::tr("Accepted by Apache and nginx on Linux (through the system's "
                                  "crypt), not by Apache on Windows.");
    case TPasswordsType::ptPlainText:
        break;
    }
    return {};
}

// A list of users and what happens to them ("+ ann", "- bob", "~ carl"), one a line, in a
// scrolling box under a heading, the counts below.
void ShowUserChanges(QWidget* parent, const QString& title, const QString& heading,
                     const QString& lines, const QString& footer) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmUserChanges"));
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* top = new QLabel(heading, &dialog);
    top->setTextFormat(Qt::PlainText);
    layout->addWidget(top);
    if (!lines.isEmpty()) {
        auto* list = new QPlainTextEdit(lines, &dialog);
        list->setObjectName(QStringLiteral("edtChanges"));
        list->setReadOnly(true);
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        list->setMinimumSize(QSize(360, 200));
        layout->addWidget(list);
    }
    auto* bottom = new QLabel(footer, &dialog);
    bottom->setObjectName(QStringLiteral("lblCounts"));
    bottom->setTextFormat(Qt::PlainText);
    bottom->setWordWrap(true);
    layout->addWidget(bottom);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    RunModal(dialog);
}

} // namespace

TfrmExportUser::TfrmExportUser(TUserList& list, TExportDialogOptions options, QWidget* parent)
    : QDialog(parent), FList(list), FOptions(std::move(options)),
      FDispatcher(std::make_shared<TQtUiDispatcher>()) {
    setObjectName(QStringLiteral("frmExportUser"));
    setWindowTitle(tr("Export"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    F = std::make_unique<TExportForm>(*this);
    FProgress =
        std::make_unique<TExportProgressView>(*F->lblProgress, *F->lblTransfer, *F->pbrProgress);
    Connect();
    LoadSettings();
}

TfrmExportUser::~TfrmExportUser() {
    // Closed while the upload runs: the worker finishes the upload and the safe rename on its
    // own and deletes the temporary file. While the file is built (only when the dialog is
    // destroyed without being closed, which waits for the job), the build is aborted: nothing
    // is written.
    FJob.reset();
    if (FCursorSet) QApplication::restoreOverrideCursor();
}

void TfrmExportUser::Connect() {
    for (QLineEdit* edit : {F->edtAddress, F->edtTargetLogin, F->edtTargetPassword, F->edtMode,
                            F->edtGroup, F->edtAfter})
        connect(edit, &QLineEdit::textChanged, this, &TfrmExportUser::UpdateControls);
    connect(F->cbxFormat, &QComboBox::currentIndexChanged, this, &TfrmExportUser::FormatChanged);
    connect(F->spnWorkFactor, &QSpinBox::valueChanged, this, &TfrmExportUser::WorkFactorChanged);
    connect(F->cbxSavePassword, &QCheckBox::toggled, this, &TfrmExportUser::UpdateControls);
    connect(F->lstHostKeys, &QListWidget::currentRowChanged, this, &TfrmExportUser::UpdateControls);
    connect(F->btnRemoveHostKey, &QPushButton::clicked, this, [this] {
        delete F->lstHostKeys->takeItem(F->lstHostKeys->currentRow());
        UpdateControls();
    });
    connect(F->lstTargets, &QListWidget::currentRowChanged, this, &TfrmExportUser::TargetChosen);
    connect(F->lstTargets, &QListWidget::itemChanged, this, &TfrmExportUser::UpdateControls);
    connect(F->btnAddTarget, &QPushButton::clicked, this, &TfrmExportUser::AddTarget);
    connect(F->btnRenameTarget, &QPushButton::clicked, this, &TfrmExportUser::RenameTarget);
    connect(F->btnRemoveTarget, &QPushButton::clicked, this, &TfrmExportUser::RemoveTarget);
    connect(F->cbxCheckAfter, &QCheckBox::toggled, this, &TfrmExportUser::UpdateControls);
    connect(F->cbxConsumer, &QComboBox::currentIndexChanged, this,
            &TfrmExportUser::FillTargetForms);
    connect(F->cbxTargetForm, &QComboBox::currentIndexChanged, this,
            &TfrmExportUser::UpdateControls);
    connect(F->btnBrowse, &QToolButton::clicked, this, &TfrmExportUser::Browse);
    connect(F->btnBrowseKeyFile, &QToolButton::clicked, this, &TfrmExportUser::BrowseKeyFile);
    connect(F->btnExport, &QPushButton::clicked, this, &TfrmExportUser::ExportClicked);
    connect(F->btnPreview, &QPushButton::clicked, this, &TfrmExportUser::PreviewClicked);
    connect(F->btnCancel, &QPushButton::clicked, this, &TfrmExportUser::CancelClicked);
}

void TfrmExportUser::LoadSettings() {
    FBcryptCost = FList.BcryptCost;
    FShaRounds = FList.ShaRounds;
    F->cbxFormat->setCurrentIndex(F->cbxFormat->findData(static_cast<int>(FList.PassType)));
    FormatChanged(); // also when the form stays the same: the work factors are the list's
    FTargets = ListTargets(FList);
    FTyped.assign(FTargets.size(), std::string());
    // A password typed earlier in this session for the same server and login, not saved.
    for (std::size_t i = 0; i < FTargets.size(); ++i)
        if (const std::string* kept = Secrets().Find(FTargets[i]);
            kept != nullptr && FTargets[i].FtpPass.empty())
            FTyped[i] = *kept;
    FCurrent = 0;
    FillTargets();
    LoadTarget(FTargets.front());
    FProgress->End();
    UpdateControls();
}

void TfrmExportUser::LoadTarget(const TTargetSettings& target) {
    const auto load = [](QLineEdit* edit, TByteField& field, const std::string& bytes) {
        edit->setText(BytesToText(bytes));
        field = TByteField(bytes, edit->text());
    };
    const TTarget value = TargetOf(target);
    F->edtAddress->setText(BytesToText(ShownAddress(value.Url)));
    F->edtAddress->setCursorPosition(0); // a long address shows its start
    FAddress = TByteField(value.Url, F->edtAddress->text());
    load(F->edtKeyFile, FKeyFile, value.Option("key-file"));
    load(F->edtCaFile, FCaFile, value.Option("ca-file"));
    load(F->edtTargetLogin, FLogin, value.Option("user"));
    load(F->edtTargetPassword, FSecret, value.Option("password"));
    // A password typed for this target earlier in the dialog and not saved.
    const std::string& typed = FTyped[static_cast<std::size_t>(FCurrent)];
    if (value.Option("password").empty() && !typed.empty())
        F->edtTargetPassword->setText(BytesToText(typed));
    // Nothing that logs in set up yet: its password is not saved unless the user asks for it.
    FNewLogin = value.Option("user").empty() && value.Option("password").empty() &&
                !FieldsKindOf(value.Url).Reads("user");
    F->cbxSavePassword->setChecked(FNewLogin ? false : value.Option("keep-password") != "no");
    F->cbxPassiveMode->setChecked(value.Option("passive") != "no");
    F->lstHostKeys->clear();
    for (const QString& key : HostKeysOf(value)) {
        auto* item = new QListWidgetItem(key, F->lstHostKeys);
        item->setToolTip(item->text());
    }
    load(F->edtCheckUrl, FCheckUrl, target.CheckUrl);
    load(F->edtCheckUser, FCheckUser, target.CheckUser);
    F->cbxCheckAfter->setChecked(!target.CheckUrl.empty());
    // What reads its file, in which form; the file's mode and group, the command after.
    const std::string& consumer = value.Option(targetopt::Consumer);
    F->cbxConsumer->setCurrentIndex(std::max(
        F->cbxConsumer->findData(QString::fromStdString(consumer.empty() ? "htpasswd" : consumer)),
        0));
    FillTargetForms();
    F->cbxTargetForm->setCurrentIndex(std::max(
        F->cbxTargetForm->findData(QString::fromStdString(value.Option(targetopt::Format))), 0));
    F->edtRealm->setText(BytesToText(value.Option(targetopt::Realm)));
    F->edtMode->setText(BytesToText(value.Option(targetopt::Mode)));
    F->edtGroup->setText(BytesToText(value.Option(targetopt::Group)));
    F->edtAfter->setText(BytesToText(value.Option(targetopt::After)));
}

void TfrmExportUser::FillTargetForms() {
    const QSignalBlocker block(F->cbxTargetForm);
    const QString chosen = F->cbxTargetForm->currentData().toString();
    F->cbxTargetForm->clear();
    const TConsumer* consumer =
        ConsumerByName(F->cbxConsumer->currentData().toString().toStdString());
    if (consumer == nullptr) consumer = &HtpasswdConsumer();
    // The program's own form (for the web servers, the one chosen above) unless another is.
    F->cbxTargetForm->addItem(tr("Its default"), QString());
    for (const THashScheme* form : consumer->AcceptedForms())
        F->cbxTargetForm->addItem(
            MessageText(form->DisplayMessage()),
            QString::fromUtf8(form->CliName.data(), static_cast<int>(form->CliName.size())));
    F->cbxTargetForm->setCurrentIndex(std::max(F->cbxTargetForm->findData(chosen), 0));
    UpdateControls();
}

void TfrmExportUser::SaveSettings() {
    const TPasswordsType passType = GetPassType();
    StoreSchemeChoice(FList, passType,
                      passType == TPasswordsType::ptBcrypt ? FBcryptCost : FShaRounds);
    EnsureHashCacheKey(FList); // a slow form keeps its hashes for the next export
    FTyped[static_cast<std::size_t>(FCurrent)] = FSecret.Read(F->edtTargetPassword->text());
    StoreTarget(CurrentTarget());
    for (std::size_t i = 0; i < FTargets.size(); ++i)
        FTargets[i].Enabled = TargetTicked(static_cast<int>(i));
    // Two targets on one place, a password in a store's address, a program or mode a target
    // cannot take: refused before it is kept.
    CheckTargetChange(ListTargets(FList), FTargets);
    for (const TTargetSettings& target : FTargets)
        TargetFileOf(FList, TargetOf(target));
    SetTargets(FList, FTargets);
}

void TfrmExportUser::StoreTarget(TTargetSettings& target) {
    TTarget value = TargetOf(target);
    // The login first: an address that holds one ("sftp://web@host/x") gives its own.
    value.SetOption("user", FLogin.Read(F->edtTargetLogin->text()));
    if (const std::string address = FAddress.Read(F->edtAddress->text()); address != value.Url) {
        // The kind of the new address takes it in: it keeps what it reads of the target, and
        // the earlier address stays with the target under its own kind's name.
        const std::string scheme = UrlScheme(value.Url);
        SetTargetAddress(value, address, SecureRandom());
        if (UrlScheme(value.Url) != scheme) {
            // The keys trusted are those the target keeps for its new address, if any.
            F->lstHostKeys->clear();
            F->lstHostKeys->addItems(HostKeysOf(value));
        }
    }
    const TFieldsKind kind = FieldsKindOf(value.Url);
    const bool save = F->cbxSavePassword->isChecked();
    value.SetOption("password", save ? FSecret.Read(F->edtTargetPassword->text()) : std::string());
    // While no login is set up the database keeps what it said.
    const bool noLogin =
        F->edtTargetLogin->text().isEmpty() && F->edtTargetPassword->text().isEmpty();
    if (!(FNewLogin && noLogin)) value.SetOption("keep-password", save ? "" : "no");
    value.SetOption("passive", F->cbxPassiveMode->isChecked() ? "" : "no");
    // A key file where the kind takes none is forgotten; certificates are kept for later.
    value.SetOption("key-file", kind.Reads("key-file") ? FKeyFile.Read(F->edtKeyFile->text()) : "");
    if (kind.Reads("ca-file")) value.SetOption("ca-file", FCaFile.Read(F->edtCaFile->text()));
    if (kind.Reads("host-keys")) {
        // The keys still listed: those removed here are no longer trusted.
        std::string keys;
        for (int i = 0; i < F->lstHostKeys->count(); ++i)
            keys += (keys.empty() ? "" : " ") + F->lstHostKeys->item(i)->text().toStdString();
        value.SetOption("host-keys", keys);
    }
    const bool check = F->cbxCheckAfter->isChecked();
    value.SetOption("check-url", check ? FCheckUrl.Read(F->edtCheckUrl->text()) : std::string());
    value.SetOption("check-user", check ? FCheckUser.Read(F->edtCheckUser->text()) : std::string());
    const std::string consumer = F->cbxConsumer->currentData().toString().toStdString();
    // The web servers' file is what a target without a program gets: nothing stored for it.
    value.SetOption(targetopt::Consumer, consumer == "htpasswd" ? std::string() : consumer);
    value.SetOption(targetopt::Format, F->cbxTargetForm->currentData().toString().toStdString());
    value.SetOption(targetopt::Realm,
                    F->edtRealm->isEnabled() ? TextToBytes(F->edtRealm->text()) : std::string());
    value.SetOption(targetopt::Mode, TextToBytes(F->edtMode->text().trimmed()));
    value.SetOption(targetopt::Group, TextToBytes(F->edtGroup->text().trimmed()));
    value.SetOption(targetopt::After, TextToBytes(F->edtAfter->text()));
    target = SettingsOf(value);
}

void TfrmExportUser::Trust(int index, const std::function<void(TTarget&)>& change) {
    TTargetSettings& here = FTargets[static_cast<std::size_t>(index)];
    TTarget value = TargetOf(here);
    change(value);
    here = SettingsOf(value);
    const int stored = FindTarget(FList, here.Name);
    if (stored >= 0) change(FList.Targets[static_cast<std::size_t>(stored)]);
}

TTargetSettings& TfrmExportUser::CurrentTarget() {
    return FTargets[static_cast<std::size_t>(FCurrent)];
}

std::string TfrmExportUser::TargetNameOf(int index) const {
    return FTargets[static_cast<std::size_t>(index)].Name;
}

TTargetSettings TfrmExportUser::TargetAt(int index) const {
    return FTargets[static_cast<std::size_t>(index)];
}

bool TfrmExportUser::TargetTicked(int index) const {
    const QListWidgetItem* item = F->lstTargets->item(index);
    return item != nullptr && item->checkState() == Qt::Checked;
}

void TfrmExportUser::FillTargets() {
    std::vector<bool> ticked;
    for (int i = 0; i < TargetCount(); ++i)
        ticked.push_back(i < F->lstTargets->count()
                             ? TargetTicked(i)
                             : FTargets[static_cast<std::size_t>(i)].Enabled);
    const QSignalBlocker quiet(F->lstTargets);
    F->lstTargets->clear();
    for (int i = 0; i < TargetCount(); ++i) {
        const TTargetSettings target = TargetAt(i);
        const std::string where = TargetWhere(target);
        auto* item = new QListWidgetItem(
            where.empty() ? BytesToText(target.Name)
                          : tr("%1 (%2)").arg(BytesToText(target.Name), BytesToText(where)),
            F->lstTargets);
        item->setToolTip(item->text());
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(ticked[static_cast<std::size_t>(i)] ? Qt::Checked : Qt::Unchecked);
    }
    F->lstTargets->setCurrentRow(FCurrent);
}

void TfrmExportUser::TargetChosen(int row) {
    if (row < 0 || row == FCurrent || row >= TargetCount()) return;
    FTyped[static_cast<std::size_t>(FCurrent)] = FSecret.Read(F->edtTargetPassword->text());
    // An address no kind takes keeps the target chosen, to be put right.
    if (!Guarded(this, [this] { StoreTarget(CurrentTarget()); })) {
        const QSignalBlocker quiet(F->lstTargets);
        F->lstTargets->setCurrentRow(FCurrent);
        return;
    }
    FCurrent = row;
    LoadTarget(CurrentTarget());
    FillTargets(); // what the one left now says of where it writes
    UpdateControls();
}

std::optional<std::string> TfrmExportUser::AskTargetName(const QString& title,
                                                         const std::string& name) {
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgTargetName"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(tr("Name of the target:"));
    dialog.setTextValue(BytesToText(name));
    if (RunModal(dialog) != QDialog::Accepted) return std::nullopt;
    const std::string chosen = dialog.textValue().trimmed().toStdString();
    if (chosen.empty() || chosen == name) return std::nullopt;
    for (int i = 0; i < TargetCount(); ++i)
        if (TargetNameOf(i) == chosen) {
            ShowMessageBox(
                this, QMessageBox::Warning, tr("Warning"),
                tr("There is a target named %1 already.").arg(QString::fromStdString(chosen)),
                QMessageBox::Ok);
            return std::nullopt;
        }
    return chosen;
}

void TfrmExportUser::AddTarget() {
    const std::optional<std::string> name = AskTargetName(tr("Add Target"), {});
    if (!name) return;
    TTargetSettings target;
    target.Name = *name;
    FTargets.push_back(target);
    FTyped.emplace_back();
    FillTargets();
    F->lstTargets->setCurrentRow(TargetCount() - 1); // the new one's fields, to be filled in
    FocusTarget();
}

void TfrmExportUser::RenameTarget() {
    const std::optional<std::string> name =
        AskTargetName(tr("Rename Target"), TargetNameOf(FCurrent));
    if (!name) return;
    FTargets[static_cast<std::size_t>(FCurrent)].Name = *name;
    FillTargets();
}

void TfrmExportUser::RemoveTarget() {
    if (TargetCount() < 2) return; // a database keeps one target at least
    const int removed = FCurrent;
    FTargets.erase(FTargets.begin() + removed);
    FTyped.erase(FTyped.begin() + removed);
    // The one before it, or the one that is the first now.
    FCurrent = std::max(0, removed - 1);
    LoadTarget(CurrentTarget());
    delete F->lstTargets->takeItem(removed); // the others keep their ticks
    FillTargets();
    UpdateControls();
}

std::string TfrmExportUser::SecretOf(int index) const {
    if (index == FCurrent) return FSecret.Read(F->edtTargetPassword->text());
    const std::string& typed = FTyped[static_cast<std::size_t>(index)];
    if (!typed.empty()) return typed;
    return FTargets[static_cast<std::size_t>(index)].FtpPass;
}

TSessionSecrets& TfrmExportUser::Secrets() const {
    return FOptions.Secrets != nullptr ? *FOptions.Secrets : ProgramSecrets();
}

bool TfrmExportUser::AskMissingSecrets(const std::vector<int>& indices) {
    for (const int index : indices) {
        const TTargetSettings& target = FTargets[static_cast<std::size_t>(index)];
        const TTargetSecret wanted = TargetSecretOf(TargetOf(target));
        std::string secret = SecretOf(index);
        if (secret.empty() && wanted.Ask != TTargetSecret::TAsk::None) {
            const QString question =
                wanted.Ask == TTargetSecret::TAsk::Passphrase
                    ? tr("Passphrase of the key file %1").arg(BytesToText(wanted.KeyFile))
                    : tr("Password for %1 on %2")
                          .arg(BytesToText(wanted.Login), BytesToText(wanted.Host));
            TQtSecretPrompt box(this);
            ISecretPrompt& prompt = FOptions.SecretPrompt != nullptr ? *FOptions.SecretPrompt : box;
            QString answer;
            if (!prompt.AskSecret(question, answer)) return false;
            secret = TextToBytes(answer);
            FTyped[static_cast<std::size_t>(index)] = secret;
            if (index == FCurrent) {
                F->edtTargetPassword->setText(answer);
                FTyped[static_cast<std::size_t>(index)] = FSecret.Read(answer);
            }
        }
        // Kept for the session unless the database keeps it.
        if (wanted.Stored.empty()) Secrets().Keep(target, secret);
    }
    return true;
}

void TfrmExportUser::ForgetRefusedSecrets(const TExportResult& result) {
    for (const int index : FExporting) {
        const TTargetSettings& target = FTargets[static_cast<std::size_t>(index)];
        bool refused = result.Outcomes.empty() && result.Error.Is(texts::LoginFailed);
        for (const TTargetOutcome& outcome : result.Outcomes)
            refused =
                refused || (outcome.Name == target.Name && outcome.Error.Is(texts::LoginFailed));
        if (refused) Secrets().Forget(target);
    }
}

TPasswordsType TfrmExportUser::GetPassType() const {
    return static_cast<TPasswordsType>(F->cbxFormat->currentData().toInt());
}

void TfrmExportUser::UpdateControls() {
    // The rows are those the address's kind reads; what a target takes besides its file (a
    // mode, a group) is what its kind takes.
    const std::string address = FAddress.Read(F->edtAddress->text());
    const TFieldsKind kind =
        FieldsKindOf(address, FLogin.Read(F->edtTargetLogin->text()),
                     FCurrent >= TargetCount() || address != TargetOf(CurrentTarget()).Url);
    bool canExport = !F->edtAddress->text().isEmpty() && !kind.Problem && !kind.Incomplete;
    bool anyTicked = false;
    for (int i = 0; i < TargetCount(); ++i)
        anyTicked = anyTicked || TargetTicked(i);
    if (FBusy || !anyTicked) canExport = false;
    F->lstTargets->setEnabled(!FBusy);
    F->btnAddTarget->setEnabled(!FBusy);
    F->btnRenameTarget->setEnabled(!FBusy);
    F->btnRemoveTarget->setEnabled(!FBusy && TargetCount() > 1);
    F->edtCheckUrl->setEnabled(F->cbxCheckAfter->isChecked());
    F->edtCheckUser->setEnabled(F->cbxCheckAfter->isChecked());
    F->btnExport->setEnabled(canExport);
    F->btnExport->setDefault(canExport);
    F->btnPreview->setEnabled(canExport);
    F->btnBrowse->setEnabled(!FBusy && kind.Local);
    for (QWidget* w : std::initializer_list<QWidget*>{F->edtTargetLogin, F->cbxSavePassword})
        w->setEnabled(kind.Reads("user"));
    F->edtTargetPassword->setEnabled(kind.Reads("password"));
    const bool keyFile = kind.Reads("key-file"), caFile = kind.Reads("ca-file");
    F->lblKeyFile->setVisible(keyFile);
    F->edtKeyFile->setVisible(keyFile);
    F->lblCaFile->setVisible(caFile);
    F->edtCaFile->setVisible(caFile);
    F->lblSavedPasswordHint->setVisible(F->cbxSavePassword->isChecked() && kind.Reads("password"));
    for (QWidget* w :
         std::initializer_list<QWidget*>{F->lblHostKeys, F->lstHostKeys, F->btnRemoveHostKey})
        w->setVisible(kind.Reads("host-keys") && F->lstHostKeys->count() > 0);
    F->btnRemoveHostKey->setEnabled(F->lstHostKeys->currentRow() >= 0);
    F->cbxPassiveMode->setEnabled(kind.Reads("passive"));
    // Why the address cannot be exported to, else what its kind cautions of.
    const std::optional<TMessage>& word = F->edtAddress->text().isEmpty() ? std::nullopt
                                          : kind.Problem                  ? kind.Problem
                                                                          : kind.Caution;
    F->lblAddressHint->setText(word ? MessageText(*word) : QString());
    F->lblAddressHint->setVisible(word.has_value());
    // What reads the file: only a kind that writes one other programs read.
    F->cbxConsumer->setEnabled(kind.TakesFile);
    // One the kind does not take (a mode, a group, a command after the export) stays open while
    // it holds a value: the export names it and the user takes it away.
    F->edtMode->setEnabled(kind.Extras.Mode || !F->edtMode->text().isEmpty());
    F->edtGroup->setEnabled(kind.Extras.Group || !F->edtGroup->text().isEmpty());
    F->edtAfter->setEnabled(kind.Extras.Command || !F->edtAfter->text().isEmpty());
    const THashScheme* form =
        FormByCliName(F->cbxTargetForm->currentData().toString().toStdString());
    const TConsumer* consumer =
        ConsumerByName(F->cbxConsumer->currentData().toString().toStdString());
    if (form == nullptr && consumer != nullptr && consumer != &HtpasswdConsumer())
        form = &consumer->DefaultForm(FList);
    F->edtRealm->setEnabled(kind.TakesFile && form != nullptr && form->NeedsRealm);
    F->btnBrowseKeyFile->setVisible(keyFile || caFile);
    // A caption is greyed with its field, and Alt with its letter passes it by.
    for (QLabel* caption : findChildren<QLabel*>())
        if (caption->buddy() != nullptr) caption->setEnabled(caption->buddy()->isEnabled());
}

void TfrmExportUser::FocusTarget() {
    // The address while it is still to be given; then, where the kind logs in, the password
    // when it is not stored (it has to be typed). A name typed at once lands there.
    const TFieldsKind kind = FieldsKindOf(FAddress.Read(F->edtAddress->text()));
    if (!F->edtAddress->text().isEmpty() && kind.Reads("password") &&
        !F->cbxSavePassword->isChecked())
        F->edtTargetPassword->setFocus();
    else
        F->edtAddress->setFocus();
}

int TfrmExportUser::UsersToHash() const {
    int count = 0;
    for (int i = 0; i < FList.Count(); ++i) {
        const TUserProp& user = FList.Users(i);
        if (!user.Disable && !user.HashOnly()) ++count; // a stored hash goes out as it is
    }
    return count;
}

void TfrmExportUser::FormatChanged() {
    const TPasswordsType type = GetPassType();
    const THashScheme& scheme = SchemeOf(type);
    F->lblPlainTextNote->setVisible(scheme.StoresClearText());
    F->lblSchemeHint->setText(SchemeGuidance(type));
    F->lblSchemeHint->setVisible(!scheme.StoresClearText());
    const bool slow = IsSlowPassType(type);
    F->lblWorkFactor->setVisible(slow);
    F->spnWorkFactor->setVisible(slow);
    F->lblEstimate->setVisible(slow);
    if (!slow) return;
    const bool bcrypt = type == TPasswordsType::ptBcrypt;
    F->lblWorkFactor->setText(bcrypt ? tr("&Cost") : tr("Ro&unds"));
    const QSignalBlocker quiet(F->spnWorkFactor); // the value is the form's, not a new choice
    F->spnWorkFactor->setRange(scheme.Param->Min, scheme.Param->Max);
    F->spnWorkFactor->setValue(bcrypt ? FBcryptCost : FShaRounds);
    UpdateEstimate();
}

void TfrmExportUser::WorkFactorChanged(int value) {
    (GetPassType() == TPasswordsType::ptBcrypt ? FBcryptCost : FShaRounds) = value;
    UpdateEstimate();
}

void TfrmExportUser::UpdateEstimate() {
    const TPasswordsType type = GetPassType();
    if (!IsSlowPassType(type)) {
        F->lblEstimate->clear();
        return;
    }
    const TCryptKind kind = type == TPasswordsType::ptBcrypt   ? TCryptKind::Bcrypt
                            : type == TPasswordsType::ptSHA256 ? TCryptKind::Sha256
                                                               : TCryptKind::Sha512;
    // Measured once per form and process from a few hashes at the cheapest work factor (a few
    // milliseconds), then scaled: quick enough for the interface thread.
    const double seconds = CryptSecondsPerHash(kind, F->spnWorkFactor->value());
    const unsigned workers =
        FOptions.HashThreads != 0 ? FOptions.HashThreads : std::max(1, QThread::idealThreadCount());
    F->lblEstimate->setText(tr("Export: %1.\nServer: %2.")
                                .arg(MessageText(ExportEstimateMessage(
                                         seconds, static_cast<size_t>(UsersToHash()), workers)),
                                     MessageText(ServerCostMessage(seconds))));
}

bool TfrmExportUser::event(QEvent* event) {
    const bool result = QDialog::event(event);
    // The first activation after the dialog is shown (switching between programs later does
    // not move the focus).
    if (event->type() == QEvent::WindowActivate && !FActivated) {
        FActivated = true;
        FocusTarget();
    } else if (event->type() == QEvent::Hide) {
        FActivated = false;
    }
    return result;
}

void TfrmExportUser::Browse() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(tr("All Files (*)"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false); // ask before overwriting
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setSizeGripEnabled(true);
    const QString typed = F->edtAddress->text();
    if (!typed.trimmed().isEmpty()) {
        // As typed, blanks included.
        const QFileInfo info(typed);
        if (!info.path().isEmpty() && info.path() != QStringLiteral("."))
            dialog.setDirectory(info.path());
        dialog.selectFile(typed);
    } else {
        // The folder of the file dialogs' last use, else the documents folder.
        QString folder = ExistingFolder(LastFolder());
        if (folder.isEmpty()) folder = GetPersonalFolder();
        if (!folder.isEmpty()) dialog.setDirectory(folder);
        dialog.selectFile(QStringLiteral("htpasswd"));
    }
    if (RunModal(dialog) != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return;
    RememberFolderOf(files.front());
    // A path that reads like an address is written as a file's address.
    F->edtAddress->setText(BytesToText(
        FileUrl(TextToBytes(QDir::toNativeSeparators(files.front()))))); // runs UpdateControls
}

void TfrmExportUser::BrowseKeyFile() {
    const bool keyFile = FieldsKindOf(FAddress.Read(F->edtAddress->text())).Reads("key-file");
    QLineEdit* edit = keyFile ? F->edtKeyFile : F->edtCaFile;
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenKeyDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(tr("All Files (*)"));
    // Keys live in a hidden folder, ~/.ssh, and are hidden-looking files themselves at times.
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    const QString typed = edit->text().trimmed();
    if (!typed.isEmpty()) {
        const QFileInfo info(typed);
        if (!info.path().isEmpty() && info.path() != QStringLiteral("."))
            dialog.setDirectory(info.path());
        dialog.selectFile(typed);
    } else if (const QString ssh = QDir::home().filePath(QStringLiteral(".ssh"));
               keyFile && QFileInfo(ssh).isDir()) {
        dialog.setDirectory(ssh);
    } else if (const QString folder = ExistingFolder(LastFolder()); !folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    if (RunModal(dialog) != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return;
    edit->setText(QDir::toNativeSeparators(files.front()));
}

void TfrmExportUser::BeginExport() {
    SaveSettings();
    FOutcome.Attempted = true;
    FOutcome.Aborted = false;
    FErrorShown = false;
    FBusy = true;
    FCancelRequested = false;
    if (!FCursorSet) {
        QApplication::setOverrideCursor(Qt::BusyCursor); // arrow with the busy sign
        FCursorSet = true;
    }
    FProgress->Begin();
    UpdateControls();
}

void TfrmExportUser::EndExport() {
    if (FCursorSet) {
        QApplication::restoreOverrideCursor();
        FCursorSet = false;
    }
    FBusy = false;
    FProgress->End();
    UpdateControls();
}

void TfrmExportUser::ExportClicked() {
    // Enter on a disabled default button, or a second click while busy, starts nothing.
    if (FBusy || !F->btnExport->isEnabled()) return;
    FInExportClick = true;
    Guarded(this, [this] {
        BeginExport();
        try {
            StartExport();
        } catch (...) {
            FJob.reset(); // a worker that never started removes its temporary file
            EndExport();  // idle again before the error is shown; the dialog stays open
            throw;
        }
    });
    FInExportClick = false;
    // A close asked for while the file was built is decided now that the handler is done.
    if (FModalResult != kNoResult) CheckModalResult();
}

void TfrmExportUser::StartExport() {
    TExportSettings settings;
    settings.PassType = GetPassType();
    settings.Build.Random = FOptions.Random;
    settings.Build.Threads = FOptions.HashThreads;
    settings.DatabasePath = FOptions.DatabasePath;
    std::vector<TTargetSettings> chosen;
    std::vector<int> indices;
    for (int i = 0; i < TargetCount(); ++i)
        if (TargetTicked(i)) {
            chosen.push_back(TargetAt(i));
            indices.push_back(i);
        }
    // Typed, stored or not, or asked for now; with a key file it unlocks the key.
    if (!AskMissingSecrets(indices)) throw ECancelled{};
    FExporting = indices;
    for (std::size_t k = 0; k < chosen.size(); ++k)
        settings.Targets.push_back({chosen[k], SecretOf(indices[k])});
    settings.PerTarget = ReportedPerTarget(FList, chosen);
    settings.Timeout = FOptions.Timeout;
    settings.OnUnknownHostKey = [this](const std::string& target, const std::string& server,
                                       const std::string& fingerprint) {
        return AcceptHostKey(target, server, fingerprint);
    };
    settings.Replace.DryRun = FDryRun;
    settings.Replace.AcceptedSha256 = std::exchange(FAcceptedSha256, std::string());
    // One target on a server: the dialog says where the file went once it is there.
    FToServer =
        settings.Targets.size() == 1 && KindOf(settings.Targets.front().Target).UploadsLocalCopy();
    FJob = std::make_unique<TExportJob>(FList, std::move(settings), FDispatcher);
    // Everything after the checks runs on the job's threads; its events and its end come here
    // through the dispatcher, served by this window's event loop.
    FJob->OnEvent = [this](const TExportEvent& event) { FProgress->Show(event); };
    FJob->OnError = [this](const TMessage& message) { UploadError(message); };
    FJob->OnDone = [this](const TExportResult& result) { ExportDone(result); };
    // The build reads the list from its thread until OnDone. This dialog is modal, so the window
    // changes no user meanwhile, and the idle lock and the check for a changed file wait for
    // modal dialogs; what the dialog itself changes in the list (a trusted host key, a merge)
    // comes after the build.
    try {
        FJob->StartAsync();
    } catch (const EEmptyPasswords& e) {
        const QString question = tr("%1. Export anyway?").arg(MessageText(e.Message()));
        if (ShowMessageBox(this, QMessageBox::Warning, tr("Warning"), question,
                           QMessageBox::Yes | QMessageBox::No,
                           QMessageBox::No) != QMessageBox::Yes) {
            FJob.reset();
            EndExport(); // the user declined: nothing written, the dialog stays open
            return;
        }
        FJob->Settings().Build.AllowEmptyPasswords = true;
        FJob->StartAsync();
    }
}

void TfrmExportUser::PreviewClicked() {
    if (FBusy || !F->btnPreview->isEnabled()) return;
    FDryRun = true;
    ExportClicked();
    FDryRun = false;
}

void TfrmExportUser::ExportDone(const TExportResult& result) {
    ForgetRefusedSecrets(result);
    // The job's thread waits for this handler; the job is destroyed once it has returned.
    const std::unique_ptr<TExportJob> finished = std::move(FJob);
    const bool server = std::exchange(FToServer, false);
    const bool uploadAborted = std::exchange(FUploadAborted, false);
    if (FCancelRequested && (result.DryRun || result.Stopped)) {
        // Nothing was replaced, and the user asked to leave: nothing more to show.
        EndExport();
        SetModalResult(QDialog::Rejected);
        return;
    }
    if (result.DryRun && !result.Outcomes.empty()) {
        // A preview of several targets: nothing was replaced anywhere.
        EndExport();
        ShowSeveralChecks(result);
        return;
    }
    if ((result.DryRun || result.Stopped) && result.Check) {
        // Nothing was replaced: the dialog stays open with what was found.
        EndExport();
        ShowCheck(result);
        return;
    }
    if (result.Done) {
        FOutcome.ResultText = MessageText(ExportResultMessage(result));
        FOutcome.WeakUsers = result.WeakUsers;
    }
    ShowWriteWarnings(this, result.Warnings);  // written, but not all of the old file was kept
    ShowWriteWarnings(this, result.Namesakes); // written, without users a server would tell apart
    if (result.Aborted) {
        // Only the user's Cancel aborts: the dialog closes as they asked, now that nothing runs.
        EndExport();
        FUploadError.clear();
        if (uploadAborted) {
            // Only now is it certain: the transfer has stopped and the target was never touched.
            FOutcome.ResultText = MessageText(ExportAbortedMessage());
            ShowMessageBox(this, QMessageBox::Information, tr("Export"), FOutcome.ResultText,
                           QMessageBox::Ok);
        }
        SetModalResult(QDialog::Rejected);
        return;
    }
    if (result.Done && server && result.Outcomes.empty()) {
        const TTarget exported = TargetOf(TargetAt(FExporting.front()));
        FOutcome.Confirmation =
            tr("The password file %1 is on the server %2 now.")
                .arg(BytesToText(result.Target), BytesToText(KindOf(exported).Reached(exported)));
    }
    if (!result.Outcomes.empty()) {
        EndExport();
        ShowOutcomes(result);
        return;
    }
    if (!FErrorShown) SetModalResult(QDialog::Accepted);
    EndExport();
    const QString error = std::exchange(FUploadError, QString());
    const auto& identity = result.Identity;
    if (FErrorShown && !identity.Changed && !identity.PublicKeyPin.empty()) {
        // A certificate that no authority vouches for (a self-signed one): one question, with
        // the reason and the key, which (once the user has checked it) identifies the server
        // from now on.
        if (AskTrustTlsKey(error, QString::fromStdString(identity.PublicKeyPin))) {
            Trust(FExporting.front(),
                  [&](TTarget& trusted) { trusted.SetOption("tls-pin", identity.PublicKeyPin); });
            QMetaObject::invokeMethod(this, &TfrmExportUser::ExportClicked, Qt::QueuedConnection);
        }
        FocusTarget();
        return;
    }
    if (!error.isEmpty()) {
        // A local file or a store fails as any command does; a server's failure is a warning
        // about the server.
        if (server)
            ShowMessageBox(this, QMessageBox::Warning, tr("Warning"), error, QMessageBox::Ok);
        else
            ShowErrorMessage(this, ErrorMessageText(error));
        FocusTarget();
    }
}

void TfrmExportUser::ShowCheck(const TExportResult& result) {
    const TTargetCheck check = *result.Check;
    if (result.Stopped) {
        QMetaObject::invokeMethod(
            this, [this, check] { TargetChanged(check); }, Qt::QueuedConnection);
        return;
    }
    const QString target = BytesToText(check.Target);
    ShowUserChanges(this, tr("Preview Changes"),
                    check.Preview.Empty() ? tr("An export changes no user in %1.").arg(target)
                                          : tr("An export makes these changes to %1:").arg(target),
                    ChangeLines(check.Preview), CheckFooter(check));
}

QString TfrmExportUser::ChangeLines(const TUserChanges& changes) {
    QString lines;
    for (const TUserChange& change : changes.List)
        lines += QStringLiteral("%1 %2\n").arg(
            change.Kind == TUserChangeKind::Added     ? QStringLiteral("+")
            : change.Kind == TUserChangeKind::Removed ? QStringLiteral("-")
                                                      : QStringLiteral("~"),
            BytesToText(change.Login));
    return lines;
}

QString TfrmExportUser::CheckFooter(const TTargetCheck& check) {
    const TUserChanges& p = check.Preview;
    QString footer = tr("%1 added, %2 removed, %3 with a new hash.")
                         .arg(QLocale().toString(static_cast<qulonglong>(p.Added)),
                              QLocale().toString(static_cast<qulonglong>(p.Removed)),
                              QLocale().toString(static_cast<qulonglong>(p.Changed)));
    if (check.Stops)
        footer += QStringLiteral("\n") +
                  tr("The file there changed since this database last wrote it: an export "
                     "will ask before it replaces it.");
    return footer;
}

void TfrmExportUser::ShowSeveralChecks(const TExportResult& result) {
    // Each target as the command line's --dry-run shows it: its name and where it writes, then
    // its changes and counts; a target that could not be read says why.
    QString lines;
    for (const TTargetOutcome& outcome : result.Outcomes) {
        lines += QStringLiteral("== %1 (%2)\n")
                     .arg(BytesToText(outcome.Name), BytesToText(outcome.Where));
        if (!outcome.Check) {
            lines += MessageText(TargetOutcomeMessage(outcome)) + QStringLiteral("\n\n");
            continue;
        }
        const QString changes = ChangeLines(outcome.Check->Preview);
        lines += changes.isEmpty() ? tr("No user changes.") + QStringLiteral("\n") : changes;
        lines += CheckFooter(*outcome.Check) + QStringLiteral("\n\n");
    }
    ShowUserChanges(this, tr("Preview Changes"),
                    tr("An export makes these changes to %1 targets:")
                        .arg(QLocale().toString(static_cast<qulonglong>(result.Outcomes.size()))),
                    lines.trimmed() + QStringLiteral("\n"), QString());
}

void TfrmExportUser::ShowOutcomes(const TExportResult& result) {
    QStringList lines;
    bool checkFailed = false;
    for (const TTargetOutcome& outcome : result.Outcomes) {
        lines << MessageText(TargetOutcomeMessage(outcome));
        checkFailed = checkFailed || !outcome.CheckError.Empty();
    }
    if (result.Done) {
        // Said once the dialog has closed, as for one server.
        FOutcome.Confirmation = lines.join(QLatin1Char('\n'));
        SetModalResult(QDialog::Accepted);
        return;
    }
    QString text = lines.join(QLatin1Char('\n'));
    if (checkFailed)
        text += QStringLiteral("\n\n") +
                tr("A site that does not let its check user in can have its previous password "
                   "file back: File, Restore Previous Password File.");
    ShowMessageBox(this, QMessageBox::Warning, tr("Warning"), text, QMessageBox::Ok);
    FocusTarget();
}

bool TfrmExportUser::AskTrustTlsKey(const QString& reason, const QString& pin) {
    QMessageBox box(QMessageBox::Question, tr("Confirm"),
                    tr("%1\n\nTrust the server whose public key is\n%2\n\nOnly if its "
                       "administrator confirms this key. The export is then tried again.")
                        .arg(reason, pin),
                    QMessageBox::Yes | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("dlgTrustServer"));
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(tr("&Trust"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    const int result = RunModal(box);
    const QMessageBox::StandardButton answer =
        box.clickedButton() != nullptr ? box.standardButton(box.clickedButton())
                                       : static_cast<QMessageBox::StandardButton>(result);
    return answer == QMessageBox::Yes;
}

void TfrmExportUser::TargetChanged(const TTargetCheck& check) {
    using namespace quorvane;
    const QString target = BytesToText(check.Target);
    QString text = check.Recorded ? tr("%1 changed since this database last wrote it:").arg(target)
                                  : tr("%1 holds users this database does not have:").arg(target);
    text += QStringLiteral("\n\n");
    constexpr std::size_t KNamed = 20;
    const auto& list = check.Outside.List;
    for (std::size_t i = 0; i < list.size() && i < KNamed; ++i) {
        const QString login = BytesToText(list[i].Login);
        switch (list[i].Kind) {
        case TUserChangeKind::Added:
            text += tr("+ %1 (added there)").arg(login);
            break;
        case TUserChangeKind::Removed:
            text += tr("- %1 (removed there)").arg(login);
            break;
        case TUserChangeKind::Changed:
            text += tr("~ %1 (password changed there)").arg(login);
            break;
        }
        text += QStringLiteral("\n");
    }
    if (list.size() > KNamed)
        text += tr("... and %1 more")
                    .arg(QLocale().toString(static_cast<qulonglong>(list.size() - KNamed))) +
                QStringLiteral("\n");
    if (check.OtherLines > 0)
        text += tr("(%1 other lines there: comments, blank lines; they do not count)")
                    .arg(QLocale().toString(static_cast<qulonglong>(check.OtherLines))) +
                QStringLiteral("\n");
    text += QStringLiteral("\n") +
            tr("Nothing has been replaced. Merge takes these changes into the database, which is "
               "then saved, and exports; Overwrite replaces the file there (a copy is kept and "
               "can be restored).");
    const QMessageBox::StandardButton answer = ShowMessageBox(
        this, QMessageBox::Warning, tr("Warning"), text,
        QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel,
        {{QMessageBox::Apply, tr("&Merge")}, {QMessageBox::Discard, tr("&Overwrite")}});
    if (answer != QMessageBox::Apply && answer != QMessageBox::Discard) return;
    if (answer == QMessageBox::Apply) {
        Guarded(this, [&] {
            MergeOutsideChanges(FList, check);
            FOutcome.Merged = true;
        });
        if (!FOutcome.Merged) return;
    }
    // Only what was shown may be replaced; a file that changed once more asks again.
    FAcceptedSha256 = check.CurrentSha256;
    ExportClicked();
}

void TfrmExportUser::UploadError(const TMessage& message) {
    // Told once the upload has ended, when it is known whether the server's key can be offered
    // for trust instead.
    FErrorShown = true;
    if (FUploadError.isEmpty()) FUploadError = MessageText(message);
}

bool TfrmExportUser::AcceptHostKey(const std::string& target, const std::string& server,
                                   const std::string& fingerprint) {
    const QMessageBox::StandardButton answer = ShowMessageBox(
        this, QMessageBox::Question, tr("Confirm"),
        tr("The server %1 is not known yet. Its host key has the fingerprint\n%2\n\n"
           "Trust it only if the server's administrator confirms this "
           "fingerprint. Trust this server?")
            .arg(QString::fromStdString(server), QString::fromStdString(fingerprint)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    int index = 0;
    while (index < TargetCount() - 1 && TargetNameOf(index) != target)
        ++index;
    Trust(index, [&](TTarget& trusted) {
        const std::string& keys = trusted.Option("host-keys");
        if ((" " + keys + " ").find(" " + fingerprint + " ") == std::string::npos)
            trusted.SetOption("host-keys", keys.empty() ? fingerprint : keys + " " + fingerprint);
    });
    if (index == FCurrent) F->lstHostKeys->addItem(QString::fromStdString(fingerprint));
    UpdateControls();
    return true;
}

bool TfrmExportUser::ConfirmAbort() {
    if (!FBusy) return true;
    // Asked once: after Yes the dialog closes as soon as the export has stopped.
    if (FCancelRequested) return false;
    const QMessageBox::StandardButton answer = ShowMessageBox(
        this, QMessageBox::Warning, tr("Warning"), tr("Export is not completed. Abort?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes || !FBusy) return !FBusy;
    FCancelRequested = true;
    FOutcome.Aborted = true;
    if (!FJob) return true; // nothing started yet
    // The build stops at its next progress point, the transfer at once; the dialog closes when
    // the job has ended (never while its threads still use the list), and says then what the
    // server holds.
    FUploadAborted = FJob->Uploading();
    FProgress->Say(FJob->Abort() ? tr("Aborting...")
                                 : tr("The new file is already being put in place..."));
    return false;
}

void TfrmExportUser::CancelClicked() {
    if (ConfirmAbort()) SetModalResult(QDialog::Rejected);
}

void TfrmExportUser::reject() {
    CancelClicked();
}

void TfrmExportUser::closeEvent(QCloseEvent* event) {
    // The close box asks for Cancel; the close query decides once the handlers are done.
    event->ignore();
    SetModalResult(QDialog::Rejected);
}

void TfrmExportUser::SetModalResult(int result) {
    FModalResult = result;
    if (FInExportClick || FCheckQueued) return; // decided when the export handler returns
    FCheckQueued = true;
    QMetaObject::invokeMethod(this, &TfrmExportUser::CheckModalResult, Qt::QueuedConnection);
}

void TfrmExportUser::CheckModalResult() {
    FCheckQueued = false;
    if (FModalResult == kNoResult || FInExportClick) return;
    const int result = FModalResult;
    FModalResult = kNoResult; // a refused close leaves the dialog as it was
    if (ConfirmAbort()) QDialog::done(result);
}

TExportDialogOutcome
ShowExportDialog(TUserList& list, QWidget* owner, const std::string& databasePath,
                 const std::function<void(const TExportDialogOutcome&)>& exported) {
    TfrmExportUser dialog(list, {.DatabasePath = databasePath}, owner);
    const int result = RunModal(dialog);
    TExportDialogOutcome outcome = dialog.Outcome();
    if (result != QDialog::Accepted) return outcome;
    dialog.SaveSettings();
    if (outcome.Aborted) return outcome;
    if (exported) exported(outcome);
    // An upload ends with a word on where the file went.
    if (!outcome.Confirmation.isEmpty())
        ShowMessageBox(owner, QMessageBox::Information, TfrmExportUser::tr("Export"),
                       outcome.Confirmation, QMessageBox::Ok);
    // Once the file is out: the users whose stored hash is still weak, by name.
    const std::vector<TMessage> weak = WeakHashMessages(outcome.WeakUsers);
    if (!weak.empty())
        ShowMessageBox(owner, QMessageBox::Warning, TfrmExportUser::tr("Export"),
                       MessageLines(weak), QMessageBox::Ok);
    return outcome;
}

} // namespace quorvane
