// Decides when the main window "becomes the active window of the program" and so runs the activation
// sequence: when it is first shown, and when it is active again after one of the program's own windows
// (the punt/ban dialog, the chooser, the About box) was. Switching to or from another program does not
// count, and neither does a message box closing: on Windows a message box is no window of the program's
// own, so a notice shown by the activation can never start it again.
#pragma once

#include <QObject>
#include <functional>

class QWidget;
class QWindow;

class ActivationWatch final : public QObject {
 public:
  enum class Kind { Main, OwnDialog, MessageBox, Other };

  ActivationWatch(QWidget& main, std::function<void()> activate);

  // The focus moved to `window`; null when another program took it. Connected to the application's
  // focusWindowChanged; tests call it to stand in for a window manager.
  void onFocusWindow(QWindow* window);

  // One of the program's own windows is closing. Unless the main window is already the active one, the
  // operator returns to it from that window, and that return runs the activation.
  void ownWindowClosing();

  Kind classify(QWindow* window) const;
  Kind lastActive() const { return last_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget& main_;
  std::function<void()> activate_;
  bool started_ = false;
  // A kind rather than a pointer: message boxes are destroyed as they close.
  Kind last_ = Kind::Other;
};
