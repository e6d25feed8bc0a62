#pragma once
// The FTP reply reader, on its own: lines out of a byte stream, whatever way the bytes are cut
// up (ByteStream, LineReader); one reply as RFC 959 frames it, and the text an error shows for it
// (ReadReply, ReplyText); the rule that tells a rejected login. The FTP client reads its server
// through it, and the fuzzer feeds it arbitrary bytes.
//
// Hostile servers: a reply line is capped at kMaxReplyLineBytes and a whole reply at
// kMaxReplyBytes bytes (counting skipped empty lines and line ends) and kMaxReplyLines lines.
// Past a cap the reader raises FtpProtocolError ("Reply line too long." / "Reply too long.");
// memory stays bounded whatever the server sends. Time is bounded as well: a reply must be
// complete within the read time-out, however the server spaces out its bytes.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/error.h"

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

// Lines ended by CR LF or a bare LF, returned without their end. A line must be complete by a
// deadline ("Read timed out." otherwise), however its bytes are spaced out: every arrival of data
// leaves less of the wait, none starts it again. "Connection Closed Gracefully." when the stream
// ends first, even in the middle of a line.
class LineReader {
 public:
  LineReader(ByteStream& stream, int read_timeout_ms)
      : stream_(stream), read_timeout_ms_(read_timeout_ms) {}

  // The line must be complete by `deadline`, or when none is given by read_timeout_ms from this
  // call. `consumed`, when given, receives the bytes the line took including its end.
  [[nodiscard]] std::string ReadLine(std::optional<Clock::time_point> deadline = std::nullopt,
                                     std::size_t* consumed = nullptr);
  // Drops whatever input is held and not yet returned.
  void Discard() noexcept;
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
[[nodiscard]] FtpReply ReadReply(LineReader& reader,
                                 std::optional<Clock::time_point> deadline = std::nullopt);

// The text an error shows for a reply: every line ended by CR LF, with the code and the
// character after it taken off lines that begin with the code and leading blanks taken off the
// others. "530 Login incorrect." gives "Login incorrect.\r\n". Bytes that are not UTF-8 become
// U+FFFD.
[[nodiscard]] std::string ReplyText(const FtpReply& reply);

// The window's rule for a failed connect: the error text begins with "login" in any case of
// ASCII letters, which means the server is there and has turned the login down.
[[nodiscard]] bool IsLoginRejection(const std::string& error_text);

}  // namespace travik::net
