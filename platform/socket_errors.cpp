#include "platform/socket_errors.h"

#include <cerrno>
#include <iterator>

namespace travik::net {
namespace {

struct KnownError {
  int code;         // Windows Sockets
  int errno_value;  // POSIX; 0 when there is none
  const char* text;
};

// EHOSTDOWN is POSIX's but not every C library's (MinGW-w64 has none; it needs none).
#ifdef EHOSTDOWN
constexpr int kHostDown = EHOSTDOWN;
#else
constexpr int kHostDown = 0;
#endif

constexpr KnownError kKnown[] = {
    {kErrWouldBlock, EWOULDBLOCK, "Resource temporarily unavailable."},
    {kErrInProgress, EINPROGRESS, nullptr},
    {10048, EADDRINUSE, "Address already in use."},
    {10049, EADDRNOTAVAIL, "Cannot assign requested address."},
    {10050, ENETDOWN, "Network is down."},
    {10051, ENETUNREACH, "Network is unreachable."},
    {kErrConnAborted, ECONNABORTED, "Software caused connection abort."},
    {kErrConnAborted, EPIPE, "Software caused connection abort."},  // writing to a closed one
    {kErrConnReset, ECONNRESET, "Connection reset by peer."},
    {10057, ENOTCONN, "Socket is not connected."},
    {kErrTimedOut, ETIMEDOUT, "Connection timed out."},
    {kErrConnRefused, ECONNREFUSED, "Connection refused."},
    {10064, kHostDown, "Host is down."},
    {10065, EHOSTUNREACH, "No route to host."},
    {kErrHostNotFound, 0, "Host not found."},  // the resolver's, not a socket call's
};

}  // namespace

const char* SocketErrorText(int code) {
  for (const KnownError& known : kKnown) {
    if (known.code == code) return known.text;
  }
  return nullptr;
}

int SocketErrorOfErrno(int errno_value) {
  if (errno_value == EAGAIN) errno_value = EWOULDBLOCK;  // one value on most systems, not all
  for (const KnownError& known : kKnown) {
    if (known.errno_value != 0 && known.errno_value == errno_value) return known.code;
  }
  return 10000 + errno_value;
}

}  // namespace travik::net
