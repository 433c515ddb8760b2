#include "memlink/windows/link_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace winlink {

WindowSearch matchTitle(const std::vector<WindowEntry>& windows, const std::string& title) {
  std::vector<const WindowEntry*> titled;
  for (const WindowEntry& window : windows) {
    if (window.title == title)
      titled.push_back(&window);
  }
  WindowSearch search;
  if (titled.size() == 1) {
    search.found = *titled.front();
  } else if (titled.empty()) {
    search.problem = "no window titled \"" + title + "\"";
  } else {
    std::string named;
    for (const WindowEntry* window : titled) {
      char handle[24];
      std::snprintf(handle, sizeof handle, "0x%llx", static_cast<unsigned long long>(window->handle));
      named += (named.empty() ? "" : ", ") + std::string("window ") + handle + " of process " +
               std::to_string(window->pid);
    }
    search.problem = std::to_string(titled.size()) + " windows are titled \"" + title + "\" (" + named +
                     "): more than one program shows that title; close all but the game";
  }
  return search;
}

namespace {

std::size_t toPageEnd(std::uint64_t address, std::size_t pageSize) {
  return pageSize - static_cast<std::size_t>(address % pageSize);
}

}  // namespace

bool readText(const MemoryTransfer& read, std::uint64_t address, std::size_t maxLength, std::size_t pageSize,
              std::string& text, MemoryFailure& failure) {
  text.clear();
  std::vector<char> buffer(pageSize);
  while (text.size() < maxLength) {
    const std::size_t chunk = std::min(maxLength - text.size(), toPageEnd(address, pageSize));
    MemoryFailure failed;
    if (!read(address, buffer.data(), chunk, failed)) {
      if (!text.empty() && failed.noMemory)
        return true;  // the string runs into memory that cannot be read: it ends at the page edge
      failure = failed;
      return false;
    }
    const char* end = static_cast<const char*>(std::memchr(buffer.data(), '\0', chunk));
    if (end != nullptr) {
      text.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
      return true;
    }
    text.append(buffer.data(), chunk);
    address += chunk;
  }
  return true;
}

bool writeBytes(const MemoryTransfer& write, std::uint64_t address, std::string_view bytes,
                std::size_t pageSize, MemoryFailure& failure) {
  std::string copy(bytes);
  for (std::size_t done = 0; done < copy.size();) {
    const std::size_t chunk = std::min(copy.size() - done, toPageEnd(address + done, pageSize));
    if (!write(address + done, copy.data() + done, chunk, failure))
      return false;
    done += chunk;
  }
  return true;
}

std::optional<KeyStroke> strokeFor(int virtualKey) {
  if (virtualKey == 192)
    return KeyStroke{192, 0x29};  // VK_OEM_3, the grave key left of 1
  if (virtualKey == 13)
    return KeyStroke{13, 0x1C};  // VK_RETURN
  return std::nullopt;
}

std::string gameLockName(std::uint32_t pid, std::uint64_t startTime) {
  // Local\ is the session of the user who runs the copy: copies that could type into the same game's
  // window share a desktop, and so a session.
  return "Local\\zarn-vote-game-" + std::to_string(pid) + "-" + std::to_string(startTime);
}

std::string gameDrivenElsewhere(std::uint32_t pid, std::uint32_t holder) {
  const std::string other =
      holder > 0 ? "another zarn-vote (process " + std::to_string(holder) + ")" : "another zarn-vote";
  return "the game's process " + std::to_string(pid) + " is already driven by " + other +
         "; this copy attaches once that one has let go of it";
}

std::string accessRemedy() {
  return "reading and writing the game's memory needs the right to open its process: run zarn-vote as "
         "the user who runs the game, or elevated (Run as administrator) when the game runs elevated; "
         "Windows also keeps a program that is not elevated from typing into an elevated game's window "
         "(User Interface Privilege Isolation)";
}

}  // namespace winlink
