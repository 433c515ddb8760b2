// Feeds arbitrary chat lines (the input split at '\n', each cut to 90 bytes as the game link reads them)
// through the collection tick, then a processing tick. Nothing may crash, and the vote table must keep
// its sixteen rows of whole numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/conversions.h"
#include "app/main_window.h"
#include "support/idle_host.h"
#include "support/memory_only_link.h"

namespace {

class EpochClock final : public Clock {
 public:
  std::tm localNow() const override { return std::tm{}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A folder that does not exist: error log entries are dropped instead of filling the disk.
  static const std::filesystem::path folder = "/nonexistent/zarnvote-fuzz";
  MemoryOnlyLink link;
  IdleHost host;
  ManualTimer timer1;
  ManualTimer timer2;
  Globals globals;
  EpochClock clock;
  frmmain window(MainWindowPorts{host, timer1, timer2, link, globals, folder, clock});
  window.Form_Load();
  window.gameAttached = true;
  window.maxMapVotes = "5";
  window.List1.assign(16, "someone");

  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start <= input.size()) {
    const std::size_t end = std::min(input.find('\n', start), input.size());
    link.memory[window.chatAddress] = input.substr(start, std::min<std::size_t>(end - start, 90));
    window.Timer1_Timer();
    start = end + 1;
  }
  window.Timer2_Timer();

  if (window.List3.size() != 16)
    std::abort();
  for (const auto& count : window.List3) {
    const auto value = conv::parseNumber(count);
    if (!value || *value < 0)
      std::abort();
  }
  return 0;
}
