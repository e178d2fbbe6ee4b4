#pragma once
// The find dialog of the main window: not modal, searches downwards only, with the options
// whole word and match case. Each "Find Next" raises Find.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quorvane {

class TFindDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFindDialog(QWidget* parent = nullptr);

    QString FindText() const;
    bool WholeWord() const;
    bool MatchCase() const;

    // Shows the dialog (or brings it to the front) with the find text selected.
    void Execute();

signals:
    void Find();

private:
    void UpdateButtons();

    QLineEdit* edtFindText;
    QCheckBox* cbxWholeWord;
    QCheckBox* cbxMatchCase;
    QPushButton* btnFindNext;
    QPushButton* btnCancel;
};

} // namespace quorvane
