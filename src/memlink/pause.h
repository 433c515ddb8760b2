// The pause a game link makes between console steps: the window keeps handling its events meanwhile
// (timer ticks, clicks, repaints), without spinning a core.
#pragma once

class PausePort {
 public:
  virtual ~PausePort() = default;
  virtual void pause(double seconds) = 0;
};
