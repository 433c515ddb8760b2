// Window and control geometry given in twips (1/1440 inch), turned into pixels at the screen's resolution:
// 15 twips a pixel at 96 dots per inch.
#pragma once

#include <QRect>
#include <QWidget>

namespace twips {

inline constexpr int kPerInch = 1440;

inline int toPixels(int twips, int dotsPerInch) {
  return (twips * dotsPerInch + kPerInch / 2) / kPerInch;
}

// A control's rectangle in its window's client area, at the resolution `widget` is shown at.
inline QRect rect(const QWidget& widget, int left, int top, int width, int height) {
  const int dpiX = widget.logicalDpiX();
  const int dpiY = widget.logicalDpiY();
  return {toPixels(left, dpiX), toPixels(top, dpiY), toPixels(width, dpiX), toPixels(height, dpiY)};
}

inline void place(QWidget& control, int left, int top, int width, int height) {
  control.setGeometry(rect(control, left, top, width, height));
}

}  // namespace twips
