#include "memlink/unattached_link.h"

bool UnattachedLink::OpenGame(std::string&) {
  return false;
}

std::string UnattachedLink::ReadString(const std::string&, const ReadLength&) {
  throw MemoryControlError(kNotAttached);
}

void UnattachedLink::WriteString(const std::string&, const std::string&, bool) {
  throw MemoryControlError(kNotAttached);
}

void UnattachedLink::SendKey(std::int16_t) {
  throw MemoryControlError(kNotAttached);
}

void UnattachedLink::Wait(const PauseSeconds& seconds) {
  pause_.pause(pauseToSeconds(seconds));
}
