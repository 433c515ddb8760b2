// The About box on screen: icon, title, version, description, credits, the etched separator, the
// disclaimer, OK and System Info.
#pragma once

#include "dialogs/about_box.h"
#include "dialogs/qt/program_dialog.h"

class QLabel;
class QPushButton;

class AboutWindow final : public ProgramDialog {
 public:
  AboutWindow(SystemPort& system, qtutils::NoticePort& notices, TickNesting& ticks);

  QPushButton* cmdOK;
  QPushButton* cmdSysInfo;
  QLabel* lblDescription;
  QLabel* lblDisclaimer;
  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* Label1;
  QLabel* Image1;

 protected:
  // Escape presses OK, as Enter does.
  void reject() override;

 private:
  frmAbout logic_;
};
