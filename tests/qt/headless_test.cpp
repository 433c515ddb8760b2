// zarn-vote as users and service managers run it: --help, --version, a bad argument, and the service
// mode's notices, exit statuses and signals, from the built program.
#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sstream>
#include <utility>
#include <vector>

#include "app/qt/headless_service.h"
#include "qt_test_support.h"

namespace {

// A game that records the console steps it is sent; its pauses let the service handle its events, and the
// first one brings a signal in, as a service manager stopping the service mid-sequence would.
class SignalledLink final : public MemoryControl {
 public:
  explicit SignalledLink(int signal) : signal_(signal) {}
  bool OpenGame(std::string&) override { return true; }
  std::string ReadString(const std::string& address, const ReadLength&) override {
    calls.push_back("read " + address);
    return {};
  }
  void WriteString(const std::string&, const std::string& text, bool) override {
    calls.push_back("write " + text);
  }
  void SendKey(std::int16_t key) override { calls.push_back("key " + std::to_string(key)); }
  void Wait(const PauseSeconds&) override {
    calls.push_back("wait");
    if (signal_ != 0)
      ::raise(std::exchange(signal_, 0));
    for (int i = 0; i < 3; ++i)
      QCoreApplication::processEvents();
  }
  std::vector<std::string> calls;

 private:
  int signal_;
};

}  // namespace

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

  // A stop in the middle of a console command lets the command finish (the game's console is not left
  // open with "punt 3" in it); nothing after it is sent.
  void aStopWaitsForTheConsoleSequenceInProgress_data() { noticesOnceAndSignals_data(); }
  void aStopWaitsForTheConsoleSequenceInProgress() {
    QFETCH(int, signal);
    QTemporaryDir folder;
    writeFile(folder.filePath(QStringLiteral("settings.ini")), "[General]\r\nFirst Run=False\r\n");
    SignalledLink link(signal);
    SystemClock clock;
    ThrowingEnd end;
    std::ostringstream log;
    HeadlessService service(folder.path().toStdString(), link, clock, end, log);
    service.start();
    Globals& requests = service.core().globals;
    requests.puntPlayerNumber = 3;
    requests.puntRequested = true;
    requests.banPlayerNumber = 4;
    requests.banRequested = true;
    try {
      service.core().Timer2_Timer();
      QFAIL("the service did not stop");
    } catch (const ProgramEnded& ended) {
      QCOMPARE(ended.status, 0);
    }
    const std::vector<std::string> sent = {"read &H11038DC", "key 192", "wait", "write punt 3",
                                           "wait",           "key 13",  "wait"};
    std::string got;
    for (const auto& call : link.calls)
      got += call + "; ";
    QVERIFY2(link.calls == sent, got.c_str());
    QVERIFY(log.str().find("once the console sequence in progress is finished") != std::string::npos);
  }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "headless_test.moc"
