// zarn-vote --headless under a service manager that waits for its readiness (systemd's Type=notify): the
// service says READY=1 on $NOTIFY_SOCKET once its settings let it run, and never when they end it, so that
// `systemctl start` fails on a first start instead of reporting a service that ends a moment later.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include "support/service_process.h"
#include "support/temp_folder.h"

namespace {

// A manager's notify socket: a datagram socket at a path or, named with a leading '@', in the abstract
// namespace.
class NotifySocket {
 public:
  explicit NotifySocket(std::string name) : name_(std::move(name)) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name_.data(), name_.size());
    if (name_[0] == '@')
      address.sun_path[0] = '\0';
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name_.size());
    EXPECT_EQ(0, ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), length)) << std::strerror(errno);
  }
  ~NotifySocket() { ::close(fd_); }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const std::string& name() const { return name_; }
  // The next message, waiting up to `milliseconds` for it.
  std::optional<std::string> receive(int milliseconds) const {
    pollfd readable{fd_, POLLIN, 0};
    if (::poll(&readable, 1, milliseconds) != 1)
      return std::nullopt;
    char buffer[512];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    return got < 0 ? std::nullopt
                   : std::optional<std::string>(std::string(buffer, static_cast<std::size_t>(got)));
  }

 private:
  std::string name_;
  int fd_ = -1;
};

ChildSetup underManager(const NotifySocket& socket) {
  // No display: the service runs on and says so, which is all these tests need of it.
  return {std::nullopt, std::nullopt, {{"NOTIFY_SOCKET", socket.name()}, {"DISPLAY", std::nullopt}}};
}

// The socket at a path, as systemd names its own, and in the abstract namespace, as a manager in a
// container may.
class ServiceManagerTest : public ::testing::TestWithParam<bool> {
 protected:
  std::string socketName() const {
    return GetParam() ? (sockets_ / "notify").string()
                      : "@zarn-vote-test-notify-" + std::to_string(::getpid());
  }
  TempFolder sockets_;
  TempFolder folder_;
};

TEST_P(ServiceManagerTest, SettingsThatRunTheServiceMakeItReady) {
  NotifySocket manager(socketName());
  folder_.write("settings.ini", "[Game]\r\nName=No such game\r\n[General]\r\nFirst Run=False\r\n");
  ServiceProcess service(ZARN_VOTE_PATH, folder_.path(), {"--headless"}, underManager(manager));
  EXPECT_EQ("READY=1", manager.receive(30000).value_or("nothing")) << service.output();
  EXPECT_TRUE(service.running()) << service.output();
  EXPECT_EQ(0, WEXITSTATUS(service.stop()));
}

TEST_P(ServiceManagerTest, AFirstStartOnAnEmptyFolderEndsWithoutReadiness) {
  NotifySocket manager(socketName());
  ServiceProcess service(ZARN_VOTE_PATH, folder_.path(), {"--headless"}, underManager(manager));
  const std::optional<int> status = service.waitForEnd(std::chrono::seconds(30));
  ASSERT_TRUE(status.has_value()) << service.output();
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 2) << describeStatus(*status);
  EXPECT_EQ(std::nullopt, manager.receive(0)) << "the service ended, so nothing more can come";
}

INSTANTIATE_TEST_SUITE_P(PathOrAbstract, ServiceManagerTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Path" : "Abstract";
                         });

}  // namespace
