#include "app/qt/activation_watch.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <utility>

#include "app/qt/qt_utils.h"

namespace {

QWidget* widgetOf(QWindow* window) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowHandle() == window)
      return widget;
  }
  return nullptr;
}

}  // namespace

ActivationWatch::ActivationWatch(QWidget& main, std::function<void()> activate)
    : main_(main), activate_(std::move(activate)) {
  main_.installEventFilter(this);
  connect(qApp, &QGuiApplication::focusWindowChanged, this, &ActivationWatch::onFocusWindow);
}

ActivationWatch::Kind ActivationWatch::classify(QWindow* window) const {
  // Popups (menus, the combo box's list) are windows of their own; they count as the window they open from.
  for (QWidget* widget = widgetOf(window); widget != nullptr; widget = widget->parentWidget()) {
    if (qobject_cast<QMessageBox*>(widget) != nullptr)
      return Kind::MessageBox;
    if (widget == &main_)
      return Kind::Main;
    if (qtutils::isOwnDialog(*widget))
      return Kind::OwnDialog;
  }
  return Kind::Other;
}

void ActivationWatch::onFocusWindow(QWindow* window) {
  if (window == nullptr)
    return;  // another program has the focus; coming back from it is no return from a window of ours
  const Kind kind = classify(window);
  const bool returned = kind == Kind::Main && started_ && last_ == Kind::OwnDialog;
  last_ = kind;
  if (returned)
    activate_();
}

void ActivationWatch::ownWindowClosing() {
  QWindow* focus = QGuiApplication::focusWindow();
  if (focus != nullptr && classify(focus) == Kind::Main)
    return;
  last_ = Kind::OwnDialog;
}

bool ActivationWatch::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &main_ && event->type() == QEvent::Show && !started_) {
    started_ = true;
    last_ = Kind::Main;
    // After the show has finished, so that the chooser a first run opens comes up over the main window.
    QTimer::singleShot(0, this, [this] { activate_(); });
  }
  return QObject::eventFilter(watched, event);
}
