#include "ui/About.h"

#include "ui/ModalRunner.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

namespace quorvane {

// Set by whoever builds the program (QUORVANE_SITE_URL, QUORVANE_SUPPORT_MAIL); a build that
// names none shows no links.
const char* const kMakerSiteAddress = QUORVANE_SITE_URL;
const char* const kMakerMailAddress = QUORVANE_SUPPORT_MAIL;
const char* const kProductName = "Quorvane " QUORVANE_VERSION;

QString LicenceText() {
    QFile file(QStringLiteral(":/licence/LICENSE"));
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

QString CopyrightLine(const QString& licence) {
    // The licence's own line, "Copyright (c) 2026 ...", with the sign the screen can show.
    for (const QString& line : licence.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("Copyright"))) continue;
        QString text = line.trimmed();
        text.replace(QLatin1String("(c)"), QStringLiteral("\u00a9"));
        return text;
    }
    return QString();
}

namespace {
QLabel* MakeLink(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

// Blue and underlined; on a dark palette the palette's own link blue, which stays readable.
QString LinkHtml(const QString& text, const QPalette& palette) {
    const bool dark = palette.color(QPalette::Window).lightness() < 128;
    const QString colour = dark ? palette.color(QPalette::Link).name() : QStringLiteral("#0000ff");
    return QStringLiteral("<a href=\"#\" style=\"color:%1; text-decoration:underline\">")
               .arg(colour) +
           text.toHtmlEscaped() + QStringLiteral("</a>");
}
} // namespace

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(tr("About"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    ProductImage = new QLabel(this);
    ProductImage->setObjectName(QStringLiteral("ProductImage"));
    ProductImage->setFixedSize(32, 32);

    lblProduct = new QLabel(this);
    lblProduct->setObjectName(QStringLiteral("lblProduct"));
    QFont productFont(QStringLiteral("Arial"));
    productFont.setPixelSize(24);
    productFont.setUnderline(true);
    lblProduct->setFont(productFont);

    QFont textFont(QStringLiteral("Arial"));
    textFont.setPixelSize(13);
    auto* label2 = new QLabel(tr("Email:"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto* label3 = new QLabel(tr("Web:"), this);
    label3->setObjectName(QStringLiteral("Label3"));
    lblMail = MakeLink("lblMail", this);
    lblSite = MakeLink("lblSite", this);
    for (QLabel* label : {label2, label3, lblMail, lblSite})
        label->setFont(textFont);
    connect(lblMail, &QLabel::linkActivated, this, &TAboutForm::lblMailClick);
    connect(lblSite, &QLabel::linkActivated, this, &TAboutForm::lblSiteClick);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);

    const QString licence = LicenceText();
    lblCopyright = new QLabel(CopyrightLine(licence), this);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    lblCopyright->setFont(textFont);
    lblCopyright->setTextFormat(Qt::PlainText);
    lblLicence = MakeLink("lblLicence", this);
    lblLicence->setFont(textFont);
    lblLicence->setText(
        tr("Free software under the %1.").arg(LinkHtml(tr("MIT License"), palette())));
    connect(lblLicence, &QLabel::linkActivated, this, &TAboutForm::lblLicenceClick);

    btnClose = new QPushButton(tr("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    btnClose->setFixedSize(75, 25);
    // Enter, Escape and a click all close the box.
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* links = new QGridLayout;
    links->addWidget(label2, 0, 0);
    links->addWidget(lblMail, 0, 1);
    links->addWidget(label3, 1, 0);
    links->addWidget(lblSite, 1, 1);
    links->setColumnStretch(1, 1);
    links->setHorizontalSpacing(8);

    auto* text = new QVBoxLayout;
    text->addWidget(lblProduct);
    text->addSpacing(40);
    text->addLayout(links);

    auto* top = new QHBoxLayout;
    top->addWidget(ProductImage, 0, Qt::AlignTop);
    top->addSpacing(20);
    top->addLayout(text, 1);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(18, 16, 18, 12);
    main->addLayout(top);
    main->addSpacing(12);
    main->addWidget(bevel);
    main->addWidget(lblCopyright, 0, Qt::AlignHCenter);
    main->addWidget(lblLicence, 0, Qt::AlignHCenter);
    main->addSpacing(12);
    main->addWidget(btnClose, 0, Qt::AlignHCenter);
    main->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(352);

    btnClose->setFocus();
}

void TAboutForm::UpdateLabels() {
    lblProduct->setText(FProductName);
    lblSite->setText(LinkHtml(FSiteAddress, palette()));
    lblMail->setText(LinkHtml(FMailAddress, palette()));
    // An address that is not known is not shown at all.
    for (QLabel* label : {lblSite, findChild<QLabel*>(QStringLiteral("Label3"))})
        label->setVisible(!FSiteAddress.isEmpty());
    for (QLabel* label : {lblMail, findChild<QLabel*>(QStringLiteral("Label2"))})
        label->setVisible(!FMailAddress.isEmpty());
}

void TAboutForm::lblLicenceClick() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgLicence"));
    dialog.setWindowTitle(tr("MIT License"));
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* text = new QPlainTextEdit(LicenceText(), &dialog);
    text->setObjectName(QStringLiteral("memLicence"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics(text->font());
    text->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('x')) * 82,
                         metrics.lineSpacing() * 16);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(buttons);
    RunModal(dialog);
}

void TAboutForm::ShowAbout() {
    UpdateLabels();
    RunModal(*this);
}

void TAboutForm::lblSiteClick() {
    QDesktopServices::openUrl(QUrl(FSiteAddress));
}

void TAboutForm::lblMailClick() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + FMailAddress));
}

void ShowAboutBox(QWidget* parent) {
    TAboutForm box(parent);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = box.style()->standardIcon(QStyle::SP_MessageBoxInformation);
    box.findChild<QLabel*>(QStringLiteral("ProductImage"))->setPixmap(icon.pixmap(32, 32));
    box.FProductName = QLatin1String(kProductName);
    box.FSiteAddress = QLatin1String(kMakerSiteAddress);
    box.FMailAddress = QLatin1String(kMakerMailAddress);
    box.ShowAbout();
}

} // namespace quorvane
