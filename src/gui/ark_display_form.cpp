#include "gui/ark_display_form.h"

#include <QLabel>
#include <QProgressBar>

#include "archive/archive_reader.h"
#include "gui/form_widgets.h"
#include "gui/progress_bar.h"
#include "pack/pack_converter.h"
#include "shell/progress_texts.h"
#include "support/text_format.h"

namespace {
constexpr int kValueWidth = 120;  // from x 112 to the stats panel's edge
}

TOrloArkDisplayForm::TOrloArkDisplayForm(QWidget* panel, const orloarkclass& archive,
                                         const orloarkpackclass& pack,
                                         std::function<double()> current_frame_time)
    : QFrame(panel), archive_(archive), pack_(pack), current_frame_time_(std::move(current_frame_time)) {
  SetUpPanelView(this, panel, "TOrloArkDisplayForm");

  PlaceLabel(this, "Label6", "ARK File Info", 83, 6, true);
  PlaceLabel(this, "Label3", "Start File Time", 10, 28);
  LabelStartFileTime = PlaceLabel(this, "LabelStartFileTime", "", 130, 28, false, kValueWidth);
  PlaceLabel(this, "Label4", "End File Time", 10, 45);
  LabelEndFileTime = PlaceLabel(this, "LabelEndFileTime", "", 130, 45, false, kValueWidth);

  QFrame* stats = PlacePanel(this, "PanelStatsInfo", 7, 70, 238, 131, PanelBevel::InsetRaised);
  PlaceLabel(stats, "Label1", "Conversion Stats", 64, 6);
  PlaceLabel(stats, "Label5", "Current File Time", 6, 26);
  LabelCurrentFileTime = PlaceLabel(stats, "LabelCurrentFileTime", "", 112, 26, false, kValueWidth);
  PlaceLabel(stats, "Label18", "Ark Valid Frames", 6, 45);
  LabelArkValidFrames = PlaceLabel(stats, "LabelArkValidFrames", "", 112, 45, false, kValueWidth);
  PlaceLabel(stats, "Label200", "Ark Missed Frames", 6, 58);
  LabelArkMissedFrames = PlaceLabel(stats, "LabelArkMissedFrames", "", 112, 58, false, kValueWidth);
  PlaceLabel(stats, "Label20", "Total Frames", 6, 72);
  LabelTotalFrames = PlaceLabel(stats, "LabelTotalFrames", "", 112, 72, false, kValueWidth);
  PlaceLabel(stats, "Label2", "Progress (%)", 6, 86);
  LabelProgress = PlaceLabel(stats, "LabelProgress", "", 112, 86, false, kValueWidth);
  ProgressBar1 = PlaceProgressBar(stats, 6, 108, 220, 12);
  show();
}

void TOrloArkDisplayForm::FirstShow() {
  shown_ = true;
  FixedRefresh();
}

void TOrloArkDisplayForm::FixedRefresh() {
  if (!shown_ || busy_) return;
  busy_ = true;
  LabelStartFileTime->setText(QString::fromStdString(FixedDayTimeText(archive_.Header().StartTime)));
  LabelEndFileTime->setText(QString::fromStdString(FixedDayTimeText(archive_.Header().StopTime)));
  PeriodicRefresh();
  busy_ = false;
}

void TOrloArkDisplayForm::PeriodicRefresh() {
  if (!shown_) return;
  const double current = current_frame_time_ ? current_frame_time_() : archive_.Header().StartTime;
  LabelCurrentFileTime->setText(QString::fromStdString(FormatDayTimeMicro(current)));
  auto count = [](double value) { return QString::fromStdString(FormatFixedNumber(16, 0, value)); };
  LabelArkValidFrames->setText(count(pack_.ValidFrameCount()));
  LabelArkMissedFrames->setText(count(pack_.MissedFrameCount()));
  LabelTotalFrames->setText(count(pack_.TotalFrameCount()));
  const double percent = ProgressPercent(static_cast<double>(archive_.FilePosition()),
                                         static_cast<double>(archive_.FileSize()));
  LabelProgress->setText(QString::fromStdString(ProgressPercentText(percent)));
  ShowProgress(ProgressBar1, percent);
}
