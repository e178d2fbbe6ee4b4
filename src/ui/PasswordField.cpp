#include "ui/PasswordField.h"

#include "base/Random.h"
#include "ui/ByteText.h"
#include "ui/ModalRunner.h"
#include "ui/PaintedIcon.h"
#include "ui/SeriesDlg.h"
#include "userdb/GenSeries.h"
#include "userdb/PasswordStrength.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
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

QLabel* BuddyLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
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

TfrmChangePassword::TfrmChangePassword(const std::string& login, QWidget* parent)
    : QDialog(parent), Random(&SecureRandom()), FLogin(login) {
    setObjectName(QStringLiteral("frmChangePassword"));
    setWindowTitle(tr("Change Password"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* intro = new QLabel(tr("A new password for %1.").arg(BytesToText(login)), this);
    intro->setObjectName(QStringLiteral("lblIntro"));
    intro->setTextFormat(Qt::PlainText);
    edtNewPassword = new QLineEdit(this);
    edtNewPassword->setObjectName(QStringLiteral("edtNewPassword"));
    edtNewPassword->setMinimumWidth(fontMetrics().averageCharWidth() * 32);
    AddShowPasswordToggle(*edtNewPassword);
    btnGenerate = new QToolButton(this);
    btnGenerate->setObjectName(QStringLiteral("btnGenerate"));
    btnGenerate->setText(tr("&Generate"));
    btnGenerate->setToolTip(tr("A random password with the settings of the last user series"));
    lblStrength = new QLabel(this);
    lblStrength->setObjectName(QStringLiteral("lblStrength"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOK = buttons->button(QDialogButtonBox::Ok);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(BuddyLabel(tr("&New password"), edtNewPassword, this), 0, 0);
    grid->addWidget(edtNewPassword, 0, 1);
    grid->addWidget(btnGenerate, 0, 2);
    grid->addWidget(lblStrength, 1, 1, 1, 2);
    auto* main = new QVBoxLayout(this);
    main->addWidget(intro);
    main->addLayout(grid);
    main->addWidget(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(edtNewPassword, &QLineEdit::textChanged, this, &TfrmChangePassword::UpdateControls);
    connect(btnGenerate, &QToolButton::clicked, this, &TfrmChangePassword::btnGenerateClick);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateControls();
    edtNewPassword->setFocus();
}

std::string TfrmChangePassword::Password() const {
    return TextToBytes(edtNewPassword->text());
}

void TfrmChangePassword::btnGenerateClick() {
    edtNewPassword->setText(BytesToText(GenerateUserPassword(*Random)));
    SetPasswordShown(*edtNewPassword, true); // a password to hand out is read off the screen
}

void TfrmChangePassword::UpdateControls() {
    const std::string password = Password();
    btnOK->setEnabled(!password.empty());
    lblStrength->setText(PasswordStrengthText(password, FLogin));
}

bool ShowChangePasswordDialog(const std::string& login, std::string& password, QWidget* parent) {
    TfrmChangePassword dialog(login, parent);
    if (RunModal(dialog) != QDialog::Accepted) return false;
    password = dialog.Password();
    return true;
}

} // namespace quorvane
