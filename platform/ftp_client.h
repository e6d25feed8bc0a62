#pragma once
// The FTP client of the file-server check: it opens the control connection and attempts a login,
// nothing more (no data connection is ever opened). Three layers, each usable on its own:
//   ByteStream / LineReader  lines out of a byte stream, whatever way the bytes are cut up;
//   ReadReply / ReplyText    one reply as RFC 959 frames it, and the text an error shows for it;
//   FtpClient                connect, greeting, HOST, USER/PASS, FEAT, TYPE A, SYST.
// Portable: it uses the socket layer only.
//
// Hostile servers: a reply line is capped at kMaxReplyLineBytes and a whole reply at
// kMaxReplyBytes bytes (counting skipped empty lines and line ends) and kMaxReplyLines lines.
// Past a cap the client raises FtpProtocolError ("Reply line too long." / "Reply too long.") and
// closes the connection without "QUIT"; memory stays bounded whatever the server sends. Time is
// bounded as well: a reply must be complete within the read time-out, however the server spaces
// out its bytes, so that Connect's time is bounded (below).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/cancel.h"
#include "platform/error.h"
#include "platform/socket.h"

namespace travik::net {

inline constexpr std::size_t kMaxReplyLineBytes = 8 * 1024;
inline constexpr std::size_t kMaxReplyBytes = 64 * 1024;
inline constexpr std::size_t kMaxReplyLines = 1000;

// The errors of the FTP client. Their texts are what the user sees.
class FtpError : public Error {
 public:
  using Error::Error;
};
// "Connection Closed Gracefully.": the server closed the connection while a reply was awaited.
class FtpClosedError : public FtpError {
 public:
  FtpClosedError();
};
// A reply the server sent that is not one of the accepted ones; the text is ReplyText(reply).
class FtpReplyError : public FtpError {
 public:
  FtpReplyError(int code, const std::string& text) : FtpError(text), code_(code) {}
  [[nodiscard]] int Code() const { return code_; }

 private:
  int code_;
};
// Something that is not an FTP reply, or a reply past the caps.
class FtpProtocolError : public FtpError {
 public:
  using FtpError::FtpError;
};

// A source of bytes with a wait bounded in time.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Waits up to timeout_ms for data and reads what is there, at most `size` bytes. Returns the
  // count read (at least 1), 0 when the peer has closed the connection in order, or nullopt when
  // nothing arrived in time. Raises SocketError on an error.
  virtual std::optional<std::size_t> Read(char* buffer, std::size_t size, int timeout_ms) = 0;
};

// The ByteStream of a connected socket; a read ends early, raising CancelledError, once the
// cancel flag set through SetCancel is.
class SocketStream : public ByteStream {
 public:
  explicit SocketStream(Socket& socket);
  std::optional<std::size_t> Read(char* buffer, std::size_t size, int timeout_ms) override;
  // Not owned; nullptr: a flag that is never set.
  void SetCancel(const CancelFlag* cancel);

 private:
  Socket& socket_;
  const CancelFlag* cancel_;
};

// Lines ended by CR LF or a bare LF, returned without their end. A line must be complete by a
// deadline ("Read timed out." otherwise), however its bytes are spaced out: every arrival of data
// leaves less of the wait, none starts it again. "Connection Closed Gracefully." when the stream
// ends first, even in the middle of a line.
class LineReader {
 public:
  using Clock = std::chrono::steady_clock;

  LineReader(ByteStream& stream, int read_timeout_ms)
      : stream_(stream), read_timeout_ms_(read_timeout_ms) {}

  // The line must be complete by `deadline`, or when none is given by read_timeout_ms from this
  // call. `consumed`, when given, receives the bytes the line took including its end.
  [[nodiscard]] std::string ReadLine(std::optional<Clock::time_point> deadline = std::nullopt,
                                     std::size_t* consumed = nullptr);
  // Drops whatever input is held and not yet returned.
  void Discard() noexcept;
  void SetReadTimeout(int ms) { read_timeout_ms_ = ms; }
  // The read time-out from now: the default deadline of a line, and of a reply (ReadReply).
  [[nodiscard]] Clock::time_point DeadlineFromNow() const {
    return Clock::now() + std::chrono::milliseconds(read_timeout_ms_);
  }

 private:
  ByteStream& stream_;
  int read_timeout_ms_;
  std::string buffer_;
  std::size_t start_ = 0;    // first byte not yet returned
  std::size_t scanned_ = 0;  // bytes from start_ known to hold no LF
};

struct FtpReply {
  int code = 0;
  std::vector<std::string> lines;  // as received, without line ends; empty lines left out
};

// Reads one reply: a line "ddd text" or "ddd" alone, or lines from "ddd-text" up to one that
// begins "ddd " (or is "ddd" alone). Empty lines are skipped. A first line that is no reply line
// raises FtpProtocolError("Invalid reply."). The whole reply must be complete by `deadline`, or
// when none is given within the reader's read time-out from this call ("Read timed out.").
[[nodiscard]] FtpReply ReadReply(
    LineReader& reader, std::optional<LineReader::Clock::time_point> deadline = std::nullopt);

// The text an error shows for a reply: every line ended by CR LF, with the code and the
// character after it taken off lines that begin with the code and leading blanks taken off the
// others. "530 Login incorrect." gives "Login incorrect.\r\n". Bytes that are not UTF-8 become
// U+FFFD.
[[nodiscard]] std::string ReplyText(const FtpReply& reply);

// The window's rule for a failed connect: the error text begins with "login" in any case of
// ASCII letters, which means the server is there and has turned the login down.
[[nodiscard]] bool IsLoginRejection(const std::string& error_text);

struct FtpSettings {
  std::string host;
  std::uint16_t port = 21;
  std::string user;
  std::string password;
  int connect_timeout_ms = 0;  // for the TCP connection to open, once the name is resolved
  int read_timeout_ms = 0;     // for each reply to be complete, from when it is awaited
  // Not owned; looked at only while Connect runs. When it becomes true, Connect ends at the next
  // look of its wait: the connection is closed without "QUIT" and CancelledError ("Cancelled.")
  // is raised.
  const CancelFlag* cancel = nullptr;
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
  // timed out.", "Connection Closed Gracefully.", a reply's text), CancelledError. The connection
  // is closed before any error leaves; after success it stays open.
  void Connect(const FtpSettings& settings);
  // The reply that accepted the login of the last successful Connect (230 or 232).
  [[nodiscard]] const std::optional<FtpReply>& LoginReply() const { return login_reply_; }
  // Open, with no orderly close or error pending (data already sent by the server is dropped).
  [[nodiscard]] bool Connected();
  // Sends "QUIT" when a greeting was accepted, waits kQuitWait at the most for its answer, closes.
  void Disconnect() noexcept;

 private:
  enum class Outcome { kDone, kServerClosedOnHost };
  Outcome ConnectOnce(const FtpSettings& settings, bool announce_host);
  void OpenConnection(const FtpSettings& settings);
  void Send(const std::string& command);
  FtpReply Command(const std::string& command);
  // Command, or nullopt when the server closes or resets the connection before any reply to it.
  std::optional<FtpReply> CommandUnlessClosed(const std::string& command);
  Outcome ServerClosedOnHost();
  FtpReply Read();
  [[nodiscard]] bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }
  void ThrowIfCancelled() const;
  void Close(bool say_quit) noexcept;

  SocketLibrary library_;
  LookUp look_up_;
  Socket socket_;
  SocketStream stream_{socket_};
  LineReader reader_{stream_, 10000};
  bool greeted_ = false;                // the greeting was accepted: leaving says "QUIT"
  const CancelFlag* cancel_ = nullptr;  // FtpSettings::cancel while Connect runs
  std::optional<FtpReply> login_reply_;
};

}  // namespace travik::net
