// Raw instrument data goes through the session's I/O session: a real VISA session over a
// loopback socket, with the bytes checked on the other end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "engine_fixture.h"
#include "visa/visa.h"

namespace zr48::engine::test {
namespace {

class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const bool ready = ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                       ::listen(fd_, 1) == 0 &&
                       ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    EXPECT_TRUE(ready);
    port_ = ntohs(addr.sin_port);
  }
  ~Listener() { ::close(fd_); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  int port() const { return port_; }
  int accept() const { return ::accept(fd_, nullptr, nullptr); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST_F(EngineTest, RawDataTravelsThroughTheIoSession) {
  const Listener listener;
  open("");
  ViSession rm = VI_NULL;
  ASSERT_EQ(Ivi_GetAttributeViSession(vi, "", IVI_ATTR_VISA_RM_SESSION, 0, &rm), VI_SUCCESS);
  const std::string resource = "TCPIP::127.0.0.1::" + std::to_string(listener.port()) + "::SOCKET";
  std::string received;
  std::thread peer([&] {
    const int fd = listener.accept();
    char buf[64];
    while (received.size() < 6) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      received.append(buf, static_cast<size_t>(n));
    }
    ::send(fd, "ACME,1\n", 7, 0);
    ::close(fd);
  });
  ViSession io = VI_NULL;
  ASSERT_EQ(viOpen(rm, resource.c_str(), VI_NULL, 0, &io), VI_SUCCESS);
  ASSERT_GE(viSetAttribute(io, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
  ASSERT_GE(viSetAttribute(io, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
  ASSERT_EQ(Ivi_SetAttributeViSession(vi, "", IVI_ATTR_IO_SESSION, 0, io), VI_SUCCESS);
  EXPECT_EQ(Ivi_WriteInstrData(vi, "*IDN?\n"), VI_SUCCESS);
  ViChar reply[64] = {};
  ViInt32 count = 0;
  EXPECT_GE(Ivi_ReadInstrData(vi, sizeof reply, reply, &count), VI_SUCCESS);
  peer.join();
  EXPECT_EQ(received, "*IDN?\n");
  EXPECT_EQ(std::string(reply, static_cast<size_t>(count)), "ACME,1\n");
  viClose(io);
}

}  // namespace
}  // namespace zr48::engine::test
