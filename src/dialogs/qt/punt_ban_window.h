// The punt/ban dialog on screen: the operator types a player number and presses Punt or Ban.
#pragma once

#include "dialogs/punt_ban_dialog.h"
#include "dialogs/qt/program_dialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

class PuntBanWindow final : public ProgramDialog {
 public:
  PuntBanWindow(Globals& globals, const TimerPort& timer2, qtutils::NoticePort& notices, TickNesting& ticks);

  QPushButton* cmdpunt;
  QPushButton* cmdban;
  QLabel* Label1;
  QLineEdit* Text1;
  QPushButton* Command1;

 protected:
  // Escape presses Cancel.
  void reject() override;

 private:
  Dialog logic_;
};
