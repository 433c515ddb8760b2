#include "memlink/windows/game_window.h"

#include "common/windows/last_error.h"

namespace winlink {
namespace {

struct Listing {
  std::size_t titleLength;
  std::vector<WindowEntry> windows;
};

BOOL CALLBACK listWindow(HWND window, LPARAM context) {
  Listing& listing = *reinterpret_cast<Listing*>(context);
  // One byte more than the title: a longer title then differs in length. GetWindowTextA reads the text of
  // another process's window without sending it a message, so a hung program cannot stop the search.
  std::string title(listing.titleLength + 2, '\0');
  const int length = GetWindowTextA(window, title.data(), static_cast<int>(title.size()));
  title.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  listing.windows.push_back({reinterpret_cast<std::uintptr_t>(window), pid, std::move(title)});
  return TRUE;
}

}  // namespace

std::vector<WindowEntry> topLevelWindows(std::size_t titleLength) {
  Listing listing{titleLength, {}};
  EnumWindows(listWindow, reinterpret_cast<LPARAM>(&listing));
  return listing.windows;
}

bool windowOf(HWND window, DWORD pid) {
  DWORD owner = 0;
  return IsWindow(window) && GetWindowThreadProcessId(window, &owner) != 0 && owner == pid;
}

bool bringToFront(HWND window, std::string& problem) {
  if (IsIconic(window))
    ShowWindow(window, SW_RESTORE);
  if (!SetForegroundWindow(window))
    problem = "SetForegroundWindow: " + lastErrorText();
  else if (GetForegroundWindow() == window)
    return true;
  else
    problem = "another window stayed in front";
  // Windows lets the thread that holds the keyboard input choose the front window; sharing its input for
  // a moment gives this thread that right.
  const HWND front = GetForegroundWindow();
  const DWORD frontThread = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
  const DWORD self = GetCurrentThreadId();
  const bool shared = frontThread != 0 && frontThread != self && AttachThreadInput(self, frontThread, TRUE);
  if (!shared && frontThread != 0 && frontThread != self)
    problem += "; AttachThreadInput: " + lastErrorText();
  BringWindowToTop(window);
  SetForegroundWindow(window);
  if (shared)
    AttachThreadInput(self, frontThread, FALSE);
  return GetForegroundWindow() == window;
}

bool sendKey(const KeyStroke& key, bool press, std::string& problem) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key.virtualKey;
  const UINT scan = MapVirtualKeyA(key.virtualKey, MAPVK_VK_TO_VSC);
  input.ki.wScan = static_cast<WORD>(scan != 0 ? scan : key.usScanCode);
  input.ki.dwFlags = press ? 0 : KEYEVENTF_KEYUP;
  if (SendInput(1, &input, sizeof input) == 1)
    return true;
  problem = "SendInput: " + lastErrorText();
  return false;
}

}  // namespace winlink
