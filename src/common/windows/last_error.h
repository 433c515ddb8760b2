// Windows' own words for an error code, for the messages an operator reads.
#pragma once

#include <windows.h>

#include <string>

// "Access is denied. (error 5)": the system's text without its line break, and the number.
std::string windowsErrorText(DWORD code);
inline std::string lastErrorText() {
  return windowsErrorText(GetLastError());
}
