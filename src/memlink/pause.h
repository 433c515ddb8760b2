// A pause that the game link's Wait hands to the window system, so that the window keeps handling its
// events (timer ticks, clicks, repaints) while the console steps are paced for the game.
#pragma once

class PausePort {
 public:
  virtual ~PausePort() = default;
  // Returns once `seconds` have passed.
  virtual void pause(double seconds) = 0;
};
