// The punt/ban dialog's handlers.
#include "dialogs/punt_ban_dialog.h"

#include <cstdint>
#include <exception>

#include "common/conversions.h"

Dialog::Dialog(Globals& globals, const TimerPort& timer2, DialogWindowPort& window, TickNesting& ticks)
    : globals_(globals), timer2_(timer2), window_(window), ticks_(ticks) {}

void Dialog::cmdpunt_Click() {
  request(&Globals::raisePunt, kPuntedNotice);
}

void Dialog::cmdban_Click() {
  request(&Globals::raiseBan, kBannedNotice);
}

void Dialog::Command1_Click() {
  window_.close();
}

void Dialog::request(void (Globals::*raise)(std::int16_t), const char* notice) {
  try {
    // Converted before anything is stored, so that a failed entry leaves the pending request as it was.
    const std::int16_t number = conv::toInt16(Text1);
    // Raised before the notice: the processing tick keeps running behind the modal notice and may already
    // carry the request out while the operator reads it.
    (globals_.*raise)(number);
    showMarkedNotice(window_, ticks_,
                     std::string(notice) + "\r\n(Under " + std::to_string(timer2_.interval()) + "m/s)");
    window_.close();
  } catch (const std::exception&) {
    showMarkedNotice(window_, ticks_, kPuntBanFailedNotice);
  }
}
