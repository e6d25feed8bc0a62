#include "platform/socket.h"

#include <cstdio>
#include <cstring>
#include <utility>

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
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
int LastError() {
  return WSAGetLastError();
}
bool WouldBlock(int code) {
  return code == WSAEWOULDBLOCK;
}
void CloseNative(NativeSocket s) {
  closesocket(s);
}
int SetBlocking(NativeSocket s, bool blocking) {
  u_long nonblocking = blocking ? 0 : 1;
  return ioctlsocket(s, FIONBIO, &nonblocking);
}
constexpr int kSendFlags = 0;
#else
using NativeSocket = int;
// errno values shown as the Windows Sockets numbers that mean the same; anything else keeps its
// own number above the Windows Sockets base, where it has no text.
int MapErrno(int e) {
  switch (e) {
    case ECONNREFUSED:
      return kErrConnRefused;
    case ETIMEDOUT:
      return kErrTimedOut;
    case ECONNRESET:
      return kErrConnReset;
    case ECONNABORTED:
    case EPIPE:
      return kErrConnAborted;
    case ENETUNREACH:
      return 10051;
    case EHOSTUNREACH:
      return 10065;
    case EADDRNOTAVAIL:
      return 10049;
    case EADDRINUSE:
      return 10048;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case ENOTCONN:
      return 10057;
    default:
      return 10000 + e;
  }
}
int LastError() {
  return MapErrno(errno);
}
bool WouldBlock(int code) {
  return code == 10035 || code == 10036;
}
void CloseNative(NativeSocket s) {
  ::close(s);
}
int SetBlocking(NativeSocket s, bool blocking) {
  const int flags = fcntl(s, F_GETFL, 0);
  if (flags < 0) return -1;
  return fcntl(s, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

NativeSocket Native(std::intptr_t handle) {
  return static_cast<NativeSocket>(handle);
}

[[noreturn]] void RaiseLast() {
  throw SocketError(LastError());
}

// Waits up to timeout_ms (0: not at all) until the socket is readable, or writable.
// Returns >0 when ready, 0 on time-out, <0 on error.
int WaitFor(NativeSocket s, bool for_write, int timeout_ms) {
#ifdef _WIN32
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(s, &errors);
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  return select(0, for_write ? nullptr : &set, for_write ? &set : nullptr, &errors, &tv);
#else
  pollfd p{s, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
  int r;
  do {
    r = poll(&p, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  return r;
#endif
}

sockaddr_in ToSockaddr(const Ipv4Address& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  std::memcpy(&sa.sin_addr, address.octets.data(), 4);
  return sa;
}

const char* TextOf(int code) {
  switch (code) {
    case 10035:
      return "Resource temporarily unavailable.";
    case 10048:
      return "Address already in use.";
    case 10049:
      return "Cannot assign requested address.";
    case 10050:
      return "Network is down.";
    case 10051:
      return "Network is unreachable.";
    case kErrConnAborted:
      return "Software caused connection abort.";
    case kErrConnReset:
      return "Connection reset by peer.";
    case 10057:
      return "Socket is not connected.";
    case kErrTimedOut:
      return "Connection timed out.";
    case kErrConnRefused:
      return "Connection refused.";
    case 10064:
      return "Host is down.";
    case 10065:
      return "No route to host.";
    case kErrHostNotFound:
      return "Host not found.";
    default:
      return nullptr;
  }
}

}  // namespace

std::string SocketErrorMessage(int code) {
  std::string message = "Socket Error # " + std::to_string(code) + "\r\n";
  if (const char* text = TextOf(code)) message += text;
  return message;
}

SocketLibrary::SocketLibrary() {
#ifdef _WIN32
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw Error("Windows Sockets could not be started");
#else
  // Sends use MSG_NOSIGNAL; ignoring SIGPIPE as well covers every other path.
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

SocketLibrary::~SocketLibrary() {
#ifdef _WIN32
  WSACleanup();
#endif
}

std::string Ipv4Address::ToString() const {
  return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
         std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

Ipv4Address ResolveIpv4(const std::string& host) {
  Ipv4Address result;
  in_addr literal{};
  if (inet_pton(AF_INET, host.c_str(), &literal) == 1) {
    std::memcpy(result.octets.data(), &literal, 4);
    return result;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  // Every way of not finding an IPv4 address reads as "Host not found." to the user.
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    throw SocketError(kErrHostNotFound);
  }
  bool have = false;
  for (const addrinfo* a = found; a != nullptr && !have; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
      const auto* sa = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      std::memcpy(result.octets.data(), &sa->sin_addr, 4);
      have = true;
    }
  }
  freeaddrinfo(found);
  if (!have) throw SocketError(kErrHostNotFound);
  return result;
}

Socket::Socket(Socket&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalid)),
      connected_(std::exchange(other.connected_, false)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kInvalid);
    connected_ = std::exchange(other.connected_, false);
  }
  return *this;
}

Socket Socket::OpenTcp() {
  const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#ifdef _WIN32
  if (s == INVALID_SOCKET) RaiseLast();
#else
  if (s < 0) RaiseLast();
#endif
  return Socket(static_cast<Handle>(s));
}

void Socket::Connect(const Ipv4Address& address, std::uint16_t port) {
  const sockaddr_in sa = ToSockaddr(address, port);
  if (::connect(Native(handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    RaiseLast();
  }
  connected_ = true;
}

bool Socket::ConnectUnless(const Ipv4Address& address, std::uint16_t port,
                           const std::atomic<bool>& abandon, const CancelFlag* cancel) {
  constexpr int kLookEveryMs = 10;
  const NativeSocket s = Native(handle_);
  if (SetBlocking(s, false) != 0) RaiseLast();
  const sockaddr_in sa = ToSockaddr(address, port);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    const int code = LastError();
    if (!WouldBlock(code)) throw SocketError(code);
    for (;;) {
      if (abandon.load() || (cancel != nullptr && cancel->load())) return false;
      const int ready = WaitFor(s, true, kLookEveryMs);
      if (ready < 0) RaiseLast();
      if (ready > 0) break;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
      RaiseLast();
    }
#ifdef _WIN32
    if (error != 0) throw SocketError(error);
#else
    if (error != 0) throw SocketError(MapErrno(error));
#endif
  }
  if (SetBlocking(s, true) != 0) RaiseLast();
  connected_ = true;
  return true;
}

bool Socket::IsOpen() {
  if (!Valid() || !connected_) return false;
  // Bounded: a peer that keeps sending cannot hold the check; after this much it counts as open.
  constexpr int kMaxDrains = 64;
  char sink[4096];
  for (int i = 0; i < kMaxDrains; ++i) {
    const int ready = WaitFor(Native(handle_), false, 0);
    if (ready == 0) return true;
    if (ready < 0) return false;
    const auto got = ::recv(Native(handle_), sink, sizeof sink, 0);
    if (got <= 0) return false;  // orderly close or error
  }
  return true;
}

bool Socket::WaitReadable(int timeout_ms) {
  const int ready = WaitFor(Native(handle_), false, timeout_ms);
  if (ready < 0) RaiseLast();
  return ready > 0;
}

std::size_t Socket::Receive(char* buffer, std::size_t size) {
  const auto got = ::recv(Native(handle_), buffer, static_cast<int>(size), 0);
  if (got < 0) RaiseLast();
  return static_cast<std::size_t>(got);
}

void Socket::SendAll(std::string_view data) {
  while (!data.empty()) {
    const auto sent =
        ::send(Native(handle_), data.data(), static_cast<int>(data.size()), kSendFlags);
    if (sent < 0) RaiseLast();
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
}

std::string Socket::PeerAddress() const {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  if (!Valid() || getpeername(Native(handle_), reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
    return {};
  }
  Ipv4Address address;
  std::memcpy(address.octets.data(), &sa.sin_addr, 4);
  return address.ToString();
}

void Socket::Close() noexcept {
  if (Valid()) CloseNative(Native(handle_));
  handle_ = kInvalid;
  connected_ = false;
}

Listener Listener::OnLoopback(std::uint16_t port, int backlog) {
  Listener listener;
  listener.socket_ = Socket::OpenTcp();
  const NativeSocket s = Native(listener.socket_.handle_);
  Ipv4Address loopback;
  loopback.octets = {127, 0, 0, 1};
  const sockaddr_in sa = ToSockaddr(loopback, port);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) RaiseLast();
  if (::listen(s, backlog) != 0) RaiseLast();
  return listener;
}

std::uint16_t Listener::Port() const {
  sockaddr_in sa{};
  socklen_t length = sizeof sa;
  if (getsockname(Native(socket_.handle_), reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
    RaiseLast();
  }
  return ntohs(sa.sin_port);
}

Socket Listener::Accept(int timeout_ms) {
  const NativeSocket s = Native(socket_.handle_);
  const int ready = WaitFor(s, false, timeout_ms);
  if (ready < 0) RaiseLast();
  if (ready == 0) return Socket();
  const NativeSocket accepted = ::accept(s, nullptr, nullptr);
#ifdef _WIN32
  if (accepted == INVALID_SOCKET) RaiseLast();
#else
  if (accepted < 0) RaiseLast();
#endif
  return Socket(static_cast<Socket::Handle>(accepted), true);
}

}  // namespace travik::net
