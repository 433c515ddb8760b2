#include "app/qt/remote_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string_view>

namespace {

std::int64_t steadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

QByteArray bytes(std::string_view text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string methodText(QHttpServerRequest::Method method) {
  using Method = QHttpServerRequest::Method;
  switch (method) {
    case Method::Get:
      return "GET";
    case Method::Put:
      return "PUT";
    case Method::Delete:
      return "DELETE";
    case Method::Post:
      return "POST";
    case Method::Head:
      return "HEAD";
    case Method::Options:
      return "OPTIONS";
    case Method::Patch:
      return "PATCH";
    case Method::Connect:
      return "CONNECT";
    case Method::Trace:
      return "TRACE";
    default:
      return "UNKNOWN";
  }
}

// The client's address as the audit log and the request limit name it: an IPv4 client of a socket that
// listens on IPv6 as plain IPv4.
std::string clientText(const QHostAddress& address) {
  bool v4 = false;
  const quint32 ipv4 = address.toIPv4Address(&v4);
  return (v4 ? QHostAddress(ipv4).toString() : address.toString()).toStdString();
}

}  // namespace

// Qt's HTTP server: parses the requests of the connections it is handed and calls handleRequest with each
// whole one.
class RemoteHttpFront final : public QAbstractHttpServer {
 public:
  explicit RemoteHttpFront(RemoteServer& owner) : owner_(owner) {}

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  // Never called: handleRequest answers every request.
  void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

 private:
  RemoteServer& owner_;
};

// The listening socket: it makes the connections' sockets itself, so that each is guarded from its first
// byte, and closes those beyond the cap at once.
class RemoteTcpServer final : public QTcpServer {
 public:
  explicit RemoteTcpServer(RemoteServer& owner) : owner_(owner) {}

 protected:
  void incomingConnection(qintptr descriptor) override {
    QTcpSocket* socket = owner_.accept(descriptor);
    if (socket == nullptr)
      return;
    // Qt's HTTP server connects its parser to the socket while the connection is added.
    addPendingConnection(socket);
    owner_.added(*socket);
  }

 private:
  RemoteServer& owner_;
};

// The guard of one connection, a child of its socket. It counts the bytes of the request in progress and
// times it; the socket's read buffer is capped just above the request limit, and while Qt's parser reads a
// request the socket keeps all its bytes, so no request past the limit is ever held whole.
class RemoteConnection final : public QObject {
 public:
  RemoteConnection(RemoteServer& owner, QTcpSocket& socket)
      : QObject(&socket), owner_(owner), socket_(socket) {
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, this, [this] { socket_.abort(); });
    deadline_.start(owner_.limits_.requestTime);
  }

  // Connected before Qt's parser reads: the bytes that came since the last look.
  void beforeRead() {
    const qint64 available = socket_.bytesAvailable();
    if (available > unread_)
      requestBytes_ += static_cast<std::size_t>(available - unread_);
  }
  // Connected after Qt's parser has read.
  void afterRead() {
    if (refusing_ || socket_.state() != QAbstractSocket::ConnectedState)
      return;
    unread_ = socket_.bytesAvailable();
    if (answered_) {
      // What is left belongs to the next request.
      answered_ = false;
      requestBytes_ = static_cast<std::size_t>(unread_);
    }
    if (requestBytes_ > owner_.limits_.requestBytes)
      refuse();
  }

  // A request was answered: the next one has the time limit anew, which also ends an idle connection.
  void answered() {
    answered_ = true;
    deadline_.start(owner_.limits_.requestTime);
  }

  // Answers 413 and closes. The rest of the request is read and thrown away for a moment, and the socket is
  // closed for writing only, so that the client reads the answer instead of a reset connection.
  void refuse() {
    refusing_ = true;
    QObject::disconnect(&socket_, &QIODevice::readyRead, nullptr, nullptr);
    if (socket_.isTransactionStarted())
      socket_.commitTransaction();
    socket_.readAll();
    const QByteArray body =
        bytes(R"({"error":"the request is over the limit of 16 KiB of body and 8 KiB of headers"})");
    QByteArray reply =
        "HTTP/1.1 413 Payload Too Large\r\nContent-Type: application/json\r\nContent-Length: " +
        QByteArray::number(body.size()) + "\r\nConnection: close\r\n";
    for (const auto& [name, value] : kRemoteReplyHeaders)
      reply += bytes(name) + ": " + bytes(value) + "\r\n";
    socket_.write(reply + "\r\n" + body);
    QObject::connect(&socket_, &QIODevice::readyRead, this, [this] { drain(); });
    QObject::connect(&socket_, &QIODevice::bytesWritten, this, [this] { closeWritingWhenSent(); });
    socket_.setReadBufferSize(64 * 1024);
    socket_.flush();
    closeWritingWhenSent();
    deadline_.start(owner_.limits_.lingerTime);
  }

  bool refusing() const { return refusing_; }
  int busy = 0;                  // handlers of this connection's requests running
  bool closeAfterReply = false;  // the server stopped listening while a request was being answered

 private:
  void drain() {
    drained_ += static_cast<std::size_t>(socket_.readAll().size());
    if (drained_ > 1024 * 1024)
      socket_.abort();
  }
  void closeWritingWhenSent() {
    if (!writingClosed_ && socket_.bytesToWrite() == 0 &&
        socket_.state() == QAbstractSocket::ConnectedState) {
      writingClosed_ = true;
      ::shutdown(static_cast<int>(socket_.socketDescriptor()), SHUT_WR);
    }
  }

  RemoteServer& owner_;
  QTcpSocket& socket_;
  QTimer deadline_;
  std::size_t requestBytes_ = 0;
  qint64 unread_ = 0;
  bool answered_ = false;
  bool refusing_ = false;
  bool writingClosed_ = false;
  std::size_t drained_ = 0;
};

bool RemoteHttpFront::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  RemoteConnection* connection = owner_.connectionOf(socket);
  if (connection == nullptr || connection->refusing())
    return true;
  const RemoteRequest remote{methodText(request.method()),
                             request.url().path().toStdString(),
                             request.value("Authorization").toStdString(),
                             request.body().toStdString(),
                             clientText(request.remoteAddress()),
                             steadyMilliseconds()};
  RemoteReply reply;
  {
    // The handler may run a nested event loop (a notice box in the window): meanwhile this socket's
    // signals wait, so that Qt does not parse its next request into the one being answered. Other
    // connections are served.
    ++connection->busy;
    const bool blocked = socket->blockSignals(true);
    try {
      reply = owner_.handler_(remote);
    } catch (...) {
      // The core answers every request itself; a failure around it (showing the window) is no reason to
      // leave the client without an answer.
      reply = RemoteReply{500, "application/json", std::string(R"({"error":"internal error"})")};
    }
    socket->blockSignals(blocked);
    --connection->busy;
  }
  // Dropped meanwhile (its time ran out, or the server stopped listening and it was idle).
  if (socket->state() != QAbstractSocket::ConnectedState)
    return true;

  const QByteArray body = QByteArray::fromStdString(reply.body);
  QHttpServerResponder responder = makeResponder(request, socket);
  responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
  responder.writeHeader("Content-Type", QByteArray::fromStdString(reply.contentType));
  for (const auto& [name, value] : kRemoteReplyHeaders)
    responder.writeHeader(bytes(name), bytes(value));
  if (connection->closeAfterReply)
    responder.writeHeader("Connection", "close");
  responder.writeHeader("Content-Length", QByteArray::number(body.size()));
  // A reply to HEAD has the headers of the reply to GET and no body.
  responder.writeBody(request.method() == QHttpServerRequest::Method::Head ? QByteArray() : body);
  connection->answered();

  if (connection->closeAfterReply) {
    socket->disconnectFromHost();
  } else if (static_cast<std::size_t>(socket->bytesToWrite()) > owner_.limits_.unsentBytes) {
    // A client that sends requests without reading the replies.
    socket->abort();
  } else if (socket->bytesAvailable() > 0) {
    // Bytes that came while the signals waited, or a request sent right behind this one: Qt reads them only
    // on the next readyRead.
    QTimer::singleShot(0, socket, [socket] {
      if (socket->bytesAvailable() > 0)
        emit socket->readyRead();
    });
  }
  return true;
}

RemoteServer::RemoteServer(Handler handler, std::ostream& log, RemoteServerLimits limits)
    : handler_(std::move(handler)),
      log_(log),
      limits_(limits),
      front_(std::make_unique<RemoteHttpFront>(*this)) {}

RemoteServer::~RemoteServer() {
  front_.reset();
}

std::string RemoteServer::listen(const RemoteEndpoint& endpoint) {
  close();
  QHostAddress address;
  if (endpoint.address == "localhost")
    address = QHostAddress(QHostAddress::LocalHost);
  else if (!address.setAddress(QString::fromStdString(endpoint.address)))
    return "\"" + endpoint.address +
           "\" is not a numeric address; give an IPv4 or IPv6 address, or localhost";
  // "::" is every interface, IPv4 too, as on Linux by default (Qt would take it for IPv6 alone); an IPv4
  // client then shows as IPv4 (clientText).
  if (address == QHostAddress(QHostAddress::AnyIPv6))
    address = QHostAddress(QHostAddress::Any);
  auto* server = new RemoteTcpServer(*this);
  if (!server->listen(address, static_cast<quint16>(endpoint.port))) {
    const std::string why = server->errorString().toStdString();
    delete server;  // it never listened: nothing of Qt's refers to it
    return why;
  }
  front_->bind(server);
  listening_ = server;
  return {};
}

void RemoteServer::close() {
  if (listening_) {
    // Closed now, so that its port is free for the next listen; deleted once control is back in the event
    // loop, as this may run inside one of its signals.
    listening_->close();
    listening_->deleteLater();
    listening_ = nullptr;
  }
  // Aborting a socket only makes Qt delete it later, from the event loop; the map stays as it is meanwhile.
  for (const auto& [socket, connection] : connections_) {
    if (connection->busy > 0)
      connection->closeAfterReply = true;  // its reply goes out first
    else if (socket->state() != QAbstractSocket::UnconnectedState)
      socket->abort();
  }
}

RemoteConnection* RemoteServer::connectionOf(QTcpSocket* socket) const {
  const auto found = connections_.find(socket);
  return found == connections_.end() ? nullptr : found->second;
}

void RemoteServer::tell(const std::string& line) {
  log_ << "zarn-vote: " << line << std::endl;
}

unsigned RemoteServer::port() const {
  return listening_ ? listening_->serverPort() : 0U;
}

QTcpSocket* RemoteServer::accept(long long descriptor) {
  if (connections_.size() >= static_cast<std::size_t>(limits_.connections)) {
    ::close(static_cast<int>(descriptor));
    return nullptr;
  }
  auto* socket = new QTcpSocket(front_.get());
  if (!socket->setSocketDescriptor(static_cast<qintptr>(descriptor))) {
    ::close(static_cast<int>(descriptor));
    delete socket;  // known to nobody yet
    return nullptr;
  }
  socket->setReadBufferSize(static_cast<qint64>(limits_.requestBytes) + 1);
  auto* connection = new RemoteConnection(*this, *socket);
  connections_.emplace(socket, connection);
  // Before the socket's children, its guard among them, go.
  QObject::connect(socket, &QObject::destroyed, front_.get(), [this, socket] { connections_.erase(socket); });
  // The guard looks at the bytes before Qt's parser reads them (here) and after (added).
  QObject::connect(socket, &QIODevice::readyRead, connection, [connection] { connection->beforeRead(); });
  return socket;
}

void RemoteServer::added(QTcpSocket& socket) {
  RemoteConnection* connection = connectionOf(&socket);
  if (connection == nullptr)
    return;
  QObject::connect(&socket, &QIODevice::readyRead, connection, [connection] { connection->afterRead(); });
}
