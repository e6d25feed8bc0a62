#pragma once
// The FTP client of the file-server check: it opens the control connection and attempts a login,
// nothing more (no data connection is ever opened): connect, greeting, HOST, USER/PASS, FEAT,
// TYPE A, SYST. It reads its server through the reply reader (ftp_reply.h) and uses the socket
// layer only, so it is portable. Every wait of a connect ends on the stop token the connect is
// given.
#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "platform/ftp_reply.h"
#include "platform/socket.h"

namespace travik::net {

// The ByteStream of a connected socket; a read ends early, raising CancelledError, once a stop
// is requested.
class SocketStream : public ByteStream {
 public:
  SocketStream(Socket& socket, std::stop_token stop) : socket_(socket), stop_(std::move(stop)) {}
  std::optional<std::size_t> Read(char* buffer, std::size_t size, int timeout_ms) override;

 private:
  Socket& socket_;
  std::stop_token stop_;
};

// Where the FTP probe goes and how long it waits: plain values.
struct FtpSettings {
  std::string host;
  std::uint16_t port = 21;
  std::string user;
  std::string password;
  int connect_timeout_ms = 0;  // for the TCP connection to open, once the name is resolved
  int read_timeout_ms = 0;     // for each reply to be complete, from when it is awaited
};

// How long the answer to "QUIT" is waited for when leaving.
inline constexpr std::chrono::milliseconds kQuitWait{100};

// The longest FtpClient::Connect takes once the host name is resolved, whatever the server does:
// at most two connects (the second one without "HOST"), each the connect time-out plus the read
// time-out for every reply it may await (the greeting and the one after a 1xx greeting, HOST,
// USER, PASS, FEAT, TYPE A, SYST: eight), and then the wait for the answer to "QUIT":
//   2 * (connect_timeout_ms + 8 * read_timeout_ms) + 100 ms.
// With the program's settings (5000 ms, 10000 ms) that is 170,100 ms.

class FtpClient {
 public:
  explicit FtpClient(LookUp look_up = SystemLookUp);
  ~FtpClient() { Disconnect(); }
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // Connects and logs in (see ftp_client.cpp for the sequence), within the bound above. Raises
  // travik::Error-derived errors: SocketError, FtpError and its kinds ("Connect timed out.", "Read
  // timed out.", "Connection Closed Gracefully.", a reply's text), and CancelledError once a stop
  // is requested, at the next look of the wait under way (the connection is then closed without
  // "QUIT"). The connection is closed before any error leaves; after success it stays open.
  void Connect(const FtpSettings& settings, const std::stop_token& stop);
  // The reply that accepted the login of the last successful Connect (230 or 232).
  [[nodiscard]] const std::optional<FtpReply>& LoginReply() const { return login_reply_; }
  // Sends "QUIT" when a greeting was accepted, waits kQuitWait at the most for its answer, closes.
  void Disconnect() noexcept;

 private:
  class Exchange;  // one Connect's conversation with the server

  SocketLibrary library_;
  LookUp look_up_;
  Socket socket_;
  bool greeted_ = false;  // the greeting was accepted: leaving says "QUIT"
  std::optional<FtpReply> login_reply_;
};

}  // namespace travik::net
