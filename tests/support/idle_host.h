// A window system that does nothing: no events wait at a yield, notices and windows go unseen. For
// benchmarks and fuzz targets, which drive the ticks themselves.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>

#include "app/host.h"

class IdleHost final : public HostPort {
 public:
  void yield() override {}
  void showNotice(const std::string&) override {}
  void settingsUnreadable(const std::string&, const std::string&) override {}
  void showChooser() override {}
  void showPuntBanDialog() override {}
  void showAbout() override {}
  void openWebPage(const std::string&) override {}
  void runLater(int, std::function<void()>) override {}
  [[noreturn]] void quit() override { std::abort(); }
};
