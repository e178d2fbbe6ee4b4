#pragma once
// The about box: the program's icon, name and version, the maker's links, the copyright line and
// the licence.

#include <QDialog>

class QLabel;
class QPushButton;

namespace quorvane {

// The maker's addresses shown by the about box (empty: not shown), and the licence text the
// program is distributed under.
extern const char* const kMakerSiteAddress;
extern const char* const kMakerMailAddress;
extern const char* const kProductName;
QString LicenceText();

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Set by the caller before ShowAbout.
    QString FProductName;
    QString FSiteAddress;
    QString FMailAddress;

    // Writes the three fields into their labels and shows the box modally.
    void ShowAbout();
    // Writes the three fields into their labels (ShowAbout does this first).
    void UpdateLabels();

public slots:
    // Hand the web address, or "mailto:" and the e-mail address, to the desktop.
    void lblSiteClick();
    void lblMailClick();
    // The licence's full text in a small window.
    void lblLicenceClick();

private:
    QLabel* ProductImage;
    QLabel* lblProduct;
    QLabel* lblMail;
    QLabel* lblSite;
    QLabel* lblCopyright;
    QLabel* lblLicence;
    QPushButton* btnClose;
};

// The About command: builds the box with the application's icon and the product's name and
// addresses, shows it and destroys it.
void ShowAboutBox(QWidget* parent);

} // namespace quorvane
