#include "platform/tcp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/deadline.h"
#include "tests/native/loopback_waits.h"

namespace travik::net {
namespace {

using test::Listener;

class TcpClientTest : public testing::Test {
 protected:
  SocketLibrary library_;
};

// A look-up that finds nothing, without asking any name server.
std::optional<Ipv4Address> NothingFound(const std::string&) {
  return std::nullopt;
}

TEST_F(TcpClientTest, ConnectsToAnAcceptingListener) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("127.0.0.1", listener.Port(), {});
  EXPECT_TRUE(client.Connected());
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
}

TEST_F(TcpClientTest, ResolvesANameThroughItsLookUp) {
  Listener listener = Listener::OnLoopback();
  std::vector<std::string> asked;
  TcpClient client([&asked](const std::string& host) -> std::optional<Ipv4Address> {
    asked.push_back(host);
    return Ipv4Address{{127, 0, 0, 1}};
  });
  client.Connect("server.travik-test.invalid", listener.Port(), {});
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(asked, std::vector<std::string>{"server.travik-test.invalid"});
}

TEST_F(TcpClientTest, ResolvesLocalhostThroughTheSystem) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("localhost", listener.Port(), {});
  EXPECT_TRUE(client.Connected());
}

TEST_F(TcpClientTest, ConnectErrorsCarryTheSocketWording) {
  struct Case {
    const char* host;
    std::uint16_t port;
    const char* message;
  };
  const Listener refusing = Listener::RefusingOnLoopback();
  const Case cases[] = {
      {"127.0.0.1", refusing.Port(), "Socket Error # 10061\r\nConnection refused."},
      {"no-such-host.invalid", 81, "Socket Error # 11001\r\nHost not found."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    TcpClient client(NothingFound);
    try {
      client.Connect(c.host, c.port, {});
      ADD_FAILURE() << "connect succeeded";
    } catch (const SocketError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_FALSE(client.Connected());
  }
}

TEST_F(TcpClientTest, CancelEndsAConnectThatHangs) {
  test::FullBacklogListener hanging;
  std::stop_source stop;
  TcpClient client;
  std::string error;
  {
    test::StopAfter later(stop, 200);
    // The stop is seen at the connect's next look, 20 ms after it is asked: well within a second
    // of the start, and far from the system's own connect time-out of a minute or more. Past four
    // times that the listener goes, and the connect ends at its next try.
    test::RunWithin(
        std::chrono::seconds(4), "The cancelled connect",
        [&] {
          try {
            client.Connect("127.0.0.1", hanging.Port(), stop.get_token());
          } catch (const Error& e) {
            error = e.Message();
          }
        },
        [&hanging] { hanging.Close(); });
  }
  EXPECT_EQ(error, "Cancelled.");
  EXPECT_FALSE(client.Connected());
}

TEST_F(TcpClientTest, PeerThatHasClosedIsNotOpen) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("127.0.0.1", listener.Port(), {});
  test::TestSocket accepted = listener.Accept(5000);
  ASSERT_TRUE(accepted.Valid());
  accepted.Close();
  // The close travels over loopback at once, well within a second: four times that.
  test::WaitUntil([&client] { return !client.Connected(); }, std::chrono::seconds(4),
                  "The peer's close, seen by Connected()");
}

TEST_F(TcpClientTest, DataAlreadySentIsDroppedAndConnectionStaysOpen) {
  Listener listener = Listener::OnLoopback();
  TcpClient client;
  client.Connect("127.0.0.1", listener.Port(), {});
  test::TestSocket accepted = listener.Accept(5000);
  ASSERT_TRUE(accepted.Valid());
  accepted.SendAll(std::string(100000, 'x'));
  EXPECT_TRUE(client.Connected());
  EXPECT_TRUE(client.Connected());
}

}  // namespace
}  // namespace travik::net
