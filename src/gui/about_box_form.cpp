#include "gui/about_box_form.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include <cmath>

#include "gui/form_widgets.h"
#include "support/error_log.h"

namespace {

// The maker's lines: this project's own.
constexpr const char* kMakerNotice = "Free flight-test data software";
constexpr const char* kMakerAddress = "OrloVarnel project, flight-test data tools";
constexpr const char* kMakerPhone = "Phone: none - please file an issue instead";
constexpr const char* kMakerWeb = "Docs: /usr/share/doc/orlovarnel/README.md";

}  // namespace

QPixmap ProgramPicture(int width, int height) {
  QPixmap picture(width, height);
  picture.fill(kNavy);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  // A PCM wave on the left half...
  QPainterPath wave;
  const double mid = height * 0.38;
  for (int x = 3; x <= width / 2; ++x) {
    const double y = mid - std::sin((x - 3) * 0.55) * height * 0.18;
    if (x == 3) {
      wave.moveTo(x, y);
    } else {
      wave.lineTo(x, y);
    }
  }
  painter.setPen(QPen(kRunningLime, 2));
  painter.drawPath(wave);
  // ...an arrow...
  painter.setPen(QPen(Qt::white, 2));
  const int ax = width / 2 + 3;
  painter.drawLine(ax, static_cast<int>(mid), ax + 8, static_cast<int>(mid));
  painter.drawLine(ax + 8, static_cast<int>(mid), ax + 4, static_cast<int>(mid) - 4);
  painter.drawLine(ax + 8, static_cast<int>(mid), ax + 4, static_cast<int>(mid) + 4);
  // ...and packets, one header and two data blocks.
  const int px = ax + 12;
  const int pw = width - px - 3;
  painter.setPen(Qt::NoPen);
  painter.setBrush(kIdleYellow);
  painter.drawRect(px, 6, pw, 6);
  painter.setBrush(QColor(0x9C, 0xC8, 0xFF));
  painter.drawRect(px, 15, pw, 8);
  painter.drawRect(px, 26, pw, 8);
  // The product's initials underneath.
  painter.setPen(Qt::white);
  QFont font = FormFont(true);
  font.setPixelSize(height / 4);
  painter.setFont(font);
  painter.drawText(QRect(0, height * 2 / 3 - 2, width, height / 3), Qt::AlignCenter, "ORLO");
  return picture;
}

TZekBorAboutBoxForm::TZekBorAboutBoxForm(QWidget* owner) : QDialog(owner) {
  setObjectName("TZekBorAboutBoxForm");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                 Qt::WindowStaysOnTopHint);
  setModal(true);
  setFont(FormFont());
  setFixedSize(298, 213);

  QFrame* panel = PlacePanel(this, "Panel1", 8, 8, 281, 161, PanelBevel::InsetRaised);
  auto* icon = new QLabel(panel);
  icon->setObjectName("ProgramIcon");
  icon->setGeometry(8, 8, 65, 57);
  icon->setScaledContents(true);
  icon->setPixmap(ProgramPicture(65, 57));

  ProductName = PlaceLabel(panel, "ProductName", "", 80, 8, true, 190);
  Version = PlaceLabel(panel, "Version", "", 80, 26, false, 190);
  PlaceLabel(panel, "Copyright", kMakerNotice, 80, 44, false, 195);
  PlaceLabel(panel, "LabelAddress", kMakerAddress, 8, 74, false, 265);
  PlaceLabel(panel, "LabelPhone", kMakerPhone, 8, 91, false, 265);
  PlaceLabel(panel, "LabelWeb", kMakerWeb, 8, 107, false, 265);
  LabelComments = PlaceLabel(panel, "LabelComments", "", 8, 124, false, 200);
  LabelComments->hide();

  auto* trawler = new QPushButton("View Logs", panel);
  trawler->setObjectName("ButtonTrawler");
  trawler->setGeometry(214, 136, 61, 18);
  connect(trawler, &QPushButton::clicked, this, [this] { ButtonTrawlerClick(); });

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKButton");
  ok->setGeometry(117, 182, 75, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TZekBorAboutBoxForm::Fill(const std::string& product, const std::string& version,
                               const std::string& log_name, const std::string& log_folder,
                               const std::string& comments) {
  log_folder_ = log_folder;
  log_name_ = log_name;
  ProductName->setText(QString::fromStdString(product));
  Version->setText(QString::fromStdString("Version " + version));
  LabelComments->setText(QString::fromStdString("Comments : " + comments));
  LabelComments->setVisible(!comments.empty());
}

void TZekBorAboutBoxForm::ShowAbout(const std::string& product, const std::string& version,
                                    const std::string& log_name, const std::string& log_folder,
                                    const std::string& comments) {
  Fill(product, version, log_name, log_folder, comments);
  raise();
  exec();
  viewer_.End();
}

void TZekBorAboutBoxForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  raise();
  activateWindow();
}

void TZekBorAboutBoxForm::ButtonTrawlerClick() {
  viewer_.End();
  raise();
  // The log layer names the file with ".Log"; file names are case-sensitive
  // here, so the viewer is given that name.
  const std::string log_path = log_folder_ + "/" + log_name_ + ".Log";
  if (!viewer_.Launch(log_path)) {
    ShowMessageBox("INFO", "No log viewer could be started. The log is " + log_path);
  }
}
