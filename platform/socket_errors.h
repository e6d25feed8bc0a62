#pragma once
// The socket errors the program names: each Windows Sockets number, the POSIX errno that means the
// same, and the text a person sees. Errors carry Windows Sockets numbers on every platform (the
// POSIX build maps errno onto them), so that users and tests see the same texts everywhere.
namespace travik::net {

inline constexpr int kErrWouldBlock = 10035;
inline constexpr int kErrInProgress = 10036;
inline constexpr int kErrConnAborted = 10053;
inline constexpr int kErrConnReset = 10054;
inline constexpr int kErrTimedOut = 10060;
inline constexpr int kErrConnRefused = 10061;
inline constexpr int kErrHostNotFound = 11001;

// The text of a Windows Sockets number ("Connection refused."), or null for one without a text.
[[nodiscard]] const char* SocketErrorText(int code);

// The Windows Sockets number of a POSIX errno; an errno the table does not know keeps its own
// number above the Windows Sockets base (10000 + errno), where it has no text.
[[nodiscard]] int SocketErrorOfErrno(int errno_value);

}  // namespace travik::net
