#pragma once
// The socket calls of Windows Sockets and POSIX behind one set of functions: the only place in
// the program where the two socket libraries differ (socket_shim.cpp). Handles are plain
// integers, errors are Windows Sockets numbers on every platform (the POSIX build maps errno onto
// them through socket_errors.h), and a call that a signal interrupts is made again, so callers
// never see EINTR.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace travik::net {

struct Ipv4Address {
  std::array<std::uint8_t, 4> octets{};
  [[nodiscard]] std::string ToString() const;  // dotted form, "127.0.0.1"
  friend bool operator==(const Ipv4Address&, const Ipv4Address&) = default;
};

namespace shim {

using Handle = std::intptr_t;  // SOCKET on Windows, int on POSIX
inline constexpr Handle kInvalid = -1;

// Start and stop the socket library (WSAStartup/WSACleanup; on POSIX, writing to a closed
// connection raises an error instead of a signal). Startup returns false when it failed.
[[nodiscard]] bool Startup();
void Cleanup();

// The error of the last failed call, as a Windows Sockets number.
[[nodiscard]] int LastError();
// A connect in progress (the non-blocking connect's answer), not a failure.
[[nodiscard]] bool InProgress(int code);

[[nodiscard]] Handle OpenTcp();  // kInvalid on failure
void Close(Handle handle);
[[nodiscard]] bool SetBlocking(Handle handle, bool blocking);

// 0 when connected at once, else the error (InProgress for a non-blocking connect under way).
[[nodiscard]] int Connect(Handle handle, const Ipv4Address& address, std::uint16_t port);
// The outcome of a non-blocking connect once the socket is writable: 0 or the error.
[[nodiscard]] int PendingError(Handle handle);

// Waits up to timeout_ms (0: not at all) until the socket is readable (or writable). >0 when
// ready (also for an error or a close), 0 on time-out, <0 on failure.
[[nodiscard]] int Wait(Handle handle, bool for_write, int timeout_ms);
// Bytes read (0: an orderly close) or -1 on failure.
[[nodiscard]] std::ptrdiff_t Receive(Handle handle, char* buffer, std::size_t size);
// Bytes sent or -1 on failure; never raises a signal.
[[nodiscard]] std::ptrdiff_t Send(Handle handle, const char* data, std::size_t size);

[[nodiscard]] std::optional<Ipv4Address> PeerAddress(Handle handle);

// A dotted IPv4 address, read without asking anyone.
[[nodiscard]] std::optional<Ipv4Address> ParseIpv4(const std::string& text);
// The first IPv4 address the system's resolver gives for `host` (getaddrinfo), or nothing. Blocks
// as long as the resolver does.
[[nodiscard]] std::optional<Ipv4Address> ResolveFirstIpv4(const std::string& host);

}  // namespace shim
}  // namespace travik::net
