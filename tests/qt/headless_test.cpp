// zarn-vote as users and service managers run it: --help, --version, a bad argument, and the service
// mode's notices, exit statuses and signals, from the built program.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <utility>
#include <vector>

#include "app/qt/headless_service.h"
#include "qt_test_support.h"
#include "support/service_process.h"
#include "support/temp_folder.h"

namespace {

// The exit code of `program` once it ended by itself within 20 s; -1 when it did not, or ended by a signal.
int exitCode(ChildProcess& program) {
  const std::optional<int> status = program.waitForEnd(std::chrono::seconds(20));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

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
    ChildProcess help({ZARNVOTE_BINARY, "--help"});
    QCOMPARE(exitCode(help), 0);
    const QString usage = QString::fromStdString(help.standardOutput());
    QVERIFY(usage.startsWith(QStringLiteral("Usage: zarn-vote")));
    QVERIFY(usage.contains(QStringLiteral("--headless")) && usage.contains(QStringLiteral("--dir DIR")));

    ChildProcess version({ZARNVOTE_BINARY, "--version"});
    QCOMPARE(exitCode(version), 0);
    QCOMPARE(QByteArray::fromStdString(version.standardOutput()), QByteArray("zarn-vote 1.0.0\n"));

    ChildProcess wrong({ZARNVOTE_BINARY, "--frobnicate"});
    QCOMPARE(exitCode(wrong), 2);
    QVERIFY(wrong.standardError().find("unknown argument: --frobnicate") != std::string::npos);
  }

  void firstRunEndsWithTheSettingsToSet() {
    TempFolder folder;
    ServiceProcess service(ZARNVOTE_BINARY, folder.path(), {"--headless"});
    QCOMPARE(exitCode(service), 2);
    const std::string message = service.standardError();
    for (const char* setting :
         {"First Run=False", "[Game] Name", "[Memory] Chat", "[Memory] Console", "[Memory] Player Start"})
      QVERIFY2(message.find(setting) != std::string::npos, setting);
  }

  // A settings file that cannot be read ends the service at start with the reason, never as a first run;
  // a FIFO must not hold the service up.
  void unreadableSettingsEndTheStart() {
    TempFolder folder;
    const std::string path = (folder / "settings.ini").string();
    QCOMPARE(::mkfifo(path.c_str(), 0644), 0);
    ServiceProcess service(ZARNVOTE_BINARY, folder.path(), {"--headless"});
    QCOMPARE(exitCode(service), 2);
    QCOMPARE(QByteArray::fromStdString(service.standardError()),
             QByteArray::fromStdString("zarn-vote: cannot read " + path + ": is not a regular file\n"));
  }

  // On a reload the service says so, every time, and runs on with the settings it has: its ticks keep
  // trying to attach to the game the file named before.
  void unreadableSettingsOnReloadAreToldAndTheServiceRunsOn() {
    TempFolder folder;
    folder.write("settings.ini",
                 "[Game]\r\nName=No Such Game\r\n[General]\r\nFirst Run=False\r\nInterval=20\r\n");
    ServiceProcess service(ZARNVOTE_BINARY, folder.path(), {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(occurrences(service.standardError(), "Unable to connect") > 0, 20000);

    const std::filesystem::path path = folder / "settings.ini";
    QVERIFY(std::filesystem::remove(path) && std::filesystem::create_directory(path));
    const std::string told = "zarn-vote: cannot read " + path.string() + ": is a folder\n";
    for (int reloads = 1; reloads <= 2; ++reloads) {
      service.signal(SIGHUP);
      QTRY_VERIFY_WITH_TIMEOUT(
          occurrences(service.standardError(), "Unable to connect to: No Such Game") == reloads + 1, 20000);
      QCOMPARE(occurrences(service.standardError(), told), reloads);
    }

    service.signal(SIGTERM);
    QCOMPARE(exitCode(service), 0);
  }

  void noticesOnceAndSignals_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
  }

  void noticesOnceAndSignals() {
    QFETCH(int, signal);
    TempFolder folder;
    folder.write(
        "settings.ini",
        "[Game]\r\nName=No Such Game\r\n[General]\r\nFirst Run=False\r\nInterval=20\r\nInterval 2=0\r\n");
    ServiceProcess service(ZARNVOTE_BINARY, folder.path(), {"--headless"});
    QVERIFY(service.pid() > 0);
    QTRY_VERIFY_WITH_TIMEOUT(occurrences(service.standardError(), "Unable to connect to: No Such Game") > 0,
                             20000);
    // The attach fails on every tick (every 20 ms); the notice stands once.
    QTest::qWait(500);
    QCOMPARE(occurrences(service.standardError(), "Unable to connect"), 1);
    QVERIFY(occurrences(service.standardError(),
                        "Unable to connect to: No Such Game | Please make sure it is running") > 0);

    // SIGHUP reloads and tells again.
    service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(occurrences(service.standardError(), "Unable to connect") == 2, 20000);
    QVERIFY(occurrences(service.standardError(), "reloading the settings") > 0);

    service.signal(signal);
    QCOMPARE(exitCode(service), 0);
  }

  // First Run=True in the settings of a service already running (a reload, or Start from the remote
  // console) is told, and the service goes on: ending it would leave a remote operator without the console
  // that could start it again, and his request without an answer.
  void firstRunAtAReloadIsToldAndTheServiceGoesOn() {
    TempFolder folder;
    const std::string running =
        "[Game]\r\nName=No Such Game\r\n[General]\r\nFirst Run=False\r\nInterval=20\r\n";
    folder.write("settings.ini", running);
    ServiceProcess service(ZARNVOTE_BINARY, folder.path(), {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(occurrences(service.standardError(), "Unable to connect") == 1, 20000);
    folder.write("settings.ini", "[General]\r\nFirst Run=True\r\n");
    service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(occurrences(service.standardError(), "First Run is True") == 1, 20000);
    folder.write("settings.ini", running);
    service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(occurrences(service.standardError(), "Unable to connect") == 2, 20000);
    service.signal(SIGTERM);
    QCOMPARE(exitCode(service), 0);
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
