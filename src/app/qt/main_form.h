// The main window on screen: the vote table, the map row, the vote log, the four buttons and the two menus
// at their places. It holds no state of the service; refresh() shows the core's.
#pragma once

#include <QMainWindow>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class VoteList;
class frmmain;

class MainForm final : public QMainWindow {
 public:
  MainForm();

  // Shows the core's vote table, map count, vote log and the caption of Command4, changing only what
  // differs from what is shown.
  void refresh(const frmmain& core);

  // Runs when the operator closes the window with its close box; the window is then hidden.
  std::function<void()> onCloseBox;

  VoteList* List1;
  VoteList* List2;
  VoteList* List3;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLineEdit* Text2;
  QLineEdit* Text3;
  QLineEdit* Text4;
  QPlainTextEdit* Text1;
  QPushButton* Command1;
  QPushButton* Command2;
  QPushButton* Command3;
  QPushButton* Command4;
  QMenu* file;
  QMenu* help;
  QAction* choosegame;
  QAction* puntbanplayer;
  QAction* nextmap;
  QAction* exit;
  QAction* onlinehelp;
  QAction* about;

 protected:
  void closeEvent(QCloseEvent* event) override;
};
