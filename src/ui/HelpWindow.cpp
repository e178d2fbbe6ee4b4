#include "ui/HelpWindow.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace quorvane {

THelpWindow::THelpWindow(const QString& helpFile, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(tr("Quorvane Help"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setModal(false);

    FBrowser = new QTextBrowser(this);
    FBrowser->setObjectName(QStringLiteral("txtHelp"));
    FBrowser->setOpenLinks(false); // the window decides where a link goes
    // The page is written for dark text on white paper, whatever the desktop's colours.
    QPalette paper = FBrowser->palette();
    paper.setColor(QPalette::Base, Qt::white);
    paper.setColor(QPalette::Text, QColor(0x22, 0x22, 0x22));
    FBrowser->setPalette(paper);
    FBrowser->setSource(QUrl::fromLocalFile(helpFile));
    // Anchors of the page move within it; a web or mail address goes to the desktop.
    connect(FBrowser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        const QUrl target = FBrowser->source().resolved(url);
        if (target.isLocalFile())
            FBrowser->setSource(target);
        else
            QDesktopServices::openUrl(target);
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("btnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FBrowser, 1);
    layout->addWidget(buttons);

    // About 50 lines of text, no more than most of the screen.
    const QFontMetrics metrics(FBrowser->font());
    QSize size(metrics.averageCharWidth() * 90, metrics.lineSpacing() * 40);
    if (const QScreen* screen =
            parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
}

} // namespace quorvane
