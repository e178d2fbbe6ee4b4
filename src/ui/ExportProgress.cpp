#include "ui/ExportProgress.h"

#include "ui/ByteText.h"
#include "ui/ExportDlg.h"
#include "ui/MessageText.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QProgressBar>

#include <algorithm>
#include <optional>

namespace quorvane {

namespace {

// "12.4 of 48.1 MB, 1.2 MB/s, about 30 s left", in the user's language and number format.
QString TransferText(std::int64_t sent, std::int64_t total, std::optional<double> rate,
                     std::optional<double> secondsLeft) {
    const QLocale locale;
    const auto amount = [&locale](const TByteAmount& a) {
        return locale.toString(a.Value, 'f', std::string_view(a.Unit) == "B" ? 0 : 1);
    };
    const TByteAmount of = ByteAmount(total, total);
    QString text =
        TfrmExportUser::tr("%1 of %2 %3")
            .arg(amount(ByteAmount(sent, total)), amount(of), QString::fromLatin1(of.Unit));
    if (!rate) return text;
    const auto perSecond = static_cast<std::int64_t>(*rate);
    const TByteAmount speed = ByteAmount(perSecond, perSecond);
    text += TfrmExportUser::tr(", %1 %2/s").arg(amount(speed), QString::fromLatin1(speed.Unit));
    if (!secondsLeft) return text;
    const TTimeLeft left = RoundedTimeLeft(*secondsLeft);
    if (left.Hours > 0)
        text += TfrmExportUser::tr(", about %1 h %2 min left").arg(left.Hours).arg(left.Minutes);
    else if (left.Minutes > 0)
        text += TfrmExportUser::tr(", about %1 min left").arg(left.Minutes);
    else if (left.Seconds > 0)
        text += TfrmExportUser::tr(", about %1 s left").arg(left.Seconds);
    return text;
}

} // namespace

TExportProgressView::TExportProgressView(QLabel& line, QLabel& transfer, QProgressBar& bar)
    : FLine(line), FTransfer(transfer), FBar(bar) {}

void TExportProgressView::Begin() {
    FBar.setRange(0, 100);
    FBar.setValue(0);
    FBar.show();
    FMeter.Reset();
    FClock.start();
}

void TExportProgressView::Show(const TExportEvent& event) {
    QString text = MessageText(ExportProgressMessage(event));
    FLine.setToolTip(text);
    const QFontMetrics metrics = FLine.fontMetrics();
    if (QLayout* layout = FLine.window()->layout()) layout->activate(); // the label's width
    const int room = std::max(FLine.width(), FLine.minimumWidth()) - 2;
    const bool uploading = event.Stage == TExportStage::Uploading;
    if (uploading && metrics.horizontalAdvance(text) > room) {
        // The file name gives way, in its middle; "Uploading" and the percentage stay.
        const QString remote = BytesToText(event.Remote);
        const int rest = metrics.horizontalAdvance(text) - metrics.horizontalAdvance(remote);
        text.replace(remote, metrics.elidedText(remote, Qt::ElideMiddle, std::max(room - rest, 0)));
    }
    FLine.setText(metrics.elidedText(text, Qt::ElideRight, room));
    if (uploading) {
        FMeter.Add(FClock.elapsed(), event.BytesSent);
        FTransfer.setText(TransferText(event.BytesSent, event.BytesTotal, FMeter.BytesPerSecond(),
                                       FMeter.SecondsLeft(event.BytesTotal)));
    } else {
        FTransfer.clear();
    }
    if (const std::optional<int> percent = ExportProgressPercent(event)) {
        FBar.setRange(0, 100);
        FBar.setValue(*percent);
    } else {
        FBar.setRange(0, 0); // connecting: no measure yet
    }
    if (event.Stage == TExportStage::Building && FLine.isVisible() &&
        FLine.parentWidget() == FBar.parentWidget()) {
        // The line and the bar are painted together, at once: while the hashing keeps this
        // thread busy between the progress points, the window's own updates would show them
        // at different moments.
        FLine.parentWidget()->repaint(FLine.geometry().united(FBar.geometry()));
    }
}

void TExportProgressView::Say(const QString& text) {
    FLine.setText(text);
    FLine.setToolTip(QString());
}

void TExportProgressView::End() {
    FLine.clear();
    FLine.setToolTip(QString());
    FTransfer.clear();
    FBar.hide();
}

} // namespace quorvane
