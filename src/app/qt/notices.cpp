#include "app/qt/notices.h"

#include <QMessageBox>

void MessageBoxNotices::notify(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kNoticeTitle), text, QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("notice"));
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}
