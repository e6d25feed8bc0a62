#pragma once
// A small TCP/IPv4 socket layer over the shim (socket_shim.h), the same on Windows Sockets and
// POSIX. Every wait looks at a cancel flag, in slices of kWaitSliceMs, so that another thread
// can end it; a name look-up, which cannot be cut short, runs on a helper thread of its own.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cancel.h"
#include "platform/error.h"
#include "platform/socket_shim.h"

namespace travik::net {

using Clock = std::chrono::steady_clock;

// How often a wait of the socket layer looks at its cancel flag.
inline constexpr int kWaitSliceMs = 20;

// Errors carry Windows Sockets numbers on every platform, so users and tests see the same texts
// everywhere.
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

// Keeps the socket library started for its lifetime. Raises Error when it cannot be started.
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

// A name look-up: the first IPv4 address of `host`, or nothing. It may block as long as it
// likes; ResolveIpv4 runs it on a helper thread and does not wait for it when cancelled.
using LookUp = std::function<std::optional<Ipv4Address>(const std::string& host)>;

// The system's resolver (getaddrinfo).
[[nodiscard]] std::optional<Ipv4Address> SystemLookUp(const std::string& host);

// A dotted address is taken as it is; any other name goes to `look_up`, on a helper thread that
// owns its inputs and its result and holds the socket library for itself, while this thread waits
// for it. Raises SocketError(kErrHostNotFound) when there is no address, CancelledError as soon
// as `cancel` is set (the helper then ends by itself, and its answer goes nowhere).
[[nodiscard]] Ipv4Address ResolveIpv4(const std::string& host, const LookUp& look_up,
                                      const CancelFlag& cancel);

// A move-only TCP socket. Errors raise SocketError; waits raise CancelledError once their flag
// is set.
class Socket {
 public:
  Socket() = default;
  // Takes over a socket of the shim's, connected or not (an accepted connection, say).
  Socket(shim::Handle handle, bool connected) : handle_(handle), connected_(connected) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  [[nodiscard]] static Socket OpenTcp();

  // One connection attempt. Without a deadline it is bounded by the operating system's connect
  // time-out (SocketError(kErrTimedOut)); with one it returns false when the deadline passes
  // first, leaving the socket unconnected. True when connected.
  [[nodiscard]] bool Connect(const Ipv4Address& address, std::uint16_t port,
                             const CancelFlag& cancel,
                             std::optional<Clock::time_point> deadline = std::nullopt);

  // Without waiting: connected, and neither an orderly close nor an error is pending. Data the
  // peer has already sent is taken in and dropped.
  [[nodiscard]] bool IsOpen();

  // Waits until data, an orderly close or an error is there (true), or `deadline` passes (false).
  [[nodiscard]] bool WaitReadable(Clock::time_point deadline, const CancelFlag& cancel);
  // Reads what is there (at least one byte unless the peer has closed). Returns 0 on an orderly
  // close.
  [[nodiscard]] std::size_t Receive(char* buffer, std::size_t size);
  void SendAll(std::string_view data);

  // Address of the peer in dotted form, or empty when not connected.
  [[nodiscard]] std::string PeerAddress() const;

  [[nodiscard]] shim::Handle Handle() const { return handle_; }
  [[nodiscard]] bool Valid() const { return handle_ != shim::kInvalid; }
  void Close() noexcept;

 private:
  shim::Handle handle_ = shim::kInvalid;
  bool connected_ = false;
};

}  // namespace travik::net
