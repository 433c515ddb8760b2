// The three small windows on screen: captions, places, limits, default and cancel keys, the chooser's
// hidden lists, and the About box's System Info on a Linux desktop.
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "app/qt/qt_utils.h"
#include "qt_test_support.h"
#include "settings/ini.h"

namespace {

QWidget* nextFocusable(QWidget* widget) {
  do
    widget = widget->nextInFocusChain();
  while (widget->focusPolicy() == Qt::NoFocus);
  return widget;
}

}  // namespace

class DialogsUiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qtutils::setUpProgramLook(); }

  void puntBanDialog() {
    Harness h(kQuietSettings);
    // With the main window open, closing a dialog does not end the program.
    h.showAttached();
    h.program->showPuntBanDialog();
    QPointer<PuntBanWindow> dialog = h.program->puntBanWindow();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->objectName(), QStringLiteral("Dialog"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Punt Player"));
    QCOMPARE(dialog->size(), QSize(4365 / 15, 1515 / 15));
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->cmdpunt->geometry(), fromTwips(255, 960, 1215, 375));
    QCOMPARE(dialog->cmdban->geometry(), fromTwips(1575, 960, 1215, 375));
    QCOMPARE(dialog->Label1->geometry(), fromTwips(322, 195, 3720, 255));
    QCOMPARE(dialog->Text1->geometry(), fromTwips(1935, 555, 615, 285));
    QCOMPARE(dialog->Command1->geometry(), fromTwips(2895, 960, 1215, 375));
    QCOMPARE(dialog->cmdpunt->text() + dialog->cmdban->text() + dialog->Command1->text(),
             QStringLiteral("&Punt&Ban&Cancel"));
    QCOMPARE(dialog->Label1->text(), QStringLiteral("Enter the number of the player you wish to punt/ban:"));
    QVERIFY(!dialog->cmdpunt->isDefault() && !dialog->cmdban->isDefault() && !dialog->Command1->isDefault());
    QCOMPARE(nextFocusable(dialog->cmdpunt), dialog->cmdban);
    QCOMPARE(nextFocusable(dialog->cmdban), dialog->Text1);
    QCOMPARE(nextFocusable(dialog->Text1), dialog->Command1);

    // Two characters at most; Enter in the box presses nothing.
    dialog->Text1->setFocus();
    QTest::keyClicks(dialog->Text1, "123");
    QCOMPARE(dialog->Text1->text(), QStringLiteral("12"));
    QTest::keyClick(dialog->Text1, Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QVERIFY(h.notices.texts.isEmpty());

    // A number that converts: the request, the notice, the dialog closes.
    dialog->Text1->setText(QStringLiteral(" 7"));
    dialog->cmdpunt->click();
    QCOMPARE(h.program->globals().puntPlayerNumber, 7);
    QVERIFY(h.program->globals().puntRequested);
    QCOMPARE(h.notices.texts.value(0),
             QStringLiteral("The player will be punted on the next checking cycle.\n"
                            "(Under 0m/s)"));
    QTRY_VERIFY(dialog.isNull());

    // Text that is no number: the error notice, the dialog stays.
    h.program->showPuntBanDialog();
    dialog = h.program->puntBanWindow();
    dialog->Text1->setText(QStringLiteral("ab"));
    dialog->cmdban->click();
    QVERIFY(!h.program->globals().banRequested);
    QCOMPARE(h.notices.texts.value(1),
             QStringLiteral("An error occured, unable to proccess your request!\n\n"));
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->Text1->text(), QStringLiteral("ab"));

    // Enter on a focused button presses it, as it does on Windows.
    dialog->Command1->setFocus();
    QTest::keyClick(dialog->Command1, Qt::Key_Return);
    QTRY_VERIFY(dialog.isNull());

    // Escape presses Cancel.
    h.program->showPuntBanDialog();
    dialog = h.program->puntBanWindow();
    QTest::keyClick(dialog->Text1, Qt::Key_Escape);
    QTRY_VERIFY(dialog.isNull());
  }

  void chooser() {
    Harness h(kQuietSettings +
              "[All Games]\r\nGame Number=2\r\nGame 1=Land Warrior\r\nChat 1=&H1\r\n"
              "Console 1=&H2\r\nPlayer Start 1=&H3\r\nGame 2=Task Force Dagger\r\nChat 2=&H4\r\n"
              "Console 2=&H5\r\nPlayer Start 2=&H6\r\n");
    h.showAttached();
    h.program->showChooser();
    QPointer<ChooserWindow> chooser = h.program->chooserWindow();
    QVERIFY(QTest::qWaitForWindowExposed(chooser));
    QCOMPARE(chooser->windowTitle(), QStringLiteral("Dialog Caption"));
    QCOMPARE(chooser->size(), QSize(5130 / 15, 945 / 15));
    QCOMPARE(chooser->OKButton->geometry(), fromTwips(2400, 480, 1215, 375));
    QCOMPARE(chooser->CancelButton->geometry(), fromTwips(3720, 480, 1215, 375));
    QCOMPARE(chooser->Combo1->geometry(), fromTwips(720, 90, 4275, 315));
    QCOMPARE(chooser->Label1->geometry(), fromTwips(120, 120, 615, 255));
    QCOMPARE(chooser->Label1->text(), QStringLiteral("Game:"));
    QVERIFY(!chooser->OKButton->isDefault());
    QVERIFY(chooser->Combo1->isEditable());
    QCOMPARE(chooser->Combo1->currentText(), QStringLiteral("---[Choose Game]---"));
    QCOMPARE(chooser->Combo1->count(), 2);
    QCOMPARE(chooser->Combo1->itemText(1), QStringLiteral("Task Force Dagger"));
    for (QListWidget* hidden : {chooser->List1, chooser->List2, chooser->List3}) {
      QVERIFY(!hidden->isVisible());
      QCOMPARE(hidden->count(), 2);
    }
    QCOMPARE(chooser->List3->item(1)->text(), QStringLiteral("&H6"));

    // Escape does nothing; OK on the prompt refuses.
    QTest::keyClick(chooser->Combo1, Qt::Key_Escape);
    QVERIFY(chooser->isVisible());
    chooser->OKButton->click();
    QCOMPARE(h.notices.texts, QStringList({"You must select a game version!"}));

    chooser->Combo1->setCurrentIndex(1);
    chooser->OKButton->click();
    QTRY_VERIFY(chooser.isNull());
    const std::string path = h.settingsPath().toStdString();
    QCOMPARE(INI::ReadIniValue(path, "Game", "Name", ""), std::string("Task Force Dagger"));
    QCOMPARE(INI::ReadIniValue(path, "Memory", "Chat", ""), std::string("&H4"));
    QCOMPARE(INI::ReadIniValue(path, "Memory", "Console", ""), std::string("&H5"));
    QCOMPARE(INI::ReadIniValue(path, "Memory", "Player Start", ""), std::string("&H6"));
    QCOMPARE(INI::ReadIniValue(path, "General", "First Run", ""), std::string("False"));
  }

  void aboutBox() {
    Harness h(kQuietSettings);
    h.showAttached();
    h.program->showAbout();
    QPointer<AboutWindow> about = h.program->aboutWindow();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->windowTitle(), QStringLiteral("About"));
    QCOMPARE(about->size(), QSize(5730 / 15, 3555 / 15));
    QCOMPARE(about->cmdOK->geometry(), fromTwips(4245, 2625, 1260, 345));
    QCOMPARE(about->cmdSysInfo->geometry(), fromTwips(4260, 3075, 1245, 345));
    QCOMPARE(about->lblDisclaimer->geometry(), fromTwips(255, 2625, 3870, 825));
    QCOMPARE(about->Image1->geometry(), fromTwips(210, 240, 480, 480));
    QVERIFY(!about->Image1->pixmap().isNull());
    QCOMPARE(about->lblTitle->text(), QStringLiteral("Voting System"));
    QCOMPARE(about->lblVersion->text(), QStringLiteral("Version 1.0.0"));
    QCOMPARE(about->cmdSysInfo->text(), QStringLiteral("&System Info..."));
    QCOMPARE(about->lblDisclaimer->text().size(), 230);
    QVERIFY(about->lblDisclaimer->text().contains(QStringLiteral("risk -") + QString(32, u' ') + "I cannot"));
    QCOMPARE(about->Label1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(about->cmdOK->isDefault());
    QVERIFY(about->findChild<QWidget*>(QStringLiteral("Line1")) != nullptr);

    // No system-information program on the PATH.
    about->cmdSysInfo->click();
    QCOMPARE(h.notices.texts, QStringList({"System Information Is Unavailable At This Time"}));

    QTest::keyClick(about, Qt::Key_Escape);
    QTRY_VERIFY(about.isNull());
    h.program->showAbout();
    about = h.program->aboutWindow();
    QTest::keyClick(about, Qt::Key_Return);
    QTRY_VERIFY(about.isNull());
  }

  void systemInfoStartsTheProgramFoundOnThePath() {
    QTemporaryDir bin;
    const QString marker = bin.filePath(QStringLiteral("started"));
    const QString program = bin.filePath(QStringLiteral("hardinfo"));
    writeFile(program, "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n");
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    LinuxSystem system(bin.path());
    QCOMPARE(system.systemInfoProgram(), program);
    RecordingNotices notices;
    TickNesting ticks;
    AboutWindow about(system, notices, ticks);
    about.cmdSysInfo->click();
    QTRY_VERIFY(QFileInfo::exists(marker));
    QVERIFY(notices.texts.isEmpty());
  }
};

QTEST_MAIN(DialogsUiTest)
#include "dialogs_ui_test.moc"
