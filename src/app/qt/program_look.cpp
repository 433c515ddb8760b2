#include "app/qt/program_look.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
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

namespace {

void fitText(QWidget& control, const QString& text, int room) {
  QFont font = control.font();
  for (int spacing = 100; spacing >= 86; spacing -= 2) {
    font.setLetterSpacing(QFont::PercentageSpacing, spacing);
    if (QFontMetrics(font).horizontalAdvance(text) <= room)
      break;
  }
  if (font != control.font())
    control.setFont(font);
}

}  // namespace

void fitTexts(QWidget& window) {
  constexpr int kButtonPadding = 8;  // pixels kept free of text across a button, both edges together
  for (QPushButton* button : window.findChildren<QPushButton*>())
    fitText(*button, button->text().remove(QLatin1Char('&')), button->width() - kButtonPadding);
  for (QLabel* label : window.findChildren<QLabel*>()) {
    if (!label->wordWrap() && !label->text().isEmpty())
      fitText(*label, label->text(), label->width());
  }
}
