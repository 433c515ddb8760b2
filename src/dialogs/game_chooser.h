// The game version chooser: lists the known game versions of the settings file's `All Games` section and
// copies the confirmed one's name and memory addresses into the active settings. The main window picks the
// new values up when it is activated again after the chooser closes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "dialogs/dialog_ports.h"

// Fixed texts of the window, for the window layer.
inline constexpr const char* kChooserCaption = "Dialog Caption";
inline constexpr const char* kChooserLabel = "Game:";
inline constexpr const char* kChooserOkCaption = "OK";
inline constexpr const char* kChooserCancelCaption = "Cancel";
// The combo box's text until a game is picked; it is none of the items.
inline constexpr const char* kChooseGamePrompt = "---[Choose Game]---";
inline constexpr const char* kGameNotFound = "Game Not Found";
inline constexpr const char* kPlayerStartUnavailable = "Unavailable";
inline constexpr const char* kSelectGameNotice = "You must select a game version!";

// The most game entries the chooser lists. A drop-down list of a thousand names is already past what an
// operator can pick from, and a mistyped `Game Number` such as 32767 would otherwise read four keys per
// entry from the file and fill the list with tens of thousands of "Game Not Found" lines.
inline constexpr int kMaxGameEntries = 999;

class frmchoosegame {
 public:
  // `settingsPath` is the path of settings.ini in the program's folder.
  // `ticks` is the main window's tick record, on which the chooser's notice is marked while open.
  frmchoosegame(std::filesystem::path settingsPath, DialogWindowPort& window, TickNesting& ticks);

  // Fills the combo box and the three address lists from the file, one item each per game entry.
  void Form_Load();
  // Refuses the prompt, "Game Not Found" and any text that names no listed game; otherwise writes the
  // chosen entry into the active settings, marks the first run as done and closes.
  void OKButton_Click();
  // Closes without writing; the close button of the title bar does the same.
  void CancelButton_Click();

  // The operator picks item `index` from the drop-down list (-1: nothing). A picked item becomes the text.
  void setCombo1ListIndex(int index);
  // The operator types into the combo box's text field; the typed text is no picked item.
  void setCombo1Text(std::string text);

  // The combo box: its items (game names), its text and its picked item (-1: none). Position p of the items
  // and of the three hidden lists belongs to game entry p + 1 of the settings file.
  std::vector<std::string> Combo1Items;
  std::string Combo1Text = kChooseGamePrompt;
  int Combo1ListIndex = -1;
  std::vector<std::string> List1;  // chat line address of each entry
  std::vector<std::string> List2;  // console line address of each entry
  std::vector<std::string> List3;  // player table address of each entry

 private:
  int chosenEntry() const;

  std::filesystem::path settingsPath_;
  DialogWindowPort& window_;
  TickNesting& ticks_;
};
