#include "app/qt/program_look.h"

#include <QApplication>
#include <QStringList>
#include <QStyleFactory>

QFont programFont() {
  QFont font;
  // Liberation Sans and Nimbus Sans share Arial's metrics, close to the classic dialog font the layout was
  // drawn for; DejaVu Sans is wider but always present.
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Nimbus Sans"),
                    QStringLiteral("DejaVu Sans")});
  font.setPointSize(8);
  return font;
}

QIcon programIcon() {
  return QIcon(QStringLiteral(":/zarn-vote.xpm"));
}

void setUpProgramLook() {
  // Fusion looks and measures the same on every desktop, so the fixed layout holds everywhere.
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setFont(programFont());
  QApplication::setWindowIcon(programIcon());
}
