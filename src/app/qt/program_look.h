// The look shared by every window of the program: the style, the font and the icon.
#pragma once

#include <QFont>
#include <QIcon>

// A small sans-serif face at 8 points: 13 pixel rows at 96 DPI, so that the vote table's sixteen rows fit
// its height exactly, as the layout in twips expects.
QFont programFont();
QIcon programIcon();
// Sets the style and the font for the whole application; call once after the application object exists.
void setUpProgramLook();

class QWidget;
// Narrows the letter spacing of every button caption and one-line label of `window` whose text would
// otherwise be cut off or touch the edges (the layout was drawn for a slightly narrower font); text that
// fits keeps the normal spacing.
void fitTexts(QWidget& window);
