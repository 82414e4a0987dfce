#include "gui/ch10_display_form.h"

#include <QLabel>
#include <QProgressBar>

#include "archive/archive_reader.h"
#include "ch10/ch10_converter.h"
#include "gui/form_widgets.h"
#include "gui/progress_bar.h"
#include "shell/progress_texts.h"
#include "support/text_format.h"

namespace {

constexpr int kValueWidth = 120;

}  // namespace

TCh10ProcDisplayForm::TCh10ProcDisplayForm(QWidget* panel, const ch10convertprocessclass& converter,
                                           const orloarkclass& archive)
    : QFrame(panel), converter_(converter), archive_(archive) {
  SetUpPanelView(this, panel, "TCh10ProcDisplayForm");

  PlaceLabel(this, "Label6", "Ch10 File Info", 72, 6, true);
  QFrame* stats = PlacePanel(this, "PanelStatsInfo", 7, 26, 238, 119, PanelBevel::InsetRaised);
  PlaceLabel(stats, "Label1", "Conversion Stats", 64, 6);
  PlaceLabel(stats, "Label5", "Current File Time", 6, 26);
  LabelCurrentFileTime = PlaceLabel(stats, "LabelCurrentFileTime", "", 112, 26, false, kValueWidth);
  PlaceLabel(stats, "Label18", "Time Packets", 6, 45);
  LabelTimePkts = PlaceLabel(stats, "LabelTimePkts", "", 112, 45, false, kValueWidth);
  PlaceLabel(stats, "Label200", "PCM Packets", 6, 59);
  LabelPcmPkts = PlaceLabel(stats, "LabelPcmPkts", "", 112, 59, false, kValueWidth);
  PlaceLabel(stats, "Label20", "Progress (%)", 6, 74);
  LabelProgress = PlaceLabel(stats, "LabelProgress", "", 112, 74, false, kValueWidth);
  ProgressBar1 = PlaceProgressBar(stats, 6, 96, 220, 12);
  show();
}

void TCh10ProcDisplayForm::FirstShow() {
  shown_ = true;
  FixedRefresh();
}

void TCh10ProcDisplayForm::FixedRefresh() {
  if (!shown_ || busy_) return;
  busy_ = true;
  PeriodicRefresh();
  busy_ = false;
}

void TCh10ProcDisplayForm::PeriodicRefresh() {
  if (!shown_) return;
  LabelCurrentFileTime->setText(
      QString::fromStdString(FormatDayTimeMicro(converter_.CurrentArchiveTime())));
  LabelTimePkts->setText(QString::fromStdString(
      FormatFixedNumber(16, 0, static_cast<double>(converter_.TimePacketCount()))));
  LabelPcmPkts->setText(QString::fromStdString(
      FormatFixedNumber(16, 0, static_cast<double>(converter_.PcmPacketCount()))));
  // The progress is the archive's: the packets are written as it is read.
  const double percent = ProgressPercent(static_cast<double>(archive_.FilePosition()),
                                         static_cast<double>(archive_.FileSize()));
  LabelProgress->setText(QString::fromStdString(ProgressPercentText(percent)));
  ShowProgress(ProgressBar1, percent);
}
