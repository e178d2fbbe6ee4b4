#include "ui/ImportPreviewDlg.h"

#include "ui/ByteText.h"
#include "ui/ModalRunner.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvane {

namespace {

QString ProblemText(const TImportLineProblem& problem, int usualFields) {
    switch (problem.Problem) {
    case TImportProblem::MoreFields:
        return TfrmImportPreview::tr("More fields than the other lines (%1)").arg(usualFields);
    case TImportProblem::FewerFields:
        return TfrmImportPreview::tr("Fewer fields than the other lines (%1)").arg(usualFields);
    case TImportProblem::BlankInLogin:
        return TfrmImportPreview::tr("The login holds a blank");
    case TImportProblem::ColumnName:
        return TfrmImportPreview::tr("The password is a column name");
    case TImportProblem::DuplicateLogin:
        return TfrmImportPreview::tr("The same login as line %1").arg(problem.OtherLine);
    }
    return {};
}

} // namespace

TfrmImportPreview::TfrmImportPreview(std::string text, const QString& fileName, QWidget* parent)
    : QDialog(parent), FText(std::move(text)) {
    setObjectName(QStringLiteral("frmImportPreview"));
    setWindowTitle(tr("Import Users"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    cbxSeparator = new QComboBox(this);
    cbxSeparator->setObjectName(QStringLiteral("cbxSeparator"));
    cbxSeparator->addItem(tr("Commas or blanks (text rules)"),
                          static_cast<int>(TImportSeparator::TextRules));
    cbxSeparator->addItem(tr("Comma"), static_cast<int>(TImportSeparator::Comma));
    cbxSeparator->addItem(tr("Semicolon"), static_cast<int>(TImportSeparator::Semicolon));
    cbxSeparator->addItem(tr("Tab"), static_cast<int>(TImportSeparator::Tab));
    cbxSeparator->addItem(tr("Blank"), static_cast<int>(TImportSeparator::Blank));
    auto* separatorLabel = new QLabel(tr("Fields &separated by:"), this);
    separatorLabel->setBuddy(cbxSeparator);

    auto* fileLabel = new QLabel(tr("File: %1").arg(fileName), this);
    fileLabel->setObjectName(QStringLiteral("lblFile"));
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);

    grdLines = new QTableWidget(0, 3, this);
    grdLines->setObjectName(QStringLiteral("grdLines"));
    grdLines->setHorizontalHeaderLabels({tr("Line"), tr("What looks wrong"), tr("Text")});
    grdLines->verticalHeader()->hide();
    grdLines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdLines->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdLines->horizontalHeader()->setStretchLastSection(true);
    grdLines->setMinimumSize(fontMetrics().averageCharWidth() * 80, fontMetrics().height() * 12);

    btnAdd = new QPushButton(tr("&Add All"), this);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    btnAdd->setToolTip(tr("Adds every line as it is read"));
    btnSkip = new QPushButton(tr("S&kip These Lines"), this);
    btnSkip->setObjectName(QStringLiteral("btnSkip"));
    btnSkip->setToolTip(tr("Adds the other lines only"));
    btnSkip->setDefault(true);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnSkip, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnAdd, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);

    auto* separatorRow = new QHBoxLayout;
    separatorRow->addWidget(separatorLabel);
    separatorRow->addWidget(cbxSeparator);
    separatorRow->addStretch(1);
    auto* main = new QVBoxLayout(this);
    main->addWidget(fileLabel);
    main->addLayout(separatorRow);
    main->addWidget(lblSummary);
    main->addWidget(grdLines, 1);
    main->addWidget(buttons);

    connect(cbxSeparator, &QComboBox::currentIndexChanged, this, &TfrmImportPreview::Analyse);
    connect(btnAdd, &QPushButton::clicked, this, [this] {
        FSkip = false;
        accept();
    });
    connect(btnSkip, &QPushButton::clicked, this, [this] {
        FSkip = true;
        accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The separator every line holds is offered first.
    SetSeparator(AnalyseImport(FText).Found);
    Analyse();
}

TImportSeparator TfrmImportPreview::Separator() const {
    return static_cast<TImportSeparator>(cbxSeparator->currentData().toInt());
}

void TfrmImportPreview::SetSeparator(TImportSeparator separator) {
    cbxSeparator->setCurrentIndex(cbxSeparator->findData(static_cast<int>(separator)));
}

void TfrmImportPreview::Analyse() {
    FAnalysis = AnalyseImport(FText, Separator());
    const std::vector<std::string> lines = SplitImportLines(FText);
    grdLines->setRowCount(0);
    for (const TImportLineProblem& problem : FAnalysis.Problems) {
        const int row = grdLines->rowCount();
        grdLines->insertRow(row);
        auto* number = new QTableWidgetItem(QLocale().toString(problem.Line));
        number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grdLines->setItem(row, 0, number);
        grdLines->setItem(row, 1,
                          new QTableWidgetItem(ProblemText(problem, FAnalysis.UsualFields)));
        const auto at = static_cast<size_t>(problem.Line - 1);
        grdLines->setItem(
            row, 2, new QTableWidgetItem(at < lines.size() ? BytesToText(lines[at]) : QString()));
    }
    grdLines->resizeColumnsToContents();
    QStringList summary;
    if (FAnalysis.HeaderLine > 0)
        summary << tr("Line %1 names the columns and is not added.").arg(FAnalysis.HeaderLine);
    if (FAnalysis.SeparatorMissed())
        summary << tr("Every line holds a semicolon: read by the text rules, each line becomes "
                      "one login. Choose \"Semicolon\".");
    const std::size_t n = FAnalysis.ProblemLines().size();
    if (n == 0)
        summary << tr("No line looks wrong.");
    else
        summary << (n == 1 ? tr("1 line looks wrong. Nothing is added until you choose.")
                           : tr("%1 lines look wrong. Nothing is added until you choose.")
                                 .arg(QLocale().toString(static_cast<qulonglong>(n))));
    lblSummary->setText(summary.join(QLatin1Char(' ')));
    btnSkip->setEnabled(n > 0);
}

bool ImportNeedsPreview(const TImportAnalysis& analysis) {
    return !analysis.Problems.empty() || analysis.SeparatorMissed();
}

std::vector<int> ImportLinesToSkip(const TImportAnalysis& analysis, bool skipProblems) {
    std::vector<int> skip;
    if (analysis.HeaderLine > 0) skip.push_back(analysis.HeaderLine);
    if (skipProblems)
        for (const int line : analysis.ProblemLines())
            skip.push_back(line);
    return skip;
}

bool ShowImportPreview(const std::string& text, const QString& fileName, TImportOptions& options,
                       QWidget* parent) {
    TfrmImportPreview dialog(text, fileName, parent);
    if (RunModal(dialog) != QDialog::Accepted) return false;
    options.Separator = dialog.Separator();
    options.SkipLines = ImportLinesToSkip(dialog.Analysis(), dialog.SkipProblemLines());
    return true;
}

} // namespace quorvane
