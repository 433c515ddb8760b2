#include "app/qt/qt_utils.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QStyleFactory>

namespace qtutils {

QRect twipsRect(const QWidget& widget, int left, int top, int width, int height) {
  const int dpiX = widget.logicalDpiX();
  const int dpiY = widget.logicalDpiY();
  return {twipsToPixels(left, dpiX), twipsToPixels(top, dpiY), twipsToPixels(width, dpiX),
          twipsToPixels(height, dpiY)};
}

void place(QWidget& control, int left, int top, int width, int height) {
  control.setGeometry(twipsRect(control, left, top, width, height));
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
              int height) {
  auto* control = make<QLabel>(parent, name, left, top, width, height);
  control->setText(text);
  control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return control;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                    int height) {
  auto* control = make<QPushButton>(parent, name, left, top, width, height);
  control->setText(QLatin1String(caption));
  return control;
}

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

constexpr const char* kOwnDialogProperty = "zarnvoteOwnDialog";

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

QString toQt(const std::string& text) {
  QString result = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return result;
}

std::string fromQt(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

void markOwnDialog(QWidget& window) {
  window.setProperty(kOwnDialogProperty, true);
}

bool isOwnDialog(const QWidget& window) {
  return window.property(kOwnDialogProperty).toBool();
}

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

}  // namespace qtutils
