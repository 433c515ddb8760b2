// The remote console's answers and its settings: what a client gets for each request, what reaches the
// window, what is told to the operator, and what the listener is asked to do at each activation.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/main_window_fixture.h"

namespace {

using nlohmann::json;
using namespace std::string_literals;

constexpr const char* kToken = "0123456789abcdefXYZ";

class RecordingListener final : public RemoteListenerPort {
 public:
  std::string listen(const RemoteEndpoint& endpoint) override {
    calls.push_back("listen " + endpoint.address + " " + std::to_string(endpoint.port));
    return refusal;
  }
  void close() override { calls.push_back("close"); }
  void tell(const std::string& line) override { told.push_back(line); }

  std::string refusal;
  std::vector<std::string> calls;
  std::vector<std::string> told;
};

class RemoteConsoleTest : public MainWindowTest {
 protected:
  RemoteConsoleTest() { window.remoteConsole = std::make_unique<RemoteConsole>(window, listener); }

  // Activates with these [Remote] lines (and an attaching game section).
  void activateWith(const std::string& remote) {
    writeAttachingSettings("[Remote]\r\n" + remote);
    window.Form_Activate();
  }
  void listenWithToken() { activateWith("Listen=127.0.0.1:8740\r\nToken="s + kToken + "\r\n"); }

  RemoteReply send(const std::string& method, const std::string& path, const std::string& body = "",
                   std::string authorization = "Bearer "s + kToken) {
    return window.remoteConsole->handle(RemoteRequest{method, path, authorization, body, "192.0.2.7", nowMs});
  }

  RecordingListener listener;
  std::int64_t nowMs = 1000;
};

TEST(RemoteListen, AddressAndPortAreTakenFromTheLastColon) {
  const std::vector<std::pair<std::string, std::optional<RemoteEndpoint>>> cases = {
      {"127.0.0.1:8740", RemoteEndpoint{"127.0.0.1", 8740}},
      {" 0.0.0.0:1 ", RemoteEndpoint{"0.0.0.0", 1}},
      {"[::1]:65535", RemoteEndpoint{"::1", 65535}},
      {"localhost:8740", RemoteEndpoint{"localhost", 8740}},
      {"127.0.0.1", std::nullopt},
      {":8740", std::nullopt},
      {"[]:8740", std::nullopt},
      {"127.0.0.1:0", std::nullopt},
      {"127.0.0.1:65536", std::nullopt},
      {"127.0.0.1:87a0", std::nullopt},
      {"127.0.0.1:-1", std::nullopt},
      {"127.0.0.1:", std::nullopt},
  };
  for (const auto& [listen, expected] : cases)
    EXPECT_EQ(expected, parseListen(listen)) << listen;
}

TEST_F(RemoteConsoleTest, EachActivationListensRebindsOrStopsAndTellsEachProblemOnceWithoutTheToken) {
  activateWith("");
  EXPECT_TRUE(listener.calls.empty());

  listenWithToken();
  listenWithToken();  // the same settings again: nothing to do
  activateWith("Listen=[::1]:9000\r\nToken="s + kToken + "\r\n");
  EXPECT_EQ((std::vector<std::string>{"listen 127.0.0.1 8740", "listen ::1 9000"}), listener.calls);
  EXPECT_TRUE(window.remoteConsole->listening());

  // A short token stops the console; told once however often the window activates.
  listener.calls.clear();
  activateWith("Listen=[::1]:9000\r\nToken=short-secret\r\n");
  activateWith("Listen=[::1]:9000\r\nToken=short-secret\r\n");
  EXPECT_EQ(std::vector<std::string>{"close"}, listener.calls);
  EXPECT_FALSE(window.remoteConsole->listening());
  activateWith("Listen=nowhere\r\nToken="s + kToken + "\r\n");

  // A port in use: told once, tried again at each activation, and listening once it is free.
  listener.refusal = "The bound address is already in use";
  listener.calls.clear();
  listenWithToken();
  listenWithToken();
  listener.refusal.clear();
  listenWithToken();
  EXPECT_EQ(3U, listener.calls.size());
  EXPECT_TRUE(window.remoteConsole->listening());
  activateWith("Listen=0.0.0.0:8740\r\nToken="s + kToken + "\r\n");
  activateWith("Listen=\r\n");
  EXPECT_EQ("close", listener.calls.back());

  const std::vector<std::string> problems = {
      "Remote console off: Token is shorter than 16 characters; set one of at least 16 characters",
      "Remote console off: Listen \"nowhere\" is not an address and a port 1 to 65535, such as "
      "127.0.0.1:8740",
      "Remote console off: cannot listen on 127.0.0.1:8740: The bound address is already in use"};
  std::vector<std::string> expectedLog;
  for (const std::string& problem : problems)
    expectedLog.push_back(problem + " - Remote Console");
  EXPECT_EQ(expectedLog, errorLogEntries());
  const std::vector<std::string> told = {
      "Remote console listening on 127.0.0.1:8740",
      "Remote console listening on [::1]:9000",
      problems[0],
      problems[1],
      problems[2],
      "Remote console listening on 127.0.0.1:8740",
      "Remote console listening on 0.0.0.0:8740; that is not loopback, so the "
      "token crosses the network in clear unless TLS is put in front"};
  EXPECT_EQ(told, listener.told);
  for (const std::string& line : listener.told)
    EXPECT_EQ(std::string::npos, line.find("short-secret")) << line;
}

TEST_F(RemoteConsoleTest, EveryRequestGetsItsStatusAndAnErrorBodyWhenRefused) {
  listenWithToken();
  struct Case {
    std::string method, path, body, authorization;
    int status;
  };
  const std::string bearer = "Bearer "s + kToken;
  const std::vector<Case> cases = {
      {"GET", "/", "", "", 200},
      {"POST", "/", "", bearer, 405},
      {"GET", "/favicon.ico", "", "", 404},
      {"GET", "/api/state", "", "", 401},
      {"GET", "/api/state", "", "Bearer ", 401},
      {"GET", "/api/state", "", "Bearer 0123456789abcdefXY", 401},
      {"GET", "/api/state", "", bearer + "Z", 401},
      {"GET", "/api/state", "", "Basic "s + kToken, 401},
      {"GET", "/api/state", "", "bearer  "s + kToken + " ", 200},
      {"GET", "/api/unknown", "", bearer, 404},
      {"GET", "/api/unknown", "", "", 401},
      {"GET", "/api/punt", "", bearer, 405},
      {"POST", "/api/state", "", bearer, 405},
      {"POST", "/api/punt", "{\"player\": 3", bearer, 400},
      {"POST", "/api/punt", "", bearer, 400},
      {"POST", "/api/punt", "[3]", bearer, 400},
      {"POST", "/api/punt", "{}", bearer, 400},
      {"POST", "/api/punt", "{\"player\": \"3\"}", bearer, 400},
      {"POST", "/api/punt", "{\"player\": 2.5}", bearer, 400},
      {"POST", "/api/punt", "{\"player\": 16}", bearer, 400},
      {"POST", "/api/ban", "{\"player\": -1}", bearer, 400},
      {"POST", "/api/ban", "{\"player\": 1e300}", bearer, 400},
      {"POST", "/api/punt", "{\"player\": 3, \"x\": " + std::string(kRemoteBodyLimit, ' ') + "1}", bearer,
       413},
  };
  for (const Case& c : cases) {
    const RemoteReply reply = send(c.method, c.path, c.body, c.authorization);
    EXPECT_EQ(c.status, reply.status) << c.method << " " << c.path << " " << c.body.substr(0, 40);
    if (c.status >= 400) {
      const json body = json::parse(reply.body, nullptr, false);
      EXPECT_TRUE(body.is_object() && body["error"].is_string()) << reply.body;
    }
  }
  EXPECT_FALSE(globals.puntRequested || globals.banRequested);
  EXPECT_EQ("text/html; charset=utf-8", send("GET", "/").contentType);
}

TEST_F(RemoteConsoleTest, ActionsRaiseTheWindowsRequestsAndAreAuditedWithTheClient) {
  listenWithToken();
  writeAttachingSettings("[Fair Votes]\r\nAudit Log=True\r\n[Remote]\r\nListen=127.0.0.1:8740\r\nToken="s +
                         kToken + "\r\n");
  window.Form_Activate();
  window.List1[3] = "Bob";
  window.List3[3] = "4";
  window.Text4 = "2";
  forget();

  EXPECT_EQ(202, send("POST", "/api/punt", "{\"player\": 3.0}").status);
  EXPECT_TRUE(globals.puntRequested);
  EXPECT_EQ(3, globals.puntPlayerNumber);
  const json ban = json::parse(send("POST", "/api/ban", "{\"player\": 15}").body);
  EXPECT_EQ("ban", ban["request"]);
  EXPECT_EQ(15, globals.banPlayerNumber);

  const RemoteReply nextMap = send("POST", "/api/next-map");
  EXPECT_EQ(202, nextMap.status);
  EXPECT_TRUE(globals.nextMapRequested);
  EXPECT_EQ("0", window.Text4);
  EXPECT_NE(std::string::npos,
            json::parse(nextMap.body)["notice"].get<std::string>().find("Map will be reset"));
  EXPECT_TRUE(journal.entries.empty()) << "no notice may wait for a click on the server's own desktop";

  EXPECT_EQ(202, send("POST", "/api/clear-votes").status);
  EXPECT_TRUE(globals.clearVotesRequested);
  EXPECT_EQ("0", window.List3[3]);

  EXPECT_TRUE(json::parse(send("POST", "/api/pause").body)["paused"].get<bool>());
  EXPECT_TRUE(json::parse(send("POST", "/api/pause").body)["paused"].get<bool>());
  EXPECT_FALSE(timer1.enabled() || timer2.enabled());
  forget();
  EXPECT_FALSE(json::parse(send("POST", "/api/start").body)["paused"].get<bool>());
  EXPECT_TRUE(timer1.enabled() && timer2.enabled());
  EXPECT_EQ(1, std::count(journal.entries.begin(), journal.entries.end(), "OpenGame " + window.gameName))
      << "Start runs the activation";

  const std::string audit = folder.read("votes.log");
  for (const char* line :
       {"Remote Punt requested - player 3 \"Bob\" - remote 192.0.2.7",
        "Remote Ban requested - player 15 \"\" - remote 192.0.2.7", "Remote Next Map - remote 192.0.2.7",
        "Remote Clear Votes - remote 192.0.2.7", "Remote Pause Service - remote 192.0.2.7",
        "Remote Start Service - remote 192.0.2.7"})
    EXPECT_NE(std::string::npos, audit.find(line)) << line << "\n" << audit;
  EXPECT_EQ(std::string::npos, audit.find(kToken));
}

TEST_F(RemoteConsoleTest, StateShowsTheSixteenRowsTheLogAndTheLimitsInUtf8) {
  writeAttachingSettings(
      "[Fair Votes]\r\nPlayer Vote Share=50\r\nMin Players=4\r\n[Remote]\r\n"
      "Listen=127.0.0.1:8740\r\nToken="s +
      kToken + "\r\n");
  window.Form_Activate();
  window.List1[0] = "Zo\xEB";
  window.List3[0] = "2";
  window.Text4 = "1";
  window.Text1 = "Zo\xEB: /vote 0\r\nAnn: /vote map\r\n";
  const json state = json::parse(send("GET", "/api/state").body);
  EXPECT_EQ(16U, state["players"].size());
  EXPECT_EQ((json{{"number", 0}, {"name", "Zo\xC3\xAB"}, {"votes", 2}}), state["players"][0]);
  EXPECT_EQ((json{{"number", 15}, {"name", ""}, {"votes", 0}}), state["players"][15]);
  EXPECT_EQ(1, state["mapVotes"]);
  EXPECT_EQ((json{"Zo\xC3\xAB: /vote 0", "Ann: /vote map"}), state["log"]);
  EXPECT_EQ((json{{"maxPlayerVotes", 5}, {"maxMapVotes", 5}, {"playerVoteShare", 50}, {"minPlayers", 4}}),
            state["limits"]);
  EXPECT_EQ(window.gameName, state["game"]);
  EXPECT_TRUE(state["attached"].is_boolean());
  EXPECT_FALSE(state["paused"]);
}

TEST_F(RemoteConsoleTest, AClientSendingTooManyRequestsASecondIsToldToWaitAndOthersAreNot) {
  listenWithToken();
  for (int i = 0; i < kRemoteRequestsPerSecond; ++i)
    ASSERT_EQ(401, send("GET", "/api/state", "", "").status) << i;
  EXPECT_EQ(429, send("GET", "/api/state").status);
  EXPECT_EQ(200, window.remoteConsole->handle(RemoteRequest{"GET", "/", "", "", "192.0.2.8", nowMs}).status);
  nowMs += 1000;
  EXPECT_EQ(200, send("GET", "/api/state").status);
}

TEST_F(RemoteConsoleTest, WithoutAUsableTokenNothingIsAuthorized) {
  activateWith("Listen=127.0.0.1:8740\r\nToken=\r\n");
  EXPECT_EQ(401, send("GET", "/api/state", "", "Bearer ").status);
  listenWithToken();
  activateWith("Listen=127.0.0.1:8740\r\nToken=short\r\n");
  EXPECT_EQ(401, send("GET", "/api/state", "", "Bearer short").status);
  EXPECT_EQ(401, send("GET", "/api/state").status) << "the token the console stopped with is forgotten";
}

}  // namespace
