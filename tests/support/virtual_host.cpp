#include "support/virtual_host.h"

void VirtualHost::yield() {
  if (recordYields)
    journal_.add("Yield");
  std::deque<std::function<void()>> waiting;
  waiting.swap(pending_);
  for (auto& event : waiting)
    event();
  if (duringYield)
    duringYield();
}

void VirtualHost::showNotice(const std::string& text) {
  journal_.add("Notice " + text);
  if (whileNoticeOpen)
    whileNoticeOpen();
}

void VirtualHost::quit() {
  journal_.add("Quit");
  throw ProgramEnded{};
}
