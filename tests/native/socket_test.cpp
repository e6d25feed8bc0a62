#include "platform/socket.h"

#include <gtest/gtest.h>

namespace travik::net {
namespace {

TEST(SocketErrorMessage, WordsKnownAndUnknownCodes) {
  EXPECT_EQ(SocketErrorMessage(10061), "Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(SocketErrorMessage(11001), "Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(SocketErrorMessage(10060), "Socket Error # 10060\r\nConnection timed out.");
  EXPECT_EQ(SocketErrorMessage(12345), "Socket Error # 12345\r\n");
}

}  // namespace
}  // namespace travik::net
