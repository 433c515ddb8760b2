// The Qt helpers every window of the program uses: geometry in twips, the program's look, text between the
// core and the widgets, the factories of the controls, the notices and the mark of the program's own
// windows.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

class QLabel;
class QPushButton;

namespace qtutils {

// --- Geometry. Windows and controls are laid out in twips (1/1440 inch), turned into pixels at the
// screen's resolution: 15 twips a pixel at 96 dots per inch. ---

inline constexpr int kTwipsPerInch = 1440;

inline int twipsToPixels(int twips, int dotsPerInch) {
  return (twips * dotsPerInch + kTwipsPerInch / 2) / kTwipsPerInch;
}

// A control's rectangle in its window's client area, at the resolution `widget` is shown at.
QRect twipsRect(const QWidget& widget, int left, int top, int width, int height);
void place(QWidget& control, int left, int top, int width, int height);

// --- Controls: each named (tests and the screenshots find them by name) and placed in twips. ---

template <typename Control>
Control* make(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* control = new Control(parent);
  control->setObjectName(QLatin1String(name));
  place(*control, left, top, width, height);
  return control;
}

// A label whose text starts at its top left corner.
QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
              int height);
QPushButton* button(QWidget* parent, const char* name, const char* caption, int left, int top, int width,
                    int height);

// --- The look shared by every window: the style, the font and the icon. ---

// A small sans-serif face at 8 points: 13 pixel rows at 96 DPI, so that the vote table's sixteen rows fit
// its height exactly, as the layout in twips expects.
QFont programFont();
QIcon programIcon();
// Sets the style and the font for the whole application; call once after the application object exists.
void setUpProgramLook();
// Narrows the letter spacing of every button caption and one-line label of `window` whose text would
// otherwise be cut off or touch the edges (the layout was drawn for a slightly narrower font); text that
// fits keeps the normal spacing.
void fitTexts(QWidget& window);

// --- Text between the core and the widgets. The core keeps the settings file's and the game's
// single-byte text as it is, so every byte maps to one character and back (Latin-1); its line breaks are
// CR LF, the widgets' are LF. ---

QString toQt(const std::string& text);
// Characters outside Latin-1 become '?'.
std::string fromQt(const QString& text);

// --- The program's own windows other than the main window: the dialogs mark themselves, the activation
// watch asks. ---

void markOwnDialog(QWidget& window);
bool isOwnDialog(const QWidget& window);

// --- Notices. Every message box of the program goes through one port: the window shows a modal box, the
// service mode writes to stderr, tests answer it themselves. ---

inline constexpr const char* kNoticeTitle = "Zarn - Vote";

class NoticePort {
 public:
  virtual ~NoticePort() = default;
  // A modal notice with an OK button only and the program's title, over `parent` (may be null); returns
  // when the operator has closed it. The timers keep ticking meanwhile.
  virtual void notify(QWidget* parent, const QString& text) = 0;
};

class MessageBoxNotices final : public NoticePort {
 public:
  void notify(QWidget* parent, const QString& text) override;
};

}  // namespace qtutils
