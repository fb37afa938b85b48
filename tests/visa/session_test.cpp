// Handles: resource managers, I/O sessions, invalid and closed handles, concurrent close, and
// the TCP connection's options.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <vector>
#include <string>
#include <thread>

#include "loopback_peer.h"
#include "visa/visa.h"
#include "visa_fixture.h"
#include "zr48sim/server.h"

namespace zr48::visa::testing {
namespace {

TEST(Handles, UnknownHandlesAreInvalidObjects) {
  ViByte byte = 0;
  ViUInt32 count = 0;
  ViUInt32 value = 0;
  const ViSession bogus = 0x7FFFFFF0;
  EXPECT_EQ(viRead(bogus, &byte, 1, &count), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viWrite(bogus, &byte, 1, &count), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viPrintf(bogus, "x\n"), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viScanf(bogus, "%c", &byte), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viFlush(bogus, VI_READ_BUF_DISCARD), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viSetBuf(bogus, VI_READ_BUF, 100), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viSetAttribute(bogus, VI_ATTR_TMO_VALUE, 10), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viGetAttribute(bogus, VI_ATTR_TMO_VALUE, &value), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viClose(bogus), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viClose(VI_NULL), VI_WARN_NULL_OBJECT);
  EXPECT_EQ(viOpen(bogus, "TCPIP::127.0.0.1::1::SOCKET", VI_NO_LOCK, 0, &value),
            VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viOpenDefaultRM(nullptr), VI_ERROR_INV_PARAMETER);
}

TEST(Handles, ResourceManagersAreDistinctAndRefuseIo) {
  ViSession a = VI_NULL;
  ViSession b = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&a), VI_SUCCESS);
  ASSERT_EQ(viOpenDefaultRM(&b), VI_SUCCESS);
  EXPECT_NE(a, static_cast<ViSession>(VI_NULL));
  EXPECT_NE(a, b);
  ViByte byte = 0;
  EXPECT_EQ(viRead(a, &byte, 1, nullptr), VI_ERROR_NSUP_OPER);
  EXPECT_EQ(viPrintf(a, "x\n"), VI_ERROR_NSUP_OPER);
  EXPECT_EQ(viFlush(a, VI_READ_BUF_DISCARD), VI_ERROR_NSUP_OPER);
  EXPECT_EQ(viClose(a), VI_SUCCESS);
  EXPECT_EQ(viClose(a), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viClose(b), VI_SUCCESS);
}

TEST(Handles, OpenNeedsAResourceManager) {
  LoopbackPeer peer;
  ViSession rm = VI_NULL;
  ViSession vi = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm, peer.resource().c_str(), VI_NO_LOCK, 0, &vi), VI_SUCCESS);
  ViSession nested = 42;
  EXPECT_EQ(viOpen(vi, peer.resource().c_str(), VI_NO_LOCK, 0, &nested), VI_ERROR_NSUP_OPER);
  EXPECT_EQ(nested, static_cast<ViSession>(VI_NULL));
  EXPECT_EQ(viOpen(rm, peer.resource().c_str(), 0x100, 0, &nested), VI_ERROR_INV_ACC_MODE);
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

TEST(Handles, ClosingTheManagerClosesItsSessions) {
  LoopbackPeer peer;
  ViSession rm = VI_NULL;
  ViSession first = VI_NULL;
  ViSession second = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm, peer.resource().c_str(), VI_NO_LOCK, 0, &first), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm, peer.resource().c_str(), VI_NO_LOCK, 0, &second), VI_SUCCESS);
  EXPECT_NE(first, second);
  EXPECT_EQ(viClose(first), VI_SUCCESS);
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
  EXPECT_EQ(viPrintf(second, "x\n"), VI_ERROR_INV_OBJECT);
  EXPECT_EQ(viClose(second), VI_ERROR_INV_OBJECT);
}

TEST(Handles, RefusedConnectionIsNotFound) {
  int port = 0;
  {
    LoopbackPeer closed_again;  // a port that was free a moment ago and has no listener now
    port = closed_again.port();
  }
  ViSession rm = VI_NULL;
  ViSession vi = 42;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  const std::string name = "TCPIP::127.0.0.1::" + std::to_string(port) + "::SOCKET";
  EXPECT_EQ(viOpen(rm, name.c_str(), VI_NO_LOCK, 0, &vi), VI_ERROR_RSRC_NFOUND);
  EXPECT_EQ(vi, static_cast<ViSession>(VI_NULL));
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

// A read blocked on a silent peer is woken by viClose from another thread; afterwards the
// handle is invalid and nothing crashes.
TEST_F(PeerSession, ConcurrentCloseWakesABlockedRead) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
  std::atomic<ViStatus> read_status{VI_SUCCESS};
  std::thread reader([&] {
    ViByte buffer[16];
    read_status = viRead(vi_, buffer, sizeof buffer, nullptr);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(viClose(vi_), VI_SUCCESS);
  reader.join();
  EXPECT_LT(read_status.load(), VI_SUCCESS);
  EXPECT_EQ(viRead(vi_, nullptr, 0, nullptr), VI_ERROR_INV_OBJECT);
}

TEST_F(PeerSession, ManyThreadsRacingCloseAndIo) {
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([this] {
      for (int j = 0; j < 50; ++j) {
        ViUInt32 timeout = 0;
        viGetAttribute(vi_, VI_ATTR_TMO_VALUE, &timeout);
        viPrintf(vi_, "x");
        viFlush(vi_, VI_WRITE_BUF_DISCARD);
      }
    });
  }
  EXPECT_EQ(viClose(vi_), VI_SUCCESS);
  for (auto& t : threads) t.join();
  EXPECT_EQ(viClose(vi_), VI_ERROR_INV_OBJECT);
}

// The client sockets of this process connected to `port`, found through /proc/self/fd.
std::vector<int> SocketsConnectedTo(std::uint16_t port) {
  std::vector<int> sockets;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    in_port_t peer_port = 0;
    if (peer.ss_family == AF_INET) peer_port = reinterpret_cast<sockaddr_in&>(peer).sin_port;
    if (peer.ss_family == AF_INET6) peer_port = reinterpret_cast<sockaddr_in6&>(peer).sin6_port;
    if (ntohs(peer_port) == port) sockets.push_back(fd);
  }
  return sockets;
}

bool HasNoDelay(int fd) {
  int flag = 0;
  socklen_t length = sizeof flag;
  return ::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &flag, &length) == 0 && flag != 0;
}

// Every connection the layer opens disables Nagle's algorithm, over IPv4 and IPv6.
TEST(TcpConnection, EveryConnectionHasNoDelay) {
  sim::Server v4;
  ViSession rm = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  std::vector<std::string> names = {v4.resource(), v4.resource(),
                                    "TCPIP::localhost::" + std::to_string(v4.port()) + "::SOCKET"};
  std::unique_ptr<sim::Server> v6;
  try {
    v6 = std::make_unique<sim::Server>(0, "::1");
    names.push_back(v6->resource());
  } catch (const std::exception&) {
    // no IPv6 loopback on this machine
  }
  for (const auto& name : names) {
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpen(rm, name.c_str(), VI_NO_LOCK, 0, &vi), VI_SUCCESS) << name;
    ViBoolean flag = VI_FALSE;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_TCPIP_NODELAY, &flag), VI_SUCCESS);
    EXPECT_EQ(flag, VI_TRUE);
  }
  // The sockets themselves, as the kernel sees them.
  for (const sim::Server* server : {&v4, v6.get()}) {
    if (server == nullptr) continue;
    const std::vector<int> sockets = SocketsConnectedTo(server->port());
    EXPECT_FALSE(sockets.empty()) << server->resource();
    for (const int fd : sockets) EXPECT_TRUE(HasNoDelay(fd)) << server->resource();
  }
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

}  // namespace
}  // namespace zr48::visa::testing
