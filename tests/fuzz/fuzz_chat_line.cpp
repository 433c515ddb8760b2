// Feeds arbitrary chat lines (the input split at '\n', each cut to 90 bytes as the game link reads them)
// through the collection tick, then a processing tick. Nothing may crash, and the vote table must keep
// its sixteen rows of whole numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/conversions.h"
#include "fuzz/fuzz_window.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzWindow fuzz;
  frmmain& window = fuzz.window;
  MemoryOnlyLink& link = fuzz.link;
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
