#include "app/remote_console.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/main_window.h"
#include "app/remote_page.h"
#include "common/conversions.h"
#include "common/text.h"
#include "dialogs/punt_ban_dialog.h"

using nlohmann::json;

std::optional<RemoteEndpoint> parseListen(std::string_view listen) {
  listen = text::trimBlanks(listen);
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string_view::npos)
    return std::nullopt;
  std::string_view address = listen.substr(0, colon);
  const std::string_view portText = listen.substr(colon + 1);
  unsigned port = 0;
  const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (error != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535)
    return std::nullopt;
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
    address = address.substr(1, address.size() - 2);
  if (address.empty())
    return std::nullopt;
  return RemoteEndpoint{std::string(address), static_cast<std::uint16_t>(port)};
}

namespace {

std::string endpointText(const RemoteEndpoint& endpoint) {
  const bool v6 = endpoint.address.find(':') != std::string::npos;
  return (v6 ? "[" + endpoint.address + "]" : endpoint.address) + ":" + std::to_string(endpoint.port);
}

RemoteReply reply(int status, const json& body) {
  // Text from the game that is not valid UTF-8 cannot reach here: every game text is converted from
  // Latin-1 first. Replacing keeps a reply whole should anything else slip through.
  return RemoteReply{status, "application/json", body.dump(-1, ' ', false, json::error_handler_t::replace)};
}

RemoteReply error(int status, const std::string& why) {
  return reply(status, json{{"error", why}});
}

// A count as the window shows it ("3"), as a number; text that is no number counts as 0.
double countOf(const std::string& shown) {
  return conv::parseNumber(shown).value_or(0.0);
}

std::vector<std::string> logLines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos)
      end = log.size();
    lines.push_back(text::latin1ToUtf8(std::string_view(log).substr(start, end - start)));
    start = end + 2;
  }
  return lines;
}

}  // namespace

RemoteConsole::RemoteConsole(frmmain& window, RemoteListenerPort& listener)
    : w_(window), listener_(listener) {}

void RemoteConsole::configure(const RemoteSettings& settings) {
  auto off = [this](const std::string& why) {
    if (listening_) {
      listener_.close();
      listening_.reset();
    }
    token_.clear();
    if (!why.empty())
      tellOnce("Remote console off: " + why);
    else
      lastProblem_.clear();
  };
  if (text::trimBlanks(settings.listen).empty())
    return off("");
  const std::optional<RemoteEndpoint> endpoint = parseListen(settings.listen);
  if (!endpoint)
    return off("Listen \"" + settings.listen +
               "\" is not an address and a port 1 to 65535, such as 127.0.0.1:8740");
  if (settings.token.size() < kRemoteMinTokenLength)
    return off("Token is " + std::string(settings.token.empty() ? "empty" : "shorter than 16 characters") +
               "; set one of at least 16 characters");
  if (listening_ == endpoint) {
    token_ = settings.token;
    return;
  }
  const std::string why = listener_.listen(*endpoint);
  if (!why.empty()) {
    listening_.reset();
    return off("cannot listen on " + endpointText(*endpoint) + ": " + why);
  }
  listening_ = endpoint;
  token_ = settings.token;
  lastProblem_.clear();
  const bool loopback = endpoint->address == "localhost" || endpoint->address == "::1" ||
                        endpoint->address.rfind("127.", 0) == 0;
  listener_.tell("Remote console listening on " + endpointText(*endpoint) +
                 (loopback
                      ? ""
                      : "; that is not loopback, so the token crosses the network in clear unless TLS is "
                        "put in front"));
}

void RemoteConsole::tellOnce(const std::string& problem) {
  if (problem == lastProblem_)
    return;
  lastProblem_ = problem;
  w_.errorLog.append(problem, kRemoteConsoleLabel);
  listener_.tell(problem);
}

RemoteReply RemoteConsole::handle(const RemoteRequest& request) {
  try {
    if (!withinRate(request.client, request.atMs))
      return error(429, "too many requests; wait a second");
    return route(request);
  } catch (const std::exception& e) {
    // A request that fails half-way must not end the program; the window's own handlers report their
    // failures themselves.
    return error(500, e.what());
  }
}

bool RemoteConsole::withinRate(const std::string& client, std::int64_t atMs) {
  if (rates_.size() > 1024) {
    for (auto it = rates_.begin(); it != rates_.end();)
      it = atMs - it->second.startMs >= 1000 ? rates_.erase(it) : std::next(it);
  }
  Window& window = rates_[client];
  if (atMs - window.startMs >= 1000 || atMs < window.startMs)
    window = Window{atMs, 0};
  return ++window.count <= kRemoteRequestsPerSecond;
}

bool RemoteConsole::authorized(std::string_view authorization) const {
  if (token_.size() < kRemoteMinTokenLength)
    return false;
  constexpr std::string_view kScheme = "Bearer ";
  if (authorization.size() < kScheme.size() ||
      !text::equalsIgnoringCase(authorization.substr(0, kScheme.size()), kScheme))
    return false;
  const std::string_view given = text::trimBlanks(authorization.substr(kScheme.size()));
  // Every byte of the token is compared whatever the first difference, so the time taken does not tell how
  // much of a guess was right.
  unsigned difference = given.size() == token_.size() ? 0U : 1U;
  for (std::size_t i = 0; i < token_.size(); ++i) {
    const char guessed = i < given.size() ? given[i] : '\0';
    difference |= static_cast<unsigned char>(guessed ^ token_[i]);
  }
  return difference == 0;
}

RemoteReply RemoteConsole::route(const RemoteRequest& request) {
  const std::string& path = request.path;
  if (path == "/" || path == "/index.html") {
    // The page holds no secret: it asks for the token and sends it with each request it makes.
    if (request.method != "GET")
      return error(405, "use GET");
    return RemoteReply{200, "text/html; charset=utf-8", std::string(kRemotePage)};
  }
  if (path.rfind("/api/", 0) != 0)
    return error(404, "no such page");
  if (!authorized(request.authorization))
    return error(401, "a valid token is needed: Authorization: Bearer <token>");

  struct Action {
    const char* path;
    const char* method;
  };
  static constexpr Action kRoutes[] = {
      {"/api/state", "GET"},        {"/api/punt", "POST"},  {"/api/ban", "POST"},  {"/api/next-map", "POST"},
      {"/api/clear-votes", "POST"}, {"/api/pause", "POST"}, {"/api/start", "POST"}};
  const Action* action = nullptr;
  for (const Action& candidate : kRoutes) {
    if (path == candidate.path)
      action = &candidate;
  }
  if (action == nullptr)
    return error(404, "no such request");
  if (request.method != action->method)
    return error(405, std::string("use ") + action->method);
  if (request.body.size() > kRemoteBodyLimit)
    return error(413, "the body is over 16 KiB");

  if (path == "/api/state")
    return state();
  if (path == "/api/punt" || path == "/api/ban")
    return playerAction(request, path == "/api/ban");
  if (path == "/api/next-map") {
    w_.requestNextMap();
    audit(request, "Next Map");
    return reply(202, json{{"request", "next-map"}, {"notice", text::latin1ToUtf8(w_.nextMapNotice())}});
  }
  if (path == "/api/clear-votes") {
    audit(request, "Clear Votes");
    w_.Command1_Click();
    return reply(202, json{{"request", "clear-votes"}});
  }
  if (path == "/api/pause") {
    audit(request, kPauseService);
    if (!w_.servicePaused)
      w_.Command4_Click();
    return reply(202, json{{"request", "pause"}, {"paused", w_.servicePaused}});
  }
  // Start: the activation, as the button runs it; a running service reads its settings again.
  audit(request, kStartService);
  if (w_.servicePaused)
    w_.Command4_Click();
  else
    w_.Form_Activate();
  return reply(202, json{{"request", "start"}, {"paused", w_.servicePaused}});
}

RemoteReply RemoteConsole::playerAction(const RemoteRequest& request, bool ban) {
  const json body = json::parse(request.body, nullptr, false);
  if (body.is_discarded())
    return error(400, "the body is not JSON");
  if (!body.is_object() || !body.contains("player"))
    return error(400, "the body needs a field \"player\"");
  const json& player = body["player"];
  if (!player.is_number())
    return error(400, "\"player\" must be a number");
  const double number = player.get<double>();
  if (number != std::floor(number) || number < 0 || number >= kPlayerSlots)
    return error(400, "\"player\" must be a whole number 0 to 15");
  const auto slot = static_cast<std::int16_t>(number);
  const char* name = ban ? "ban" : "punt";
  if (ban)
    w_.globals.raiseBan(slot);
  else
    w_.globals.raisePunt(slot);
  audit(request, std::string(ban ? "Ban" : "Punt") + " requested - " + audit_text::player(slot, w_.List1));
  return reply(202,
               json{{"request", name}, {"player", slot}, {"notice", ban ? kBannedNotice : kPuntedNotice}});
}

RemoteReply RemoteConsole::state() const {
  json players = json::array();
  for (int k = 0; k < kPlayerSlots; ++k) {
    const auto row = static_cast<std::size_t>(k);
    players.push_back({{"number", k},
                       {"name", text::latin1ToUtf8(row < w_.List1.size() ? w_.List1[row] : std::string())},
                       {"votes", countOf(row < w_.List3.size() ? w_.List3[row] : std::string())}});
  }
  json limits = {{"maxPlayerVotes", w_.maxPlayerVotes}, {"maxMapVotes", countOf(w_.maxMapVotes)}};
  const FairVoteSettings& fair = w_.fairVotes.settings;
  if (fair.playerVoteShare > 0)
    limits["playerVoteShare"] = fair.playerVoteShare;
  if (fair.mapVoteShare > 0)
    limits["mapVoteShare"] = fair.mapVoteShare;
  if (fair.minPlayers > 0)
    limits["minPlayers"] = fair.minPlayers;
  if (fair.oneVotePerPlayer)
    limits["oneVotePerPlayer"] = true;
  return reply(200, json{{"attached", w_.gameAttached},
                         {"paused", w_.servicePaused},
                         {"game", text::latin1ToUtf8(w_.gameName)},
                         {"players", players},
                         {"mapVotes", countOf(w_.Text4)},
                         {"log", logLines(w_.Text1)},
                         {"limits", limits}});
}

void RemoteConsole::audit(const RemoteRequest& request, const std::string& what) const {
  w_.fairVotes.audit("Remote " + what + " - remote " + request.client);
}
