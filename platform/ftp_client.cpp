// The FTP login attempt of the file-server check.
//
// Connect, in order:
//  1. Resolve the host (first IPv4 address; not covered by the time-out) and open the TCP
//     connection; when connect_timeout_ms pass without an outcome the attempt is abandoned:
//     "Connect timed out.". A socket error of the attempt is raised as it is.
//  2. Greeting: a 1xx reply is followed by one more reply; the greeting must be 220.
//  3. "HOST <name>" ("[<name>]" when the name is the peer's address). Its reply is not checked.
//  4. "USER": 230/232 end the login, 331 asks for "PASS", whose reply must be 230 (332 asks for
//     an account, and there is none).
//  5. "FEAT" (reply not checked), "TYPE A" (must be 200), "SYST" (reply not checked).
// Every reply must be complete within read_timeout_ms from when it is awaited: "Read timed out."
// otherwise, however the server spaces out its bytes.
//
// Servers that do not know HOST may close the connection on it. When HOST got no 220, the client
// looks, without waiting, whether the connection is still open before it sends USER; a close or
// reset found then, or that HOST or the USER after it meets (while it is sent or before any reply
// to it has come), is taken for that: the connection is dropped without "QUIT" and the whole
// connect is made once more, without step 3. Where the close falls in time (with the reply, or
// while USER is on its way) does not matter. After a 220 to HOST, a close is the failure it is at
// any other point.
//
// A 421 reply to anything ends the connect. On every error the connection is closed before the
// error leaves; after an accepted greeting "QUIT" goes first, unless the server said 421, sent
// something that is no reply, or the connect was cancelled (then the connection is simply
// closed).
#include "platform/ftp_client.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace travik::net {
namespace {

constexpr int kServiceClosing = 421;

// The reply code a line begins with, or -1 when it begins with no three digits.
int LeadingCode(const std::string& line) {
  if (line.size() < 3) return -1;
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = line[i];
    if (c < '0' || c > '9') return -1;
    code = code * 10 + (c - '0');
  }
  return code;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Error texts are UTF-8; a byte of the server's that does not fit in it becomes U+FFFD.
std::string AsUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const unsigned char c = byte(i + k);
      valid = k == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
    }
    if (valid) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

// The server closed or reset the connection (rather than some other socket error).
bool IsConnectionLost(const SocketError& error) {
  return error.Code() == kErrConnAborted || error.Code() == kErrConnReset;
}

}  // namespace

FtpClosedError::FtpClosedError() : FtpError("Connection Closed Gracefully.") {}

namespace {
const CancelFlag kNeverCancelled{false};
}  // namespace

SocketStream::SocketStream(Socket& socket) : socket_(socket), cancel_(&kNeverCancelled) {}

void SocketStream::SetCancel(const CancelFlag* cancel) {
  cancel_ = cancel != nullptr ? cancel : &kNeverCancelled;
}

std::optional<std::size_t> SocketStream::Read(char* buffer, std::size_t size, int timeout_ms) {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  if (!socket_.WaitReadable(deadline, *cancel_)) return std::nullopt;
  return socket_.Receive(buffer, size);
}

std::string LineReader::ReadLine(std::optional<Clock::time_point> deadline, std::size_t* consumed) {
  constexpr std::size_t kChunk = 4096;
  const Clock::time_point until = deadline ? *deadline : DeadlineFromNow();
  for (;;) {
    const std::size_t lf = buffer_.find('\n', start_ + scanned_);
    if (lf != std::string::npos) {
      std::size_t end = lf;
      if (end > start_ && buffer_[end - 1] == '\r') --end;
      if (end - start_ > kMaxReplyLineBytes) throw FtpProtocolError("Reply line too long.");
      std::string line = buffer_.substr(start_, end - start_);
      if (consumed != nullptr) *consumed = lf + 1 - start_;
      start_ = lf + 1;
      scanned_ = 0;
      if (start_ == buffer_.size()) Discard();
      return line;
    }
    scanned_ = buffer_.size() - start_;
    // One byte more than the cap: it may be the CR before the LF still to come.
    if (scanned_ > kMaxReplyLineBytes + 1) throw FtpProtocolError("Reply line too long.");
    if (start_ > 0) {
      buffer_.erase(0, start_);
      start_ = 0;
    }
    // The wait is what is left until the deadline, never more: data that comes does not make
    // the line's time longer.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) throw FtpError("Read timed out.");
    const int wait_ms = static_cast<int>(std::min<decltype(left)>(left, INT_MAX));
    char chunk[kChunk];
    const std::optional<std::size_t> got = stream_.Read(chunk, sizeof chunk, wait_ms);
    if (!got) {
      if (wait_ms >= left) throw FtpError("Read timed out.");
      continue;  // a deadline too far for one wait: wait again
    }
    if (*got == 0) throw FtpClosedError();
    buffer_.append(chunk, std::min(*got, sizeof chunk));
  }
}

void LineReader::Discard() noexcept {
  buffer_.clear();
  start_ = 0;
  scanned_ = 0;
}

FtpReply ReadReply(LineReader& reader, std::optional<LineReader::Clock::time_point> deadline) {
  // One deadline for all the lines: the reply as a whole must be complete by then.
  const LineReader::Clock::time_point until = deadline ? *deadline : reader.DeadlineFromNow();
  std::size_t total = 0;
  // Every round takes at least one byte and counts it, so the byte cap ends the loop.
  const auto next_line = [&]() {
    for (;;) {
      std::size_t used = 0;
      std::string line = reader.ReadLine(until, &used);
      total += used;
      if (total > kMaxReplyBytes) throw FtpProtocolError("Reply too long.");
      if (!line.empty()) return line;
    }
  };

  FtpReply reply;
  std::string line = next_line();
  reply.code = LeadingCode(line);
  if (reply.code < 0 || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
    throw FtpProtocolError("Invalid reply.");
  }
  const bool multi_line = line.size() > 3 && line[3] == '-';
  reply.lines.push_back(std::move(line));
  while (multi_line) {
    line = next_line();
    if (reply.lines.size() >= kMaxReplyLines) throw FtpProtocolError("Reply too long.");
    const bool last = LeadingCode(line) == reply.code && line.size() > 3 && line[3] == ' ';
    reply.lines.push_back(std::move(line));
    if (last) break;
  }
  return reply;
}

std::string ReplyText(const FtpReply& reply) {
  std::string text;
  for (const std::string& line : reply.lines) {
    if (LeadingCode(line) == reply.code) {
      text.append(line, std::min<std::size_t>(line.size(), 4));
    } else {
      std::size_t first = 0;
      while (first < line.size() && IsBlank(line[first])) ++first;
      text.append(line, first);
    }
    text += "\r\n";
  }
  return AsUtf8(text);
}

bool IsLoginRejection(const std::string& error_text) {
  static constexpr char kLogin[] = "login";
  if (error_text.size() < 5) return false;
  for (std::size_t i = 0; i < 5; ++i) {
    char c = error_text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kLogin[i]) return false;
  }
  return true;
}

void FtpClient::Connect(const FtpSettings& settings) {
  Disconnect();
  login_reply_.reset();
  // The flag is the caller's: it is looked at while this call runs, never after.
  struct ForgetCancel {
    FtpClient& client;
    ~ForgetCancel() {
      client.cancel_ = nullptr;
      client.stream_.SetCancel(nullptr);
    }
  } forget{*this};
  cancel_ = settings.cancel;
  stream_.SetCancel(settings.cancel);
  if (ConnectOnce(settings, true) == Outcome::kServerClosedOnHost) ConnectOnce(settings, false);
}

FtpClient::Outcome FtpClient::ConnectOnce(const FtpSettings& settings, bool announce_host) {
  reader_.Discard();
  reader_.SetReadTimeout(settings.read_timeout_ms);
  greeted_ = false;
  try {
    ThrowIfCancelled();
    OpenConnection(settings);

    FtpReply greeting = Read();
    if (greeting.code >= 100 && greeting.code < 200) greeting = Read();
    if (greeting.code != 220) throw FtpReplyError(greeting.code, ReplyText(greeting));
    greeted_ = true;

    // HOST got no 220: a close met by HOST or by the USER after it means "connect again".
    bool host_refused = false;
    if (announce_host) {
      const std::string name =
          settings.host == socket_.PeerAddress() ? "[" + settings.host + "]" : settings.host;
      const std::optional<FtpReply> host = CommandUnlessClosed("HOST " + name);
      if (!host) return ServerClosedOnHost();
      host_refused = host->code != 220;
      // A server that does not know HOST may have closed on it already: look before USER.
      if (host_refused && !socket_.IsOpen()) return ServerClosedOnHost();
    }

    const std::string user_command = "USER " + settings.user;
    const std::optional<FtpReply> user =
        host_refused ? CommandUnlessClosed(user_command) : Command(user_command);
    if (!user) return ServerClosedOnHost();
    FtpReply accepted = *user;
    if (user->code == 331) {
      accepted = Command("PASS " + settings.password);
      // 332 asks for an account; there is none to give.
      if (accepted.code != 230) throw FtpReplyError(accepted.code, ReplyText(accepted));
    } else if (user->code != 230 && user->code != 232) {
      throw FtpReplyError(user->code, ReplyText(*user));
    }

    (void)Command("FEAT");
    const FtpReply type = Command("TYPE A");
    if (type.code != 200) throw FtpReplyError(type.code, ReplyText(type));
    (void)Command("SYST");
    login_reply_ = std::move(accepted);
    return Outcome::kDone;
  } catch (...) {
    Close(greeted_);
    throw;
  }
}

FtpClient::Outcome FtpClient::ServerClosedOnHost() {
  Close(false);  // whatever input is still held goes with the connection
  return Outcome::kServerClosedOnHost;
}

FtpClient::FtpClient(LookUp look_up) : look_up_(std::move(look_up)) {}

void FtpClient::OpenConnection(const FtpSettings& settings) {
  const CancelFlag& cancel = cancel_ != nullptr ? *cancel_ : kNeverCancelled;
  const Ipv4Address address = ResolveIpv4(settings.host, look_up_, cancel);
  // The connect time-out counts from here: resolution is not part of it.
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(settings.connect_timeout_ms);
  Socket socket = Socket::OpenTcp();
  if (!socket.Connect(address, settings.port, cancel, deadline)) {
    throw FtpError("Connect timed out.");
  }
  socket_ = std::move(socket);
}

void FtpClient::ThrowIfCancelled() const {
  if (Cancelled()) throw CancelledError();
}

void FtpClient::Send(const std::string& command) {
  ThrowIfCancelled();
  // A line end inside a command would smuggle in a command of its own.
  if (command.find_first_of("\r\n") != std::string::npos) {
    throw FtpError("Invalid character in command.");
  }
  socket_.SendAll(command + "\r\n");
}

FtpReply FtpClient::Read() {
  try {
    // The reply must be complete within the read time-out from now.
    return ReadReply(reader_, reader_.DeadlineFromNow());
  } catch (const FtpProtocolError&) {
    greeted_ = false;  // out of step with the server: no "QUIT" exchange
    throw;
  }
}

FtpReply FtpClient::Command(const std::string& command) {
  Send(command);
  FtpReply reply = Read();
  if (reply.code == kServiceClosing) {
    greeted_ = false;
    throw FtpReplyError(reply.code, ReplyText(reply));
  }
  return reply;
}

std::optional<FtpReply> FtpClient::CommandUnlessClosed(const std::string& command) {
  try {
    return Command(command);
  } catch (const FtpClosedError&) {
  } catch (const SocketError& error) {
    if (!IsConnectionLost(error)) throw;
  }
  return std::nullopt;
}

bool FtpClient::Connected() {
  return socket_.IsOpen();
}

void FtpClient::Disconnect() noexcept {
  Close(greeted_);
}

void FtpClient::Close(bool say_quit) noexcept {
  if (say_quit && socket_.Valid() && !Cancelled()) {
    try {
      socket_.SendAll("QUIT\r\n");
      (void)ReadReply(reader_, LineReader::Clock::now() + kQuitWait);
    } catch (...) {
      // The connection is closed either way.
    }
  }
  socket_.Close();
  reader_.Discard();
  greeted_ = false;
}

}  // namespace travik::net
