#include "app/qt/notices.h"

#include <QMessageBox>
#include <QPushButton>

void MessageBoxNotices::notify(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kNoticeTitle), text, QMessageBox::NoButton,
                  parent);
  box.setObjectName(QStringLiteral("notice"));
  // A button of our own rather than the standard Ok: the standard one looks its icon up in the desktop's
  // icon theme, which kept the first box of a session blank for seconds under a bare X server.
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
}
