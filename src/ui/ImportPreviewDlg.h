#pragma once
// The look at a text file before its users are added: the separator its fields are read by,
// and every line that looks wrong (more or fewer fields than the others, a blank in the login,
// a password that is a column name, a login another line has too), to add as they are, to
// skip, or to cancel the import.

#include "userdb/CSVImport.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quorvane {

class TfrmImportPreview : public QDialog {
    Q_OBJECT
public:
    TfrmImportPreview(std::string text, const QString& fileName, QWidget* parent = nullptr);

    TImportSeparator Separator() const;
    void SetSeparator(TImportSeparator separator);
    const TImportAnalysis& Analysis() const { return FAnalysis; }
    // Whether the lines that look wrong are left out (Skip) or added as they are (Add).
    bool SkipProblemLines() const { return FSkip; }

private:
    void Analyse();

    std::string FText;
    TImportAnalysis FAnalysis;
    bool FSkip = false;
    QComboBox* cbxSeparator;
    QLabel* lblSummary;
    QTableWidget* grdLines;
    QPushButton* btnAdd;
    QPushButton* btnSkip;
    QPushButton* btnCancel;
};

// Whether the file needs a look before its users are added: lines that look wrong, or every
// line holding a semicolon while the text rules are used.
bool ImportNeedsPreview(const TImportAnalysis& analysis);

// Shows the preview; false when the import is cancelled. On true, `options` holds the chosen
// separator and the lines to leave out (the header, and the lines that look wrong when the
// user skips them).
bool ShowImportPreview(const std::string& text, const QString& fileName, TImportOptions& options,
                       QWidget* parent);

// The lines to leave out for an import read with `analysis`: the header, and with
// `skipProblems` every line that looks wrong.
std::vector<int> ImportLinesToSkip(const TImportAnalysis& analysis, bool skipProblems);

} // namespace quorvane
