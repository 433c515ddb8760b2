#include "app/qt/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "app/main_window.h"
#include "app/qt/qt_utils.h"
#include "app/qt/vote_list.h"

using qtutils::button;
using qtutils::label;
using qtutils::make;

namespace {

// Client area of the window, in twips.
constexpr int kClientWidth = 4140;
constexpr int kClientHeight = 6360;

QLineEdit* readOnlyBox(QWidget* parent, const char* name, const char* text, int left, int top, int width,
                       int height) {
  auto* control = make<QLineEdit>(parent, name, left, top, width, height);
  control->setText(QLatin1String(text));
  control->setReadOnly(true);
  control->setTextMargins(0, 0, 0, 0);
  return control;
}

QAction* menuItem(QMenu* menu, const char* name, const char* caption) {
  QAction* action = menu->addAction(QLatin1String(caption));
  action->setObjectName(QLatin1String(name));
  return action;
}

}  // namespace

MainForm::MainForm() {
  namespace t = mainwindow_text;
  setObjectName(QStringLiteral("frmmain"));
  setWindowTitle(QLatin1String(kProgramTitle));
  setWindowIcon(qtutils::programIcon());
  setFont(qtutils::programFont());

  file = menuBar()->addMenu(QLatin1String(t::kMenuFile));
  file->setObjectName(QStringLiteral("file"));
  choosegame = menuItem(file, "choosegame", t::kMenuChooseGame);
  puntbanplayer = menuItem(file, "puntbanplayer", t::kMenuPuntBanPlayer);
  nextmap = menuItem(file, "nextmap", t::kMenuNextMap);
  exit = menuItem(file, "exit", t::kMenuExit);
  help = menuBar()->addMenu(QLatin1String(t::kMenuHelp));
  help->setObjectName(QStringLiteral("help"));
  onlinehelp = menuItem(help, "onlinehelp", t::kMenuOnlineHelp);
  about = menuItem(help, "about", t::kMenuAbout);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);

  Label1 = label(client, "Label1", QLatin1String(t::kLabel1), 30, 15, 1395, 285);
  Label2 = label(client, "Label2", QLatin1String(t::kLabel2), 3555, 15, 510, 270);
  List2 = make<VoteList>(client, "List2", 30, 255, 300, 3150);
  List1 = make<VoteList>(client, "List1", 315, 255, 3225, 3150);
  List3 = make<VoteList>(client, "List3", 3525, 255, 525, 3150);
  for (VoteList* list : {List1, List2, List3})
    list->fitRows(kPlayerSlots);
  alignRows({List1, List2, List3});
  Text3 = readOnlyBox(client, "Text3", t::kText3, 30, 3465, 300, 285);
  Text2 = readOnlyBox(client, "Text2", t::kText2, 315, 3465, 3225, 285);
  Text4 = readOnlyBox(client, "Text4", "0", 3525, 3465, 525, 285);
  Label3 = label(client, "Label3", QLatin1String(t::kLabel3), 30, 3795, 375, 270);
  Text1 = make<QPlainTextEdit>(client, "Text1", 45, 4050, 4035, 1215);
  Text1->setReadOnly(true);
  Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Text1->setFocusPolicy(Qt::StrongFocus);
  Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->document()->setDocumentMargin(1);
  Command1 = button(client, "Command1", t::kCommand1, 45, 5310, 1215, 495);
  Command2 = button(client, "Command2", t::kCommand2, 1440, 5295, 1215, 495);
  Command3 = button(client, "Command3", t::kCommand3, 2850, 5310, 1215, 495);
  Command4 = button(client, "Command4", kPauseService, 45, 5895, 4035, 375);

  QWidget* order[] = {List1,    List2, List3, Text1, Command1, Command2,
                      Command3, Text2, Text3, Text4, Command4};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i)
    setTabOrder(order[i], order[i + 1]);

  qtutils::fitTexts(*this);

  const QRect clientArea = qtutils::twipsRect(*this, 0, 0, kClientWidth, kClientHeight);
  client->setMinimumSize(clientArea.size());
  resize(clientArea.width(), clientArea.height() + menuBar()->sizeHint().height());
}

void MainForm::refresh(const frmmain& core) {
  List1->setRows(core.List1);
  List2->setRows(core.List2);
  List3->setRows(core.List3);
  const QString map = qtutils::toQt(core.Text4);
  if (Text4->text() != map)
    Text4->setText(map);
  const QString log = qtutils::toQt(core.Text1);
  if (Text1->toPlainText() != log) {
    Text1->setPlainText(log);
    // The box has no scroll bars and shows six lines: the newest votes are the ones the operator watches.
    Text1->verticalScrollBar()->setValue(Text1->verticalScrollBar()->maximum());
  }
  const QString caption = qtutils::toQt(core.Command4Caption);
  if (Command4->text() != caption)
    Command4->setText(caption);
}

void MainForm::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onCloseBox)
    onCloseBox();
}
