// The main window on screen: its controls where the layout puts them, the vote table in whole rows, every
// button and menu item reaching the core, the activation on returning from each dialog (and not after a
// notice or another program), Pause and Start Service, and the ends of the program.
#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWindow>

#include "app/qt/qt_utils.h"
#include "app/qt/vote_list.h"
#include "qt_test_support.h"

class MainWindowUiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qtutils::setUpProgramLook(); }

  void controlsSitWhereTheLayoutPutsThem() {
    Harness h(kQuietSettings);
    MainForm& form = h.program->form();
    QCOMPARE(form.windowTitle(), QStringLiteral("Zarn - Vote"));
    QVERIFY(!form.windowIcon().isNull());
    QCOMPARE(form.centralWidget()->minimumSize(), QSize(276, 424));

    const struct {
      const char* name;
      QRect rect;
      QString text;
    } controls[] = {
        {"Label1", fromTwips(30, 15, 1395, 285), "Player ID/Name:"},
        {"Label2", fromTwips(3555, 15, 510, 270), "Votes:"},
        {"List2", fromTwips(30, 255, 300, 3150), {}},
        {"List1", fromTwips(315, 255, 3225, 3150), {}},
        {"List3", fromTwips(3525, 255, 525, 3150), {}},
        {"Text3", fromTwips(30, 3465, 300, 285), "##"},
        {"Text2", fromTwips(315, 3465, 3225, 285), "Map"},
        {"Text4", fromTwips(3525, 3465, 525, 285), "0"},
        {"Label3", fromTwips(30, 3795, 375, 270), "Log:"},
        {"Text1", fromTwips(45, 4050, 4035, 1215), {}},
        {"Command1", fromTwips(45, 5310, 1215, 495), "Clear Votes"},
        {"Command2", fromTwips(1440, 5295, 1215, 495), "Next Map"},
        {"Command3", fromTwips(2850, 5310, 1215, 495), "Punt/Ban Player"},
        {"Command4", fromTwips(45, 5895, 4035, 375), "Pause Service"},
    };
    for (const auto& expected : controls) {
      auto* control = form.centralWidget()->findChild<QWidget*>(QLatin1String(expected.name));
      QVERIFY2(control != nullptr, expected.name);
      QCOMPARE(control->geometry(), expected.rect);
      if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->text(), expected.text);
      if (auto* button = qobject_cast<QPushButton*>(control))
        QCOMPARE(button->text(), expected.text);
      if (auto* box = qobject_cast<QLineEdit*>(control)) {
        QCOMPARE(box->text(), expected.text);
        QVERIFY(box->isReadOnly());
      }
    }
    QVERIFY(form.Text1->isReadOnly());
    QCOMPARE(form.Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  }

  void tabOrderAndMenus() {
    Harness h(kQuietSettings);
    MainForm& form = h.program->form();
    QStringList order;
    QWidget* widget = form.List1;
    for (int i = 0; i < 11; ++i, widget = widget->nextInFocusChain()) {
      while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty())
        widget = widget->nextInFocusChain();
      order << widget->objectName();
    }
    QCOMPARE(order, QStringList({"List1", "List2", "List3", "Text1", "Command1", "Command2", "Command3",
                                 "Text2", "Text3", "Text4", "Command4"}));

    auto items = [](QMenu* menu) {
      QStringList list;
      for (QAction* action : menu->actions())
        list << action->objectName() + "=" + action->text();
      return list;
    };
    QCOMPARE(form.file->objectName() + "=" + form.file->title(), QStringLiteral("file=&Options"));
    QCOMPARE(items(form.file), QStringList({"choosegame=&Choose Game", "puntbanplayer=&Punt/Ban a Player",
                                            "nextmap=&Next Map", "exit=&Exit"}));
    QCOMPARE(form.help->objectName() + "=" + form.help->title(), QStringLiteral("help=&Help"));
    QCOMPARE(items(form.help), QStringList({"onlinehelp=O&nline Help", "about=&About"}));
  }

  void sixteenWholeRowsAndNoSeventeenth() {
    Harness h(kQuietSettings);
    MainForm& form = h.program->form();
    h.program->show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (VoteList* list : {form.List1, form.List2, form.List3}) {
      QCOMPARE(list->count(), 16);
      QVERIFY(list->rowHeight() >= list->fontMetrics().height());
      const QRect view = list->viewport()->rect();
      for (int row = 0; row < 16; ++row) {
        const QRect item = list->visualItemRect(list->item(row));
        QVERIFY2(item.top() >= view.top() && item.bottom() <= view.bottom(), qPrintable(list->objectName()));
      }
      // A seventeenth row would start past the visible part.
      QVERIFY(16 * list->rowHeight() + list->rowHeight() > view.height());
      QCOMPARE(list->verticalScrollBar()->maximum(), 0);
    }
    QCOMPARE(form.List2->item(0)->text(), QStringLiteral("00"));
    QCOMPARE(form.List2->item(15)->text(), QStringLiteral("15"));
    QCOMPARE(form.List3->item(15)->text(), QStringLiteral("0"));
  }

  void listsStayAlignedRowForRow() {
    Harness h(kQuietSettings);
    MainForm& form = h.program->form();
    h.showAttached();
    // More rows than fit, so that the lists could scroll apart.
    frmmain& core = h.program->core();
    core.List1.assign(40, "x");
    core.List2.assign(40, "x");
    core.List3.assign(40, "x");
    h.program->refresh();
    form.List2->setCurrentRow(35);
    QCOMPARE(form.List1->currentRow(), 35);
    QCOMPARE(form.List3->currentRow(), 35);
    QCOMPARE(form.List1->selectedItems().value(0), form.List1->item(35));
    form.List3->verticalScrollBar()->setValue(7);
    QCOMPARE(form.List1->verticalScrollBar()->value(), 7);
    QCOMPARE(form.List2->verticalScrollBar()->value(), 7);
  }

  void refreshShowsTheCoreAndKeepsTheSelection() {
    Harness h(kQuietSettings);
    MainForm& form = h.program->form();
    form.List1->setCurrentRow(4);
    frmmain& core = h.program->core();
    core.List1[4] = "Bob";
    core.List3[4] = "3";
    core.Text4 = "2";
    core.Text1 = "Bob: /vote 4\r\n";
    h.program->refresh();
    QCOMPARE(form.List1->item(4)->text(), QStringLiteral("Bob"));
    QCOMPARE(form.List3->item(4)->text(), QStringLiteral("3"));
    QCOMPARE(form.Text4->text(), QStringLiteral("2"));
    QCOMPARE(form.Text1->toPlainText(), QStringLiteral("Bob: /vote 4\n"));
    QCOMPARE(form.List1->currentRow(), 4);
    QCOMPARE(form.List3->currentRow(), 4);

    // A log longer than the box shows its newest lines.
    for (int voter = 0; voter < 12; ++voter)
      core.Text1 += "Voter" + std::to_string(voter) + ": /vote 4\r\n";
    h.program->refresh();
    QScrollBar* bar = form.Text1->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
  }

  void buttonsReachTheCore() {
    Harness h("[General]\r\nFirst Run=False\r\nInterval=0\r\nInterval 2=7000\r\n");
    GuiProgram& program = *h.program;
    MainForm& form = program.form();
    h.showAttached();

    program.core().List3[2] = "4";
    program.core().Text4 = "3";
    program.refresh();
    form.Command1->click();
    QCOMPARE(form.List3->item(2)->text(), QStringLiteral("0"));
    QCOMPARE(form.Text4->text(), QStringLiteral("0"));
    QVERIFY(program.globals().clearVotesRequested);

    program.core().Text4 = "3";
    form.Command2->click();
    QVERIFY(program.globals().nextMapRequested);
    QCOMPARE(
        h.notices.texts.value(0),
        QStringLiteral("Map will be reset on the next checking cycle.\n(under 7000m/s)\nMap votes reset"));
    QCOMPARE(form.Text4->text(), QStringLiteral("0"));

    form.Command3->click();
    QVERIFY(program.puntBanWindow() != nullptr && program.puntBanWindow()->isVisible());
    form.Command3->click();
    QCOMPARE(countTopLevel<PuntBanWindow>(), 1);
    program.puntBanWindow()->close();
  }

  void menusReachTheCore() {
    Harness h(kQuietSettings);
    GuiProgram& program = *h.program;
    MainForm& form = program.form();
    h.showAttached();

    form.choosegame->trigger();
    form.choosegame->trigger();
    QCOMPARE(countTopLevel<ChooserWindow>(), 1);
    form.puntbanplayer->trigger();
    QCOMPARE(countTopLevel<PuntBanWindow>(), 1);
    form.about->trigger();
    form.about->trigger();
    QCOMPARE(countTopLevel<AboutWindow>(), 1);
    form.nextmap->trigger();
    QVERIFY(program.globals().nextMapRequested);
    QCOMPARE(h.notices.texts.size(), 1);
    form.onlinehelp->trigger();
    QCOMPARE(h.urls, QList<QUrl>({QUrl(QString::fromLatin1(kOnlineHelpAddress))}));

    // Exit ends the program at once and takes every window with it.
    try {
      form.exit->trigger();
      QFAIL("Exit returned");
    } catch (const ProgramEnded& ended) {
      QCOMPARE(ended.status, 0);
    }
    QVERIFY(!form.isVisible());
    QVERIFY(!program.chooserWindow()->isVisible());
    QVERIFY(!program.aboutWindow()->isVisible());
    QVERIFY(!program.timer1().running() && !program.timer2().running());
  }

  void activationRunsOnReturnFromEachDialog() {
    Harness h(kQuietSettings);
    GuiProgram& program = *h.program;
    h.showAttached();

    program.showAbout();
    QTRY_COMPARE(QGuiApplication::focusWindow(), program.aboutWindow()->windowHandle());
    program.aboutWindow()->cmdOK->click();
    QTRY_COMPARE(h.link.opens, 2);

    program.showPuntBanDialog();
    QTRY_COMPARE(QGuiApplication::focusWindow(), program.puntBanWindow()->windowHandle());
    program.puntBanWindow()->Command1->click();
    QTRY_COMPARE(h.link.opens, 3);

    program.showChooser();
    QTRY_COMPARE(QGuiApplication::focusWindow(), program.chooserWindow()->windowHandle());
    program.chooserWindow()->close();  // the close box
    QTRY_COMPARE(h.link.opens, 4);
    QTRY_COMPARE(QGuiApplication::focusWindow(), program.form().windowHandle());

    // Back from another program: no activation.
    program.activationWatch().onFocusWindow(nullptr);
    program.activationWatch().onFocusWindow(program.form().windowHandle());
    QTest::qWait(100);
    QCOMPARE(h.link.opens, 4);
  }

  void noActivationAfterANotice() {
    qtutils::MessageBoxNotices boxes;
    Harness h(kQuietSettings, &boxes);
    ModalGuard guard;
    GuiProgram& program = *h.program;
    h.showAttached();

    QString title;
    QStringList buttons;
    QTimer::singleShot(200, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      title = box->windowTitle();
      for (QAbstractButton* button : box->buttons())
        buttons << button->text();
      box->buttons().value(0)->click();
    });
    program.form().Command2->click();
    QCOMPARE(title, QStringLiteral("Zarn - Vote"));
    QCOMPARE(buttons.size(), 1);
    QTest::qWait(200);
    QCOMPARE(h.link.opens, 1);
    QVERIFY2(guard.closed.isEmpty(), qPrintable(guard.closed.join(", ")));
  }

  // Every return to the main window runs the activation; an unreadable settings file is told once, until
  // it reads again. Pause and Start Service stand in for the returns here.
  void unreadableSettingsAreToldOnceUntilTheyReadAgain() {
    Harness h(kQuietSettings);
    GuiProgram& program = *h.program;
    MainForm& form = program.form();
    const QString path = h.settingsPath();
    const QString notice = "Cannot read " + path + ": is a folder";
    auto restart = [&form] {
      form.Command4->click();
      form.Command4->click();
    };
    QVERIFY(QFile::remove(path) && QDir().mkdir(path));
    program.show();
    QTRY_COMPARE(h.notices.texts, QStringList{notice});
    QVERIFY(program.chooserWindow() == nullptr);
    restart();
    QCOMPARE(h.notices.texts.size(), 1);

    QVERIFY(QDir().rmdir(path));
    writeFile(path, kQuietSettings);
    restart();
    QCOMPARE(h.link.opens, 1);
    QVERIFY(QFile::remove(path) && QDir().mkdir(path));
    restart();
    QCOMPARE(h.notices.texts, QStringList({notice, notice}));
    QCOMPARE(h.link.opens, 1);
    QVERIFY(program.chooserWindow() == nullptr);
  }

  void pauseThenStartServiceTakesChangedSettings() {
    Harness h("[General]\r\nFirst Run=False\r\nInterval=0\r\nInterval 2=30000\r\n");
    GuiProgram& program = *h.program;
    MainForm& form = program.form();
    h.showAttached();
    QVERIFY(program.timer2().running());

    form.Command4->click();
    QCOMPARE(form.Command4->text(), QStringLiteral("Start Service"));
    QVERIFY(!program.timer2().running());

    writeFile(h.settingsPath(), "[General]\r\nFirst Run=False\r\nInterval=0\r\nInterval 2=25000\r\n");
    form.Command4->click();
    QCOMPARE(form.Command4->text(), QStringLiteral("Pause Service"));
    QCOMPARE(h.link.opens, 2);
    QCOMPARE(program.timer2().interval(), 25000);
    QVERIFY(program.timer2().running());
    QVERIFY(!program.timer1().running());  // Interval 0: never ticks
  }

  void closeBoxLeavesTheOtherWindowsUntilTheLastCloses() {
    Harness h("[General]\r\nFirst Run=False\r\nInterval=30000\r\nInterval 2=30000\r\n");
    GuiProgram& program = *h.program;
    h.showAttached();
    program.showAbout();

    program.form().close();
    QVERIFY(!program.form().isVisible());
    QVERIFY(program.aboutWindow()->isVisible());
    QVERIFY(!program.timer1().running() && !program.timer2().running());

    try {
      program.aboutWindow()->close();
      QFAIL("the last window closed and the program went on");
    } catch (const ProgramEnded& ended) {
      QCOMPARE(ended.status, 0);
    }
  }

 private:
  template <typename Window>
  static int countTopLevel() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
      count += dynamic_cast<Window*>(widget) != nullptr && widget->isVisible() ? 1 : 0;
    return count;
  }
};

QTEST_MAIN(MainWindowUiTest)
#include "main_window_ui_test.moc"
