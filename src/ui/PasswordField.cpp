#include "ui/PasswordField.h"

#include "base/Random.h"
#include "ui/ByteText.h"
#include "ui/EditLib.h"
#include "ui/ModalRunner.h"
#include "ui/PaintedIcon.h"
#include "ui/SeriesDlg.h"
#include "userdb/GenSeries.h"
#include "userdb/PasswordStrength.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvane {

namespace {

void PaintEye(QPainter& painter) {
    painter.setPen(QPen(QColor(90, 90, 90), 1.6));
    painter.setBrush(Qt::NoBrush);
    QPainterPath lids;
    lids.moveTo(2, 12);
    lids.quadTo(12, 2, 22, 12);
    lids.quadTo(12, 22, 2, 12);
    painter.drawPath(lids);
    painter.setBrush(QColor(90, 90, 90));
    painter.drawEllipse(QRectF(8.5, 8.5, 7, 7));
}

void PaintClosedEye(QPainter& painter) {
    PaintEye(painter);
    painter.setPen(QPen(QColor(90, 90, 90), 2.2));
    painter.drawLine(QPointF(4, 20), QPointF(20, 4));
}

} // namespace

void SetPasswordShown(QLineEdit& edit, bool shown) {
    edit.setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    auto* toggle = edit.findChild<QAction*>(QStringLiteral("actShowPassword"));
    if (toggle == nullptr) return;
    const QSignalBlocker quiet(toggle);
    toggle->setChecked(shown);
    toggle->setIcon(PaintedIcon(shown ? PaintClosedEye : PaintEye));
    toggle->setToolTip(shown ? QCoreApplication::translate("PasswordField", "Hide the password")
                             : QCoreApplication::translate("PasswordField", "Show the password"));
}

void AddShowPasswordToggle(QLineEdit& edit) {
    auto* toggle = new QAction(&edit);
    toggle->setObjectName(QStringLiteral("actShowPassword"));
    toggle->setCheckable(true);
    edit.addAction(toggle, QLineEdit::TrailingPosition);
    QLineEdit* box = &edit;
    QObject::connect(toggle, &QAction::toggled, box,
                     [box](bool shown) { SetPasswordShown(*box, shown); });
    SetPasswordShown(edit, false);
}

QString PasswordStrengthText(const std::string& password, const std::string& login) {
    const TStrengthEstimate estimate = EstimatePasswordStrength(password, login);
    const char* level = nullptr;
    switch (estimate.Level) {
    case TPasswordStrength::Empty:
        return QString();
    case TPasswordStrength::VeryWeak:
        level = QT_TRANSLATE_NOOP("PasswordField", "very weak");
        break;
    case TPasswordStrength::Weak:
        level = QT_TRANSLATE_NOOP("PasswordField", "weak");
        break;
    case TPasswordStrength::Fair:
        level = QT_TRANSLATE_NOOP("PasswordField", "fair");
        break;
    case TPasswordStrength::Strong:
        level = QT_TRANSLATE_NOOP("PasswordField", "strong");
        break;
    }
    return QCoreApplication::translate("PasswordField", "Strength: %1 (about %2 bits)")
        .arg(QCoreApplication::translate("PasswordField", level))
        .arg(estimate.Bits);
}

std::string GenerateUserPassword(IRandomSource& random) {
    return GeneratePassword(StoredSeriesOptions(), random);
}

TUserPasswordControls::TUserPasswordControls(QWidget& parent, const char* editName)
    : Edit(new QLineEdit(&parent)), Generate(new QToolButton(&parent)),
      Strength(new QLabel(&parent)) {
    Edit->setObjectName(QLatin1String(editName));
    AddShowPasswordToggle(*Edit);
    Generate->setObjectName(QStringLiteral("btnGenerate"));
    Generate->setText(TfrmChangePassword::tr("&Generate"));
    Generate->setToolTip(
        TfrmChangePassword::tr("A random password with the settings of the last user series"));
    Strength->setObjectName(QStringLiteral("lblStrength"));
}

void TUserPasswordControls::GenerateFrom(IRandomSource& random) {
    FGenerated = BytesToText(GenerateUserPassword(random));
    Edit->setText(FGenerated);
    SetPasswordShown(*Edit, true); // a password to hand out is read off the screen
}

bool TUserPasswordControls::Generated() const {
    return !FGenerated.isEmpty() && Edit->text() == FGenerated;
}

TfrmChangePassword::TfrmChangePassword(const std::string& login, QWidget* parent)
    : QDialog(parent), Random(&SecureRandom()), FLogin(login), FPassword(*this, "edtNewPassword") {
    setObjectName(QStringLiteral("frmChangePassword"));
    setWindowTitle(tr("Change Password"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* intro = new QLabel(tr("A new password for %1.").arg(BytesToText(login)), this);
    intro->setObjectName(QStringLiteral("lblIntro"));
    intro->setTextFormat(Qt::PlainText);
    FPassword.Edit->setMinimumWidth(fontMetrics().averageCharWidth() * 32);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOK = buttons->button(QDialogButtonBox::Ok);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(BuddyLabel(tr("&New password"), FPassword.Edit, this), 0, 0);
    grid->addWidget(FPassword.Edit, 0, 1);
    grid->addWidget(FPassword.Generate, 0, 2);
    grid->addWidget(FPassword.Strength, 1, 1, 1, 2);
    auto* main = new QVBoxLayout(this);
    main->addWidget(intro);
    main->addLayout(grid);
    main->addWidget(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(FPassword.Edit, &QLineEdit::textChanged, this, &TfrmChangePassword::UpdateControls);
    connect(FPassword.Generate, &QToolButton::clicked, this, &TfrmChangePassword::btnGenerateClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateControls();
    FPassword.Edit->setFocus();
}

std::string TfrmChangePassword::Password() const {
    return TextToBytes(FPassword.Edit->text());
}

bool TfrmChangePassword::Generated() const {
    return FPassword.Generated();
}

void TfrmChangePassword::btnGenerateClick() {
    FPassword.GenerateFrom(*Random);
}

void TfrmChangePassword::UpdateControls() {
    const std::string password = Password();
    btnOK->setEnabled(!password.empty());
    FPassword.Strength->setText(PasswordStrengthText(password, FLogin));
}

bool ShowChangePasswordDialog(const std::string& login, std::string& password, QWidget* parent,
                              bool* generated) {
    TfrmChangePassword dialog(login, parent);
    if (RunModal(dialog) != QDialog::Accepted) return false;
    password = dialog.Password();
    if (generated != nullptr) *generated = dialog.Generated();
    return true;
}

void ShowPasswordOnce(const std::string& login, const std::string& password, QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmPasswordOnce"));
    dialog.setWindowTitle(QCoreApplication::translate("PasswordField", "New Password"));
    auto* intro =
        new QLabel(QCoreApplication::translate(
                       "PasswordField", "The new password of %1. The database keeps only its hash: "
                                        "note it or copy it now, it is not shown again.")
                       .arg(BytesToText(login)),
                   &dialog);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    auto* edit = new QLineEdit(BytesToText(password), &dialog);
    edit->setObjectName(QStringLiteral("edtPassword"));
    edit->setReadOnly(true);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 32);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* copy = buttons->addButton(QCoreApplication::translate("PasswordField", "&Copy"),
                                           QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("btnCopy"));
    QObject::connect(copy, &QPushButton::clicked, &dialog, [edit] {
        auto* data = new QMimeData;
        data->setText(edit->text());
        // Clipboard managers that know the hint keep no history of it.
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
        QGuiApplication::clipboard()->setMimeData(data);
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(intro);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    RunModal(dialog);
}

} // namespace quorvane
