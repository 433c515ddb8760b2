// How the program ends. Exit and the last window closing end it at once, also from inside a pause or a
// yield deep down a tick, where returning to the event loop would let that tick run on. Tests put in an end
// that throws instead of ending the test program.
#pragma once

class ProgramEnd {
 public:
  virtual ~ProgramEnd() = default;
  [[noreturn]] virtual void end(int status) = 0;
};

// Flushes stdout and stderr and ends the process without unwinding.
class ProcessEnd final : public ProgramEnd {
 public:
  [[noreturn]] void end(int status) override;
};
