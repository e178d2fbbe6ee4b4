#pragma once
// What a running export shows: a line saying what it does, a bar, and under them an upload's
// sizes, speed and time left.

#include "job/ExportJob.h"
#include "job/TransferMeter.h"

#include <QElapsedTimer>
#include <QString>

class QLabel;
class QProgressBar;

namespace quorvane {

class TExportProgressView {
public:
    // The widgets stay the caller's; they must outlive the view.
    TExportProgressView(QLabel& line, QLabel& transfer, QProgressBar& bar);

    // An export starts: the bar shows, empty.
    void Begin();
    // Where the export is. The line stays one line as wide as its room: a long file name gives
    // way in its middle, the whole line is the tool tip.
    void Show(const TExportEvent& event);
    // A line of the caller's own ("Aborting...").
    void Say(const QString& text);
    // The export is over: the lines are cleared and the bar hidden.
    void End();

private:
    QLabel& FLine;
    QLabel& FTransfer;
    QProgressBar& FBar;
    TTransferMeter FMeter;
    QElapsedTimer FClock;
};

} // namespace quorvane
