// Feeds arbitrary requests to the remote console: the input's first line is the method, the second the
// path, the third the Authorization value, the rest the body. Nothing may crash, every reply must have a
// status the console gives, and what is raised for the processing tick must name a player slot.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_window.h"

namespace {

class SilentListener final : public RemoteListenerPort {
 public:
  std::string listen(const RemoteEndpoint&) override { return {}; }
  void close() override {}
  void tell(const std::string&) override {}
};

std::string nextLine(const std::string& input, std::size_t& start) {
  const std::size_t end = std::min(input.find('\n', start), input.size());
  std::string line = input.substr(start, end - start);
  start = std::min(end + 1, input.size());
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SilentListener listener;
  FuzzWindow fuzz(&listener);
  frmmain& window = fuzz.window;
  const Globals& globals = fuzz.globals;
  window.List1.assign(16, "some\xE9one");
  window.Text1 = "some\xE9one: /vote 3\r\n";
  window.remoteConsole->configure(RemoteSettings{"127.0.0.1:8740", "0123456789abcdef"});

  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  RemoteRequest request;
  request.method = nextLine(input, start);
  request.path = nextLine(input, start);
  request.authorization = nextLine(input, start);
  request.body = input.substr(start);
  request.client = "192.0.2.1";
  const RemoteReply reply = window.remoteConsole->handle(request);

  const bool known = reply.status == 200 || reply.status == 202 || reply.status == 400 ||
                     reply.status == 401 || reply.status == 404 || reply.status == 405 || reply.status == 413;
  if (!known || reply.body.empty())
    std::abort();
  for (const auto& [raised, number] : {std::pair{globals.puntRequested, globals.puntPlayerNumber},
                                       std::pair{globals.banRequested, globals.banPlayerNumber}}) {
    if (raised && (number < 0 || number > 15))
      std::abort();
  }
  return 0;
}
