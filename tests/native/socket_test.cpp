// Socket errors keep their number and their text, and word them as the network layer always has;
// the POSIX build gives errno the Windows Sockets number that means the same.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/socket_errors.h"

namespace travik::net {
namespace {

TEST(SocketError, EveryNumberOfTheTableKeepsItsPartsAndItsWording) {
  struct Case {
    int code;
    std::string text;
  };
  const Case cases[] = {
      {10035, "Resource temporarily unavailable."},
      {10036, ""},  // a connect under way: no text of its own
      {10048, "Address already in use."},
      {10049, "Cannot assign requested address."},
      {10050, "Network is down."},
      {10051, "Network is unreachable."},
      {10053, "Software caused connection abort."},
      {10054, "Connection reset by peer."},
      {10057, "Socket is not connected."},
      {10060, "Connection timed out."},
      {10061, "Connection refused."},
      {10064, "Host is down."},
      {10065, "No route to host."},
      {11001, "Host not found."},
      {12345, ""},  // a number the table does not know
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const SocketError error(c.code);
    EXPECT_EQ(error.Code(), c.code);
    EXPECT_EQ(error.Text(), c.text);
    EXPECT_EQ(error.Message(), "Socket Error # " + std::to_string(c.code) + "\r\n" + c.text);
  }
}

#ifndef _WIN32
TEST(SocketError, PosixErrnoBecomesTheWindowsSocketsNumber) {
  struct Case {
    int errno_value;
    int code;
  };
  const Case cases[] = {
      {ECONNREFUSED, 10061},  {ETIMEDOUT, 10060},  {ECONNRESET, 10054},
      {ECONNABORTED, 10053},  {EPIPE, 10053},      {ENETUNREACH, 10051},
      {EHOSTUNREACH, 10065},  {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049},
      {EWOULDBLOCK, 10035},   {EAGAIN, 10035},     {EINPROGRESS, 10036},
      {ENOTCONN, 10057},      {ENETDOWN, 10050},   {EHOSTDOWN, 10064},
      {EPERM, 10000 + EPERM},  // unknown: its own number above the base, no text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.errno_value);
    EXPECT_EQ(SocketErrorOfErrno(c.errno_value), c.code);
  }
  EXPECT_EQ(SocketError(SocketErrorOfErrno(EPERM)).Text(), "");
}
#endif

}  // namespace
}  // namespace travik::net
