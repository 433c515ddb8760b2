#include "dialogs/qt/punt_ban_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/qt/qt_utils.h"

using qtutils::button;
using qtutils::make;

PuntBanWindow::PuntBanWindow(Globals& globals, const TimerPort& timer2, qtutils::NoticePort& notices,
                             TickNesting& ticks)
    : ProgramDialog("Dialog", kPuntBanCaption, notices), logic_(globals, timer2, port(), ticks) {
  placeWindow(2760, 3750, 4365, 1515);
  cmdpunt = button(this, "cmdpunt", kPuntButtonCaption, 255, 960, 1215, 375);
  cmdban = button(this, "cmdban", kBanButtonCaption, 1575, 960, 1215, 375);
  Label1 = make<QLabel>(this, "Label1", 322, 195, 3720, 255);
  Label1->setText(QLatin1String(kPuntBanPrompt));
  Text1 = make<QLineEdit>(this, "Text1", 1935, 555, 615, 285);
  Text1->setMaxLength(kText1MaxLength);
  Command1 = button(this, "Command1", kPuntBanCancelCaption, 2895, 960, 1215, 375);
  setTabOrder(cmdpunt, cmdban);
  setTabOrder(cmdban, Text1);
  setTabOrder(Text1, Command1);

  qtutils::fitTexts(*this);

  connect(Text1, &QLineEdit::textChanged, this,
          [this](const QString& text) { logic_.Text1 = qtutils::fromQt(text); });
  connect(cmdpunt, &QPushButton::clicked, this, [this] { logic_.cmdpunt_Click(); });
  connect(cmdban, &QPushButton::clicked, this, [this] { logic_.cmdban_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { logic_.Command1_Click(); });
}

void PuntBanWindow::reject() {
  Command1->click();
}
