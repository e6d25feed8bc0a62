#pragma once
// A small TCP/IPv4 socket layer over the shim (socket_shim.h), the same on Windows Sockets and
// POSIX. Every wait ends on a stop request: a socket wait looks at its std::stop_token in slices
// of kWaitSliceMs (a socket has no wake-up to wait on beside it, and it is never closed from
// another thread while it is waited on); a name look-up, which cannot be cut short, runs on a
// helper thread of its own and is waited for on a condition variable that the stop wakes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/socket_errors.h"
#include "platform/socket_shim.h"

namespace travik::net {

// How often a socket wait looks at its stop token.
inline constexpr int kWaitSliceMs = 20;

// A socket error: its Windows Sockets number and its text ("Connection refused.", empty for a
// number without one). Its message is the network layer's wording of the two: "Socket Error # N"
// CR LF text.
class SocketError : public Error {
 public:
  explicit SocketError(int code);
  [[nodiscard]] int Code() const { return code_; }
  [[nodiscard]] const std::string& Text() const { return text_; }

 private:
  SocketError(int code, std::string text);
  int code_;
  std::string text_;
};

// Keeps the socket library started for its lifetime. Raises Error when it cannot be started.
class SocketLibrary {
 public:
  SocketLibrary();
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

// A name look-up: the first IPv4 address of `host`, or nothing. It may block as long as it
// likes; ResolveIpv4 runs it on a helper thread and does not wait for it once a stop is asked.
using LookUp = std::function<std::optional<Ipv4Address>(const std::string& host)>;

// The system's resolver (getaddrinfo).
[[nodiscard]] std::optional<Ipv4Address> SystemLookUp(const std::string& host);

// A dotted address is taken as it is; any other name goes to `look_up`, on a helper thread that
// owns its inputs and its result and holds the socket library for itself, while this thread waits
// for it. Raises SocketError(kErrHostNotFound) when there is no address, CancelledError as soon
// as a stop is requested (the helper then ends by itself, and its answer goes nowhere).
[[nodiscard]] Ipv4Address ResolveIpv4(const std::string& host, const LookUp& look_up,
                                      const std::stop_token& stop);

// A move-only TCP socket. Errors raise SocketError; waits raise CancelledError once a stop is
// requested.
class Socket {
 public:
  Socket() = default;
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
                             const std::stop_token& stop,
                             std::optional<Clock::time_point> deadline = std::nullopt);

  // Without waiting: connected, and neither an orderly close nor an error is pending. Data the
  // peer has already sent is taken in and dropped.
  [[nodiscard]] bool IsOpen();

  // Waits until data, an orderly close or an error is there (true), or `deadline` passes (false).
  [[nodiscard]] bool WaitReadable(Clock::time_point deadline, const std::stop_token& stop);
  // Reads what is there (at least one byte unless the peer has closed). Returns 0 on an orderly
  // close.
  [[nodiscard]] std::size_t Receive(char* buffer, std::size_t size);
  void SendAll(std::string_view data);

  // Address of the peer in dotted form, or empty when not connected.
  [[nodiscard]] std::string PeerAddress() const;

  [[nodiscard]] bool Valid() const { return handle_ != shim::kInvalid; }
  void Close() noexcept;

 private:
  explicit Socket(shim::Handle handle) : handle_(handle) {}

  shim::Handle handle_ = shim::kInvalid;
  bool connected_ = false;
};

}  // namespace travik::net
