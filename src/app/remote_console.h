// The operator's console over the network: what the window shows, as JSON, and the requests its controls
// raise, answered to an HTTP server that an adapter runs on the program's one thread. The adapter owns the
// sockets and hands each request in whole, between events, as a click comes in; everything an answer
// depends on (the token, the routes, the limits, the audit line) is decided here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class frmmain;

// [Remote] as read at every activation.
struct RemoteSettings {
  std::string listen;  // "address:port"; empty is off
  std::string token;
};

// Where to listen, from a Listen value: "127.0.0.1:8740", "[::1]:8740", "localhost:8740". The address is
// handed to the adapter as written (brackets dropped); the adapter decides whether it is one it can use.
struct RemoteEndpoint {
  std::string address;
  std::uint16_t port = 0;
  bool operator==(const RemoteEndpoint&) const = default;
};
// The endpoint, or nothing when the value has no port 1 to 65535 after its last colon or no address.
std::optional<RemoteEndpoint> parseListen(std::string_view listen);

inline constexpr std::size_t kRemoteMinTokenLength = 16;
// The largest request body taken; the adapter refuses a larger one before it is read whole.
inline constexpr std::size_t kRemoteBodyLimit = 16 * 1024;
// Requests a client address may send within one second: a page polls once a second and an operator
// clicks a few times, so more is a program hammering the console.
inline constexpr int kRemoteRequestsPerSecond = 60;

struct RemoteRequest {
  std::string method;         // "GET", "POST", ...
  std::string path;           // without the query
  std::string authorization;  // the Authorization header's value; empty when absent
  std::string body;
  std::string client;     // the client's address, for the audit log and the request limit
  std::int64_t atMs = 0;  // when it came, in milliseconds of a clock that never goes back
};

// Headers every reply carries: nothing is cached, no other site may frame the page or load it as
// something else, and the page loads nothing from elsewhere.
inline constexpr std::pair<std::string_view, std::string_view> kRemoteReplyHeaders[] = {
    {"Cache-Control", "no-store"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self' 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; "
     "img-src data:; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
};

struct RemoteReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
};

// The server the adapter runs.
class RemoteListenerPort {
 public:
  virtual ~RemoteListenerPort() = default;
  // Listens on `endpoint` instead of wherever it listened before; returns an empty text, or why it
  // cannot (an address it cannot use, a port in use), and then listens nowhere.
  virtual std::string listen(const RemoteEndpoint& endpoint) = 0;
  // Listens nowhere; open connections are dropped.
  virtual void close() = 0;
  // A line for the operator's console output (stderr); the error log has its own copy.
  virtual void tell(const std::string& line) = 0;
};

inline constexpr std::string_view kRemoteConsoleLabel = "Remote Console";

class RemoteConsole {
 public:
  RemoteConsole(frmmain& window, RemoteListenerPort& listener);

  // Applies the settings the last activation read: listens, rebinds when Listen changed, or stops. A
  // setting that cannot be used is told once (error log and the listener's output) until it changes; the
  // program goes on either way. The token never appears in what is told.
  void configure(const RemoteSettings& settings);
  bool listening() const { return listening_.has_value(); }

  // The answer to one request. Never throws.
  RemoteReply handle(const RemoteRequest& request);

 private:
  RemoteReply route(const RemoteRequest& request);
  RemoteReply state() const;
  RemoteReply playerAction(const RemoteRequest& request, bool ban);
  bool authorized(std::string_view authorization) const;
  bool withinRate(const std::string& client, std::int64_t atMs);
  void tellOnce(const std::string& problem);
  void audit(const RemoteRequest& request, const std::string& what) const;

  frmmain& w_;
  RemoteListenerPort& listener_;
  std::string token_;
  std::optional<RemoteEndpoint> listening_;
  std::string lastProblem_;
  struct Window {
    std::int64_t startMs = 0;
    int count = 0;
  };
  std::map<std::string, Window> rates_;
};
