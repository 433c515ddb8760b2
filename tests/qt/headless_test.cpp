// zarn-vote as users and service managers run it: --help, --version, a bad argument, and the service
// mode's notices, exit statuses and signals, from the built program.
#include <signal.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "qt_test_support.h"

class HeadlessTest : public QObject {
  Q_OBJECT

 private slots:
  void helpAndVersion() {
    QProcess help;
    help.start(QStringLiteral(ZARNVOTE_BINARY), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(20000));
    QCOMPARE(help.exitCode(), 0);
    const QString usage = QString::fromLocal8Bit(help.readAllStandardOutput());
    QVERIFY(usage.startsWith(QStringLiteral("Usage: zarn-vote")));
    QVERIFY(usage.contains(QStringLiteral("--headless")) && usage.contains(QStringLiteral("--dir DIR")));

    QProcess version;
    version.start(QStringLiteral(ZARNVOTE_BINARY), {QStringLiteral("--version")});
    QVERIFY(version.waitForFinished(20000));
    QCOMPARE(version.exitCode(), 0);
    QCOMPARE(version.readAllStandardOutput(), QByteArray("zarn-vote 1.0.0\n"));

    QProcess wrong;
    wrong.start(QStringLiteral(ZARNVOTE_BINARY), {QStringLiteral("--frobnicate")});
    QVERIFY(wrong.waitForFinished(20000));
    QCOMPARE(wrong.exitCode(), 2);
    QVERIFY(wrong.readAllStandardError().contains("unknown argument: --frobnicate"));
  }

  void firstRunEndsWithTheSettingsToSet() {
    QTemporaryDir folder;
    QProcess service;
    service.start(QStringLiteral(ZARNVOTE_BINARY), {"--headless", "--dir", folder.path()});
    QVERIFY(service.waitForFinished(20000));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 2);
    const QByteArray message = service.readAllStandardError();
    for (const char* setting :
         {"First Run=False", "[Game] Name", "[Memory] Chat", "[Memory] Console", "[Memory] Player Start"})
      QVERIFY2(message.contains(setting), setting);
  }

  // A settings file that cannot be read ends the service at start with the reason, never as a first run;
  // a FIFO must not hold the service up.
  void unreadableSettingsEndTheStart() {
    QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("settings.ini")));
    QCOMPARE(::mkfifo(path.constData(), 0644), 0);
    QProcess service;
    service.start(QStringLiteral(ZARNVOTE_BINARY), {"--headless", "--dir", folder.path()});
    QVERIFY(service.waitForFinished(20000));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 2);
    QCOMPARE(service.readAllStandardError(), "zarn-vote: cannot read " + path + ": is not a regular file\n");
  }

  // On a reload the service says so, every time, and runs on with the settings it has: its ticks keep
  // trying to attach to the game the file named before.
  void unreadableSettingsOnReloadAreToldAndTheServiceRunsOn() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("settings.ini"));
    writeFile(path, "[Game]\r\nName=No Such Game\r\n[General]\r\nFirst Run=False\r\nInterval=20\r\n");
    QProcess service;
    service.start(QStringLiteral(ZARNVOTE_BINARY), {"--headless", "--dir", folder.path()});
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += service.readAllStandardError()).contains("Unable to connect"), 20000);

    QVERIFY(QFile::remove(path) && QDir().mkdir(path));
    const QByteArray told = "zarn-vote: cannot read " + QFile::encodeName(path) + ": is a folder\n";
    for (int reloads = 1; reloads <= 2; ++reloads) {
      ::kill(static_cast<pid_t>(service.processId()), SIGHUP);
      QTRY_VERIFY_WITH_TIMEOUT(
          (log += service.readAllStandardError()).count("Unable to connect to: No Such Game") == reloads + 1,
          20000);
      QCOMPARE(log.count(told), reloads);
    }

    ::kill(static_cast<pid_t>(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(20000));
    QCOMPARE(service.exitCode(), 0);
  }

  void noticesOnceAndSignals_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
  }

  void noticesOnceAndSignals() {
    QFETCH(int, signal);
    QTemporaryDir folder;
    writeFile(
        folder.filePath(QStringLiteral("settings.ini")),
        "[Game]\r\nName=No Such Game\r\n[General]\r\nFirst Run=False\r\nInterval=20\r\nInterval 2=0\r\n");
    QProcess service;
    service.start(QStringLiteral(ZARNVOTE_BINARY), {"--headless", "--dir", folder.path()});
    QVERIFY(service.waitForStarted(20000));
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT(
        (log += service.readAllStandardError()).contains("Unable to connect to: No Such Game"), 20000);
    // The attach fails on every tick (every 20 ms); the notice stands once.
    QTest::qWait(500);
    log += service.readAllStandardError();
    QCOMPARE(log.count("Unable to connect"), 1);
    QVERIFY(log.contains("Unable to connect to: No Such Game | Please make sure it is running"));

    // SIGHUP reloads and tells again.
    ::kill(static_cast<pid_t>(service.processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT((log += service.readAllStandardError()).count("Unable to connect") == 2, 20000);
    QVERIFY(log.contains("reloading the settings"));

    ::kill(static_cast<pid_t>(service.processId()), signal);
    QVERIFY(service.waitForFinished(20000));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 0);
  }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "headless_test.moc"
