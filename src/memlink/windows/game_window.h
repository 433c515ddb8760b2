// The game's window on this desktop: found among the top-level windows by its title, brought to the front,
// and sent keys through SendInput, which reach a game that reads its keyboard through DirectInput (a
// posted WM_KEYDOWN reaches only the window procedure).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "memlink/windows/link_rules.h"

namespace winlink {

// Every top-level window of this desktop with its process and as much of its title as tells whether it
// equals a title of `titleLength` bytes.
std::vector<WindowEntry> topLevelWindows(std::size_t titleLength);

// Whether the window still exists and still belongs to process `pid`.
bool windowOf(HWND window, DWORD pid);

// One try to make the window the one in front: SetForegroundWindow, and when Windows refuses that to a
// program that is not in front itself, again while sharing input with the thread in front, which it
// allows. True when the window is in front afterwards; `problem` says why not otherwise.
bool bringToFront(HWND window, std::string& problem);

// Presses or releases the key on the desktop's input; false with the reason when Windows took no input.
bool sendKey(const KeyStroke& key, bool press, std::string& problem);

}  // namespace winlink
