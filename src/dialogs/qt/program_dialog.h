// What the three small windows share: a fixed-size dialog at its place on the screen, modeless, destroyed
// when it closes, marked as one of the program's own windows, and the port through which its logic shows
// notices and closes it.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "dialogs/dialog_ports.h"

namespace qtutils {
class NoticePort;
}

class ProgramDialog : public QDialog {
 public:
  // Runs while the window closes, whoever closes it.
  std::function<void(ProgramDialog&)> onClosing;

 protected:
  ProgramDialog(const char* name, const char* caption, qtutils::NoticePort& notices);

  // Sets the client size and the screen position of the window's top-left corner, in twips.
  void placeWindow(int left, int top, int clientWidth, int clientHeight);

  // The port handed to the dialog's logic.
  DialogWindowPort& port() { return port_; }

  void closeEvent(QCloseEvent* event) override;
  // Enter presses the focused button, else the default button if there is one, else nothing; Escape
  // calls reject(), which each dialog gives its own meaning.
  void keyPressEvent(QKeyEvent* event) override;
  // QDialog makes the first button the default one when shown unless it is told otherwise.
  void showEvent(QShowEvent* event) override;

 private:
  class Port final : public DialogWindowPort {
   public:
    Port(ProgramDialog& window, qtutils::NoticePort& notices) : window_(window), notices_(notices) {}
    void showNotice(const std::string& text) override;
    void close() override;

   private:
    ProgramDialog& window_;
    qtutils::NoticePort& notices_;
  };

  Port port_;
};
