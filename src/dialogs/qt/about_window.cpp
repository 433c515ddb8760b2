#include "dialogs/qt/about_window.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "app/qt/qt_utils.h"

using qtutils::button;
using qtutils::label;

namespace {

// Two lines, one pixel apart, that together look cut into the dialog: grey 1 wide above, white 2 wide below.
class EtchedSeparator final : public QWidget {
 public:
  explicit EtchedSeparator(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Line1"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Line1(1) from (90, 2445) and Line1(0) from (105, 2460), both to x 5654, in twips.
    qtutils::place(*this, 90, 2445, 5654 - 90 + 15, 45);
    grey_ = qtutils::twipsRect(*this, 90, 2445, 5654 - 90, 15).translated(-pos());
    white_ = qtutils::twipsRect(*this, 105, 2460, 5654 - 105, 15).translated(-pos());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    painter.drawLine(grey_.left(), grey_.top(), grey_.right(), grey_.top());
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(white_.left(), white_.top() + 1, white_.right(), white_.top() + 1);
  }

 private:
  QRect grey_;
  QRect white_;
};

}  // namespace

AboutWindow::AboutWindow(SystemPort& system, qtutils::NoticePort& notices, TickNesting& ticks)
    : ProgramDialog("frmAbout", kAboutCaption, notices), logic_(system, port(), ticks) {
  placeWindow(2340, 1935, 5730, 3555);
  logic_.Form_Load();

  cmdOK = button(this, "cmdOK", kAboutOkCaption, 4245, 2625, 1260, 345);
  cmdOK->setDefault(true);
  cmdSysInfo = button(this, "cmdSysInfo", kAboutSysInfoCaption, 4260, 3075, 1245, 345);
  setTabOrder(cmdOK, cmdSysInfo);

  lblDescription = label(this, "lblDescription", QLatin1String(kAboutDescription), 1050, 1245, 3885, 450);
  lblDescription->setWordWrap(true);
  lblDisclaimer = label(this, "lblDisclaimer", QLatin1String(kAboutDisclaimer), 255, 2625, 3870, 825);
  lblDisclaimer->setWordWrap(true);
  lblTitle = label(this, "lblTitle", QLatin1String(kAboutTitle), 1050, 240, 3885, 480);
  QFont title = font();
  title.setPointSize(14);
  title.setBold(true);
  lblTitle->setFont(title);
  lblVersion = label(this, "lblVersion", qtutils::toQt(logic_.lblVersion), 1050, 780, 3885, 225);
  Label1 = label(this, "Label1", QLatin1String(kAboutCredits), 1080, 1920, 3975, 375);
  Label1->setWordWrap(true);
  QPalette red = Label1->palette();
  red.setColor(QPalette::WindowText, QColor(0xFF, 0, 0));
  Label1->setPalette(red);
  for (QLabel* black : {lblDescription, lblDisclaimer, lblTitle}) {
    QPalette palette = black->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    black->setPalette(palette);
  }
  Image1 = label(this, "Image1", QString(), 210, 240, 480, 480);
  Image1->setPixmap(qtutils::programIcon().pixmap(Image1->size()));
  new EtchedSeparator(this);

  qtutils::fitTexts(*this);

  connect(cmdOK, &QPushButton::clicked, this, [this] { logic_.cmdOK_Click(); });
  connect(cmdSysInfo, &QPushButton::clicked, this, [this] { logic_.cmdSysInfo_Click(); });
}

void AboutWindow::reject() {
  cmdOK->click();
}
