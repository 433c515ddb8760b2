#include "app/qt/service_manager.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

bool notifyServiceManager(const std::string& state) {
  const char* socketName = ::getenv("NOTIFY_SOCKET");
  if (socketName == nullptr)
    return false;
  const std::size_t length = std::strlen(socketName);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (length < 2 || length >= sizeof address.sun_path || (socketName[0] != '/' && socketName[0] != '@'))
    return false;
  std::memcpy(address.sun_path, socketName, length);
  if (address.sun_path[0] == '@')
    address.sun_path[0] = '\0';
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  const auto addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
  const ssize_t sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), addressLength);
  ::close(fd);
  return sent == static_cast<ssize_t>(state.size());
}
