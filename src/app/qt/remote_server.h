// The remote console's HTTP server on Qt HttpServer's QAbstractHttpServer, on the program's one thread: it
// hands each request whole to the core (RemoteConsole::handle) and writes the reply. Qt parses the HTTP; this
// adapter adds what Qt HttpServer 6.4 leaves out, so that a client on the network can never take memory or
// time from the service: a request over the size limit is answered 413 once its bytes pass the limit, before
// it is read whole; a request that does not arrive whole within the time limit, or an idle connection, is
// dropped; open connections are capped, the ones beyond closed at once; and a client that does not read its
// replies is dropped before they pile up.
#pragma once

#include <QPointer>
#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <unordered_map>

#include "app/remote_console.h"

class RemoteHttpFront;
class RemoteTcpServer;
class RemoteConnection;
class QTcpSocket;

struct RemoteServerLimits {
  // A request's bytes, request line and headers included: the core's body limit and room for headers.
  std::size_t requestBytes = kRemoteBodyLimit + 8 * 1024;
  // From a connection's start, or from the end of its last request, until its next request is whole.
  std::chrono::milliseconds requestTime{10000};
  int connections = 64;
  // Reply bytes not yet taken by the client, beyond which it is dropped.
  std::size_t unsentBytes = 256 * 1024;
  // After a 413, how long the rest of the client's request is still read and thrown away, so that the
  // client sees the answer rather than a reset connection.
  std::chrono::milliseconds lingerTime{2000};
};

class RemoteServer final : public RemoteListenerPort {
 public:
  using Handler = std::function<RemoteReply(const RemoteRequest&)>;

  // `handler` answers each request (it runs on the event loop's thread, between events); `log` takes the
  // lines told to the operator.
  RemoteServer(Handler handler, std::ostream& log, RemoteServerLimits limits = {});
  ~RemoteServer() override;
  RemoteServer(const RemoteServer&) = delete;
  RemoteServer& operator=(const RemoteServer&) = delete;

  // RemoteListenerPort
  std::string listen(const RemoteEndpoint& endpoint) override;
  void close() override;
  void tell(const std::string& line) override;

  // The port listened on, 0 when none.
  unsigned port() const;
  std::size_t openConnections() const { return connections_.size(); }

 private:
  friend class RemoteHttpFront;
  friend class RemoteTcpServer;
  friend class RemoteConnection;

  // A connection accepted by the listening socket: its socket, guarded, or none when it was closed at once
  // (beyond the cap).
  QTcpSocket* accept(long long descriptor);
  // The socket, once Qt's HTTP server has taken it.
  void added(QTcpSocket& socket);
  RemoteConnection* connectionOf(QTcpSocket* socket) const;
  // Answers one whole request that Qt parsed.
  void answer(const RemoteRequest& request, QTcpSocket& socket, bool head);

  Handler handler_;
  std::ostream& log_;
  RemoteServerLimits limits_;
  std::unique_ptr<RemoteHttpFront> front_;
  QPointer<RemoteTcpServer> listening_;
  // The open connections' guards, each a child of its socket.
  std::unordered_map<QTcpSocket*, RemoteConnection*> connections_;
};
