#pragma once
// A small blocking TCP/IPv4 socket layer with one implementation for Windows Sockets and one for
// POSIX. Every platform difference of the network code lives in socket.cpp.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/cancel.h"
#include "platform/error.h"

namespace travik::net {

// Errors carry Windows Sockets numbers on every platform: the POSIX build maps errno and resolver
// failures onto these (socket.cpp, one table), so users and tests see the same texts everywhere.
inline constexpr int kErrConnAborted = 10053;
inline constexpr int kErrConnReset = 10054;
inline constexpr int kErrTimedOut = 10060;
inline constexpr int kErrConnRefused = 10061;
inline constexpr int kErrHostNotFound = 11001;

// "Socket Error # <code>" CR LF <text>; a code without a text of its own gives the first line and
// CR LF alone.
[[nodiscard]] std::string SocketErrorMessage(int code);

class SocketError : public Error {
 public:
  explicit SocketError(int code) : Error(SocketErrorMessage(code)), code_(code) {}
  [[nodiscard]] int Code() const { return code_; }

 private:
  int code_;
};

// Keeps the socket library started for its lifetime (WSAStartup/WSACleanup on Windows; on POSIX
// it makes sure that writing to a closed connection raises an error instead of a signal).
class SocketLibrary {
 public:
  SocketLibrary();
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

struct Ipv4Address {
  std::array<std::uint8_t, 4> octets{};
  [[nodiscard]] std::string ToString() const;  // dotted form, "127.0.0.1"
  friend bool operator==(const Ipv4Address&, const Ipv4Address&) = default;
};

// A dotted address is taken as it is; anything else goes to the resolver and the first IPv4
// address it returns is used. Raises SocketError(kErrHostNotFound) when there is none.
[[nodiscard]] Ipv4Address ResolveIpv4(const std::string& host);

// A move-only TCP socket. All calls block unless they say otherwise; errors raise SocketError.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  [[nodiscard]] static Socket OpenTcp();

  // One blocking attempt, bounded only by the operating system's own connect time-out.
  void Connect(const Ipv4Address& address, std::uint16_t port);
  // One attempt that gives up, raising nothing and leaving the socket unconnected, as soon as
  // `abandon` or, when given, `cancel` becomes true (both are looked at every 10 ms). Returns true
  // when connected. Otherwise bounded by the operating system's connect time-out, which raises
  // SocketError(kErrTimedOut) as Connect does.
  bool ConnectUnless(const Ipv4Address& address, std::uint16_t port,
                     const std::atomic<bool>& abandon, const CancelFlag* cancel = nullptr);

  // Without waiting: connected, and neither an orderly close nor an error is pending. Data the
  // peer has already sent is taken in and dropped.
  [[nodiscard]] bool IsOpen();

  // Waits up to `timeout_ms` for data, an orderly close or an error. True when one is there.
  [[nodiscard]] bool WaitReadable(int timeout_ms);
  // Reads what is there (at least one byte unless the peer has closed). Returns 0 on an orderly
  // close; raises SocketError on an error.
  [[nodiscard]] std::size_t Receive(char* buffer, std::size_t size);
  void SendAll(std::string_view data);

  // Address of the peer in dotted form, or empty when not connected.
  [[nodiscard]] std::string PeerAddress() const;

  [[nodiscard]] bool Valid() const { return handle_ != kInvalid; }
  void Close() noexcept;

 private:
  using Handle = std::intptr_t;  // SOCKET on Windows, int on POSIX
  static constexpr Handle kInvalid = -1;
  explicit Socket(Handle handle, bool connected = false) : handle_(handle), connected_(connected) {}
  Handle handle_ = kInvalid;
  bool connected_ = false;
  friend class Listener;
};

// A listening socket on 127.0.0.1, for the test servers and benchmarks (loopback only).
class Listener {
 public:
  // Port 0 lets the system choose; read it back with Port().
  [[nodiscard]] static Listener OnLoopback(std::uint16_t port = 0, int backlog = 16);
  [[nodiscard]] std::uint16_t Port() const;
  // Waits up to timeout_ms for a connection; returns an invalid Socket on time-out.
  [[nodiscard]] Socket Accept(int timeout_ms);
  [[nodiscard]] bool Valid() const { return socket_.Valid(); }
  void Close() noexcept { socket_.Close(); }

 private:
  Socket socket_;
};

}  // namespace travik::net
