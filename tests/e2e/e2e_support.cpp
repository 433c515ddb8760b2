#include "e2e/e2e_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

const char* const kVoteScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 Eve\n0 join 5 Fay\n0 join 6 Gus\n"
    "1.0 say 0 /vote 3\n1.3 say 1 /vote 3\n1.6 say 2 /vote 3\n1.9 say 4 /vote 3\n2.2 say 5 /vote 3\n"
    "2.5 say 6 /vote 3\n2.8 say 0 hello all\n"
    "3.1 say 0 /vote map\n3.4 say 1 /vote map\n3.7 say 2 /vote map\n4.0 say 4 /vote map\n"
    "4.3 say 5 /vote map\n4.6 say 6 /vote map\n4.9 say 0 gg\n";

std::string settingsFor(const std::string& title, const std::string& memory, const std::string& more,
                        const std::string& processing) {
  return "[Game]\r\nName=" + title + "\r\n[Memory]\r\nPlayer Start=&H1100000\r\n" + memory +
         "[General]\r\nFirst Run=False\r\nInterval=100\r\nInterval 2=" + processing + "\r\n" + more;
}

void expectNoGameFaults(const GameSimProcess& game) {
  for (const std::string& line : game.lines()) {
    for (const char* fault : {"UNKNOWN", "DROPPED", "MISSED", "MEMORY"})
      EXPECT_NE(0u, line.rfind(fault, 0)) << line;
  }
}

void expectScenarioOutcome(const GameSimProcess& game) {
  EXPECT_EQ(1, game.count("COMMAND punt 3"));
  EXPECT_EQ(1, game.count("PUNT 3 Bob"));
  EXPECT_EQ(1, game.count("TALK Player:_Bob(3)_voted out!"));
  EXPECT_EQ(1, game.count("TALK Map has been voted ~ map changing..."));
  EXPECT_EQ(1, game.count("COMMAND resetgames"));
  expectNoGameFaults(game);
}

// A port on the loopback address that nothing listens on right now.
int freePort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(probe, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(probe);
  return port;
}

void OnXvfbTest::SetUp() {
  OnFixtureDisplayTest::SetUp();
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

std::filesystem::path OnXvfbTest::programFolder(const std::string& settings) const {
  folder_.write("settings.ini", settings);
  return folder_.path();
}

std::vector<std::string> WindowAndServiceModeTest::mode() const {
  return GetParam() ? std::vector<std::string>{} : std::vector<std::string>{"--headless"};
}

std::string windowOrHeadless(const ::testing::TestParamInfo<bool>& param) {
  return param.param ? "Window" : "Headless";
}
