// Recording stand-ins for the dialogs' window and for the operating system behind the About box. Every call
// lands in a Journal in order, so tests compare exact sequences.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "dialogs/dialog_ports.h"
#include "support/journal.h"

// Journal entries: "Notice <text>", "Close".
class RecordingDialogWindow final : public DialogWindowPort {
 public:
  explicit RecordingDialogWindow(Journal& journal) : journal_(journal) {}

  void showNotice(const std::string& text) override;
  void close() override { journal_.add("Close"); }

  // Runs while a notice is open, as other handlers of the program can behind a modal box.
  std::function<void()> whileNoticeOpen;

 private:
  Journal& journal_;
};

// A text value as a query answers it: `stored` in a zeroed 1024-byte buffer, with the size `reportedSize`
// (default: the stored bytes).
RegistryValue textValue(const std::string& stored, std::optional<std::uint32_t> reportedSize = std::nullopt);

// A registry of values given by the test, a set of existing files and a program start that can fail.
// Journal entries: "RegOpenKeyEx <root> <path> <access in hex>", "RegQueryValueEx <key> <name> <buffer
// size>", "RegCloseKey <key>", "FileExists <path>", "StartProgram <path>". Keys are numbered from 1 in
// opening order.
class FakeSystem final : public SystemPort {
 public:
  explicit FakeSystem(Journal& journal) : journal_(journal) {}

  // A key that opens but holds no values.
  void addKey(const std::string& keyPath) { keys_[keyPath]; }
  void addValue(const std::string& keyPath, const std::string& valueName, RegistryValue value) {
    keys_[keyPath][valueName] = std::move(value);
  }

  // Paths of the files that exist.
  std::set<std::string> files;
  // Makes every start throw RuntimeError, as a path that names no program does.
  bool failStart = false;

  std::optional<RegistryKey> RegOpenKeyEx(RegistryRoot root, const std::string& keyPath,
                                          std::uint32_t access) override;
  std::optional<RegistryValue> RegQueryValueEx(const RegistryKey& key, const std::string& valueName,
                                               std::uint32_t bufferSize) override;
  void RegCloseKey(const RegistryKey& key) override;
  bool fileExists(const std::string& path) override;
  void startProgram(const std::string& path) override;

  // Keys opened and not closed yet.
  std::size_t openKeys() const { return open_.size(); }

 private:
  Journal& journal_;
  std::map<std::string, std::map<std::string, RegistryValue>> keys_;
  std::map<std::uint64_t, std::string> open_;
  std::uint64_t nextHandle_ = 1;
};
