// The punt/ban dialog: the operator names a player by number and leaves a punt or ban request for the next
// processing tick. The dialog never touches the game; it only raises the request in Globals.
#pragma once

#include <cstdint>
#include <string>

#include "app/globals.h"
#include "app/host.h"
#include "dialogs/dialog_ports.h"

// Fixed texts of the window, for the window layer.
inline constexpr const char* kPuntBanCaption = "Punt Player";
inline constexpr const char* kPuntBanPrompt = "Enter the number of the player you wish to punt/ban:";
inline constexpr const char* kPuntButtonCaption = "&Punt";
inline constexpr const char* kBanButtonCaption = "&Ban";
inline constexpr const char* kPuntBanCancelCaption = "&Cancel";
// The text box takes at most this many characters; the window enforces it on typing.
inline constexpr int kText1MaxLength = 2;

inline constexpr const char* kPuntedNotice = "The player will be punted on the next checking cycle.";
inline constexpr const char* kBannedNotice = "The player will be banned on the next checking cycle.";
inline constexpr const char* kPuntBanFailedNotice =
    "An error occured, unable to proccess your request!\r\n\r\n";

class Dialog {
 public:
  // `timer2` is the main window's processing timer, whose interval the notices quote; `ticks` its tick
  // record, on which the notices are marked while open.
  Dialog(Globals& globals, const TimerPort& timer2, DialogWindowPort& window, TickNesting& ticks);

  // Punt and Ban: request the player named in Text1, tell the operator when it will happen and close. Text
  // that is no 16-bit number gets the error notice instead; the dialog then stays open and no request
  // changes.
  void cmdpunt_Click();
  void cmdban_Click();
  // Cancel (also Escape): close, nothing changes.
  void Command1_Click();

  // The text box's content. The window limits typing to kText1MaxLength characters; whatever the text holds,
  // the handlers convert all of it.
  std::string Text1;

 private:
  void request(void (Globals::*raise)(std::int16_t), const char* notice);

  Globals& globals_;
  const TimerPort& timer2_;
  DialogWindowPort& window_;
  TickNesting& ticks_;
};
