#include "dialogs/qt/program_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "app/qt/qt_utils.h"

ProgramDialog::ProgramDialog(const char* name, const char* caption, qtutils::NoticePort& notices)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      port_(*this, notices) {
  setObjectName(QLatin1String(name));
  setWindowTitle(QLatin1String(caption));
  setWindowIcon(qtutils::programIcon());
  setFont(qtutils::programFont());
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  qtutils::markOwnDialog(*this);
}

void ProgramDialog::placeWindow(int left, int top, int clientWidth, int clientHeight) {
  const QRect area = qtutils::twipsRect(*this, left, top, clientWidth, clientHeight);
  setFixedSize(area.size());
  move(area.topLeft());
}

void ProgramDialog::closeEvent(QCloseEvent* event) {
  // QDialog would reject() here; the dialogs decide themselves what Escape does, and the close box only
  // closes.
  event->accept();
  if (onClosing)
    onClosing(*this);
}

void ProgramDialog::showEvent(QShowEvent* event) {
  for (QPushButton* button : findChildren<QPushButton*>())
    button->setAutoDefault(false);
  QDialog::showEvent(event);
}

void ProgramDialog::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      if (auto* focused = qobject_cast<QPushButton*>(focusWidget()))
        focused->click();
      else
        for (QPushButton* button : findChildren<QPushButton*>())
          if (button->isDefault()) {
            button->click();
            break;
          }
      return;
    }
    if (event->key() == Qt::Key_Escape) {
      reject();
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

void ProgramDialog::Port::showNotice(const std::string& text) {
  notices_.notify(&window_, qtutils::toQt(text));
}

void ProgramDialog::Port::close() {
  window_.close();
}
