#include "platform/tcp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace travik::net {
namespace {

class TcpClientTest : public testing::Test {
 protected:
  SocketLibrary library_;
};

// A port on which nothing listens: bind one, read its number, close it.
std::uint16_t RefusedPort() {
  Listener listener = Listener::OnLoopback();
  return listener.Port();
}

TEST_F(TcpClientTest, ConnectsToAnAcceptingListener) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("127.0.0.1", listener.Port());
  EXPECT_TRUE(client.Connected());
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
}

TEST_F(TcpClientTest, ResolvesLocalhostByName) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("localhost", listener.Port());
  EXPECT_TRUE(client.Connected());
}

TEST_F(TcpClientTest, ConnectErrorsCarryTheSocketWording) {
  struct Case {
    const char* host;
    std::uint16_t port;
    const char* message;
  };
  const Case cases[] = {
      {"127.0.0.1", RefusedPort(), "Socket Error # 10061\r\nConnection refused."},
      {"no-such-host.invalid", 81, "Socket Error # 11001\r\nHost not found."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    TcpClient client;
    try {
      client.Connect(c.host, c.port);
      ADD_FAILURE() << "connect succeeded";
    } catch (const Error& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_FALSE(client.Connected());
  }
}

TEST_F(TcpClientTest, PeerThatHasClosedIsNotOpen) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("127.0.0.1", listener.Port());
  Socket accepted = listener.Accept(5000);
  ASSERT_TRUE(accepted.Valid());
  accepted.Close();
  // The close travels over loopback at once, but give it a bounded moment to arrive.
  bool open = true;
  for (int i = 0; i < 200 && open; ++i) {
    open = client.Connected();
    if (open) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(open);
}

TEST_F(TcpClientTest, DataAlreadySentIsDroppedAndConnectionStaysOpen) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("127.0.0.1", listener.Port());
  Socket accepted = listener.Accept(5000);
  ASSERT_TRUE(accepted.Valid());
  accepted.SendAll(std::string(100000, 'x'));
  EXPECT_TRUE(client.Connected());
  EXPECT_TRUE(client.Connected());
}

}  // namespace
}  // namespace travik::net
