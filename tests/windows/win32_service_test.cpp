// The Windows event loop, its window timers and the console service on them. The timers run in real time
// here, as Windows keeps it; every margin is a multiple of the timer's granularity (about 16 ms).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "app/win32/console_service.h"
#include "app/win32/win32_loop.h"
#include "support/fixed_clock.h"
#include "support/scripted_memory_control.h"
#include "support/temp_folder.h"

namespace {

struct TimerCase {
  const char* name;
  int interval;
  bool enabled;
  bool fires;
};

class Win32TimerTest : public ::testing::TestWithParam<TimerCase> {};

// Interval 0 never fires, enabled or not; a disabled timer keeps its interval but does not fire.
TEST_P(Win32TimerTest, FiresOnlyWhenEnabledWithAnIntervalAboveZero) {
  Win32Loop loop;
  int ticks = 0;
  Win32Timer timer(loop, [&ticks] { ++ticks; });
  timer.setInterval(GetParam().interval);
  timer.setEnabled(GetParam().enabled);
  loop.pause(0.3);
  EXPECT_EQ(GetParam().fires, ticks > 0) << ticks << " ticks";
  EXPECT_EQ(GetParam().interval, timer.interval());
}

INSTANTIATE_TEST_SUITE_P(States, Win32TimerTest,
                         ::testing::Values(TimerCase{"ZeroEnabled", 0, true, false},
                                           TimerCase{"ZeroDisabled", 0, false, false},
                                           TimerCase{"SetDisabled", 50, false, false},
                                           TimerCase{"SetEnabled", 50, true, true}),
                         [](const auto& state) { return std::string(state.param.name); });

// Every activation sets the interval again: that must not restart the countdown, or activations quicker
// than the interval would hold the tick off for ever.
TEST(Win32LoopTest, SettingTheSameIntervalAgainKeepsTheCountdown) {
  Win32Loop loop;
  const ULONGLONG start = GetTickCount64();
  ULONGLONG firstTick = 0;
  Win32Timer timer(loop, [&] {
    if (firstTick == 0)
      firstTick = GetTickCount64() - start;
  });
  timer.setInterval(1000);
  loop.pause(0.5);
  timer.setInterval(1000);
  while (firstTick == 0 && GetTickCount64() - start < 5000)
    loop.pause(0.05);
  // Due at 1000 ms; a countdown restarted at 500 ms would fire at 1500 ms at the earliest.
  EXPECT_GE(firstTick, 1000u);
  EXPECT_LT(firstTick, 1450u);
}

// The collection tick must be able to fire inside a processing tick's pause, and a tick inside its own.
TEST(Win32LoopTest, ATimerFiresInsideItsOwnTicksPause) {
  Win32Loop loop;
  int ticks = 0;
  int ticksDuringPause = 0;
  Win32Timer timer(loop, [&] {
    if (++ticks == 1) {
      loop.pause(0.4);
      ticksDuringPause = ticks - 1;
    }
  });
  timer.setInterval(60);
  loop.pause(0.2);
  EXPECT_GE(ticksDuringPause, 2);
}

TEST(Win32LoopTest, APauseSleepsAndLaterTasksRunFromTheLoop) {
  Win32Loop loop;
  bool ran = false;
  loop.runLater(std::chrono::milliseconds(0), [&ran] { ran = true; });
  EXPECT_FALSE(ran);

  FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelBefore, &userBefore);
  const ULONGLONG start = GetTickCount64();
  loop.pause(0.5);
  const ULONGLONG elapsed = GetTickCount64() - start;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelAfter, &userAfter);
  auto ticks = [](const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  const ULONGLONG busy100ns =
      ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore);

  EXPECT_TRUE(ran);
  EXPECT_GE(elapsed, 500u);
  EXPECT_LT(busy100ns, 1000000u) << "the pause used " << busy100ns / 10000 << " ms of processor time";
}

class ConsoleServiceTest : public ::testing::Test {
 protected:
  struct Ended {
    int status;
  };
  class ThrowingEnd final : public ProgramEnd {
   public:
    [[noreturn]] void end(int status) override { throw Ended{status}; }
  };

  // Without `settings`, the folder has no settings.ini.
  int statusOfRun(const std::optional<std::string>& settings, const std::function<void()>& whileRunning) {
    if (settings)
      folder.write("settings.ini", *settings);
    ConsoleService service(folder.path(), loop, link, clock, end, log);
    try {
      service.start();
      whileRunning();
      loop.pause(1.0);
    } catch (const Ended& ended) {
      return ended.status;
    }
    return -1;
  }

  TempFolder folder;
  Win32Loop loop;
  Journal journal;
  ScriptedMemoryControl link{journal};
  FixedClock clock;
  ThrowingEnd end;
  std::ostringstream log;
};

// Ctrl+C and Ctrl+Break reach the service from the thread Windows runs the handler on.
TEST_F(ConsoleServiceTest, AConsoleEventFromAnotherThreadStopsTheServiceWithStatusZero) {
  const int status = statusOfRun("[General]\r\nFirst Run=False\r\n", [this] {
    std::thread([this] { loop.post(CTRL_BREAK_EVENT); }).join();
  });
  EXPECT_EQ(0, status);
  EXPECT_NE(std::string::npos, log.str().find("zarn-vote: stopping on Ctrl+Break")) << log.str();
}

TEST_F(ConsoleServiceTest, FirstRunEndsWithStatusTwoNamingTheSettings) {
  EXPECT_EQ(kExitUnusableSettings, statusOfRun("[General]\r\nFirst Run=True\r\n", [] {}));
  EXPECT_NE(std::string::npos, log.str().find("First Run is True in " + (folder / "settings.ini").string()))
      << log.str();
}

// A folder given by mistake has no settings file: First Run then counts as True, and the operator is told
// that the file is missing rather than asked to change a value in it.
TEST_F(ConsoleServiceTest, NoSettingsFileEndsWithStatusTwoSayingThatItIsMissing) {
  EXPECT_EQ(kExitUnusableSettings, statusOfRun(std::nullopt, [] {}));
  EXPECT_NE(std::string::npos, log.str().find("zarn-vote: there is no " + (folder / "settings.ini").string() +
                                              ", so First Run counts as True"))
      << log.str();
  EXPECT_EQ(std::string::npos, log.str().find("First Run is True")) << log.str();
}

// A run of zarn-vote.exe itself: its status and what it wrote on stderr and stdout.
struct ExeRun {
  DWORD status = 0;
  std::string errors;
};

ExeRun runZarnVote(const std::wstring& arguments, const std::filesystem::path& stderrFile) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE errors = CreateFileW(stderrFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, errors);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = errors;
  startup.hStdOutput = errors;
  std::wstring line = L"\"" + std::filesystem::path(ZARN_VOTE_EXE).wstring() + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  ExeRun run;
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 60000));
    GetExitCodeProcess(process.hProcess, &run.status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "cannot start " << ZARN_VOTE_EXE;
  }
  CloseHandle(errors);
  run.errors = readWholeFile(stderrFile);
  return run;
}

// The command line's ANSI form turns such a name into question marks.
TEST(ZarnVoteExeTest, RunsOnAFolderNamedOutsideTheAnsiCodePage) {
  TempFolder folder;
  const std::filesystem::path named = folder.path() / L"Z\u00e4rn \u4e2d";
  std::filesystem::create_directory(named);
  const HANDLE settings = CreateFileW((named / L"settings.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, settings);
  const char text[] = "[General]\r\nFirst Run=True\r\n";
  DWORD written = 0;
  WriteFile(settings, text, sizeof text - 1, &written, nullptr);
  CloseHandle(settings);

  const ExeRun run = runZarnVote(L"--headless --dir \"" + named.wstring() + L"\"", folder / "stderr.txt");
  EXPECT_EQ(static_cast<DWORD>(kExitUnusableSettings), run.status) << run.errors;
  EXPECT_NE(std::string::npos, run.errors.find("First Run is True in " + (named / "settings.ini").string()))
      << run.errors;
}

}  // namespace
