#include "platform/socket_shim.h"

#include <cstring>

#include "platform/socket_errors.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace travik::net {

std::string Ipv4Address::ToString() const {
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
         std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

namespace shim {
namespace {

#ifdef _WIN32
using Native = SOCKET;
using Length = int;
constexpr int kSendFlags = 0;

template <typename Call>
auto Retrying(Call call) {
  return call();  // Windows Sockets calls are not interrupted by signals
}
#else
using Native = int;
using Length = socklen_t;
constexpr int kSendFlags = MSG_NOSIGNAL;

// Makes the call again while a signal interrupts it.
template <typename Call>
auto Retrying(Call call) {
  auto result = call();
  while (result < 0 && errno == EINTR) result = call();
  return result;
}

#endif

Native N(Handle handle) {
  return static_cast<Native>(handle);
}

sockaddr_in ToSockaddr(const Ipv4Address& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  std::memcpy(&sa.sin_addr, address.octets.data(), 4);
  return sa;
}

Ipv4Address FromSockaddr(const sockaddr_in& sa) {
  Ipv4Address address;
  std::memcpy(address.octets.data(), &sa.sin_addr, 4);
  return address;
}

}  // namespace

bool Startup() {
#ifdef _WIN32
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
  // Sends use MSG_NOSIGNAL; ignoring SIGPIPE as well covers every other path.
  std::signal(SIGPIPE, SIG_IGN);
  return true;
#endif
}

void Cleanup() {
#ifdef _WIN32
  WSACleanup();
#endif
}

int LastError() {
#ifdef _WIN32
  return WSAGetLastError();
#else
  return SocketErrorOfErrno(errno);
#endif
}

bool InProgress(int code) {
#ifdef _WIN32
  return code == WSAEWOULDBLOCK;
#else
  return code == kErrWouldBlock || code == kErrInProgress;
#endif
}

Handle OpenTcp() {
  const Native s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#ifdef _WIN32
  if (s == INVALID_SOCKET) return kInvalid;
#else
  if (s < 0) return kInvalid;
#endif
  return static_cast<Handle>(s);
}

void Close(Handle handle) {
#ifdef _WIN32
  closesocket(N(handle));
#else
  ::close(N(handle));  // not retried: the descriptor is gone even when interrupted
#endif
}

bool SetBlocking(Handle handle, bool blocking) {
#ifdef _WIN32
  u_long nonblocking = blocking ? 0 : 1;
  return ioctlsocket(N(handle), FIONBIO, &nonblocking) == 0;
#else
  const int flags = Retrying([&] { return fcntl(N(handle), F_GETFL, 0); });
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return Retrying([&] { return fcntl(N(handle), F_SETFL, wanted); }) == 0;
#endif
}

int Connect(Handle handle, const Ipv4Address& address, std::uint16_t port) {
  const sockaddr_in sa = ToSockaddr(address, port);
  // A connect that a signal interrupts goes on by itself; it is not made again.
  if (::connect(N(handle), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
#ifndef _WIN32
  if (errno == EINTR) return kErrInProgress;
#endif
  return LastError();
}

int PendingError(Handle handle) {
  int error = 0;
  Length length = sizeof error;
  if (getsockopt(N(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
    return LastError();
  }
#ifdef _WIN32
  return error;
#else
  return error == 0 ? 0 : SocketErrorOfErrno(error);
#endif
}

int Wait(Handle handle, bool for_write, int timeout_ms) {
#ifdef _WIN32
  fd_set set;
  FD_ZERO(&set);
  FD_SET(N(handle), &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(N(handle), &errors);
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  return select(0, for_write ? nullptr : &set, for_write ? &set : nullptr, &errors, &tv);
#else
  pollfd p{N(handle), static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
  // An interrupted wait is made again for its whole time: callers wait in short slices.
  return Retrying([&] { return poll(&p, 1, timeout_ms); });
#endif
}

std::ptrdiff_t Receive(Handle handle, char* buffer, std::size_t size) {
  return Retrying([&] {
    return static_cast<std::ptrdiff_t>(::recv(N(handle), buffer, static_cast<int>(size), 0));
  });
}

std::ptrdiff_t Send(Handle handle, const char* data, std::size_t size) {
  return Retrying([&] {
    return static_cast<std::ptrdiff_t>(::send(N(handle), data, static_cast<int>(size), kSendFlags));
  });
}

std::optional<Ipv4Address> PeerAddress(Handle handle) {
  sockaddr_in sa{};
  Length length = sizeof sa;
  if (getpeername(N(handle), reinterpret_cast<sockaddr*>(&sa), &length) != 0) return std::nullopt;
  return FromSockaddr(sa);
}

std::optional<Ipv4Address> ParseIpv4(const std::string& text) {
  in_addr literal{};
  if (inet_pton(AF_INET, text.c_str(), &literal) != 1) return std::nullopt;
  Ipv4Address address;
  std::memcpy(address.octets.data(), &literal, 4);
  return address;
}

std::optional<Ipv4Address> ResolveFirstIpv4(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
#ifndef _WIN32
  while (status == EAI_SYSTEM && errno == EINTR) {
    status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  }
#endif
  if (status != 0 || found == nullptr) return std::nullopt;
  std::optional<Ipv4Address> first;
  for (const addrinfo* a = found; a != nullptr && !first; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
      first = FromSockaddr(*reinterpret_cast<const sockaddr_in*>(a->ai_addr));
    }
  }
  freeaddrinfo(found);
  return first;
}

}  // namespace shim
}  // namespace travik::net
