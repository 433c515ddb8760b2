#include "memlink/windows/system_handles.h"

namespace winlink {

std::string systemErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words(text != nullptr ? text : "", length);
  if (text != nullptr)
    LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
    words.pop_back();
  const std::string number = "error " + std::to_string(code);
  return words.empty() ? number : words + " (" + number + ")";
}

}  // namespace winlink
