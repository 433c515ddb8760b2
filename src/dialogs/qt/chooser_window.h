// The game version chooser on screen: a drop-down list of the known game versions and the three hidden
// lists of their addresses.
#pragma once

#include <string>

#include "dialogs/game_chooser.h"
#include "dialogs/qt/program_dialog.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

class ChooserWindow final : public ProgramDialog {
 public:
  ChooserWindow(const std::filesystem::path& settingsPath, qtutils::NoticePort& notices, TickNesting& ticks);

  QPushButton* OKButton;
  QPushButton* CancelButton;
  QComboBox* Combo1;
  QLabel* Label1;
  QListWidget* List1;
  QListWidget* List2;
  QListWidget* List3;

 protected:
  // Escape does nothing here; only Cancel and the close box close the chooser.
  void reject() override {}

 private:
  void pickedOrTyped();

  frmchoosegame logic_;
};
