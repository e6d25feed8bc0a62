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
// something that is no reply, or a stop was requested (then the connection is simply closed).
//
// The conversation of one Connect (its stop token, the reader over the socket) is an Exchange,
// made for the call: nothing of a call's is left in the client when it returns, but the open
// connection of a login that succeeded.
#include "platform/ftp_client.h"

#include <algorithm>
#include <utility>

namespace travik::net {
namespace {

constexpr int kServiceClosing = 421;

// The server closed or reset the connection (rather than some other socket error).
bool IsConnectionLost(const SocketError& error) {
  return error.Code() == kErrConnAborted || error.Code() == kErrConnReset;
}

// "QUIT", its answer awaited kQuitWait at the most; errors of that exchange do not matter.
void SayQuit(Socket& socket, LineReader& reader) noexcept {
  try {
    socket.SendAll("QUIT\r\n");
    (void)ReadReply(reader, Clock::now() + kQuitWait);
  } catch (...) {
    // The connection is closed either way.
  }
}

}  // namespace

std::optional<std::size_t> SocketStream::Read(char* buffer, std::size_t size, int timeout_ms) {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  if (!socket_.WaitReadable(deadline, stop_)) return std::nullopt;
  return socket_.Receive(buffer, size);
}

class FtpClient::Exchange {
 public:
  enum class Outcome { kDone, kServerClosedOnHost };

  Exchange(FtpClient& client, const FtpSettings& settings, const std::stop_token& stop)
      : client_(client),
        settings_(settings),
        stop_(stop),
        stream_(client.socket_, stop_),
        reader_(stream_, settings.read_timeout_ms) {}

  Outcome ConnectOnce(bool announce_host) {
    reader_.Discard();
    client_.greeted_ = false;
    try {
      ThrowIfStopped();
      OpenConnection();

      FtpReply greeting = Read();
      if (greeting.code >= 100 && greeting.code < 200) greeting = Read();
      if (greeting.code != 220) throw FtpReplyError(greeting.code, ReplyText(greeting));
      client_.greeted_ = true;

      // HOST got no 220: a close met by HOST or by the USER after it means "connect again".
      bool host_refused = false;
      if (announce_host) {
        const std::string name = settings_.host == client_.socket_.PeerAddress()
                                     ? "[" + settings_.host + "]"
                                     : settings_.host;
        const std::optional<FtpReply> host = CommandUnlessClosed("HOST " + name);
        if (!host) return ServerClosedOnHost();
        host_refused = host->code != 220;
        // A server that does not know HOST may have closed on it already: look before USER.
        if (host_refused && !client_.socket_.IsOpen()) return ServerClosedOnHost();
      }

      const std::string user_command = "USER " + settings_.user;
      const std::optional<FtpReply> user =
          host_refused ? CommandUnlessClosed(user_command) : Command(user_command);
      if (!user) return ServerClosedOnHost();
      FtpReply accepted = *user;
      if (user->code == 331) {
        accepted = Command("PASS " + settings_.password);
        // 332 asks for an account; there is none to give.
        if (accepted.code != 230) throw FtpReplyError(accepted.code, ReplyText(accepted));
      } else if (user->code != 230 && user->code != 232) {
        throw FtpReplyError(user->code, ReplyText(*user));
      }

      (void)Command("FEAT");
      const FtpReply type = Command("TYPE A");
      if (type.code != 200) throw FtpReplyError(type.code, ReplyText(type));
      (void)Command("SYST");
      client_.login_reply_ = std::move(accepted);
      return Outcome::kDone;
    } catch (...) {
      Close(client_.greeted_);
      throw;
    }
  }

 private:
  Outcome ServerClosedOnHost() {
    Close(false);  // whatever input is still held goes with the connection
    return Outcome::kServerClosedOnHost;
  }

  void OpenConnection() {
    const Ipv4Address address = ResolveIpv4(settings_.host, client_.look_up_, stop_);
    // The connect time-out counts from here: resolution is not part of it.
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(settings_.connect_timeout_ms);
    Socket socket = Socket::OpenTcp();
    if (!socket.Connect(address, settings_.port, stop_, deadline)) {
      throw FtpError("Connect timed out.");
    }
    client_.socket_ = std::move(socket);
  }

  void ThrowIfStopped() const {
    if (stop_.stop_requested()) throw CancelledError();
  }

  void Send(const std::string& command) {
    ThrowIfStopped();
    // A line end inside a command would smuggle in a command of its own.
    if (command.find_first_of("\r\n") != std::string::npos) {
      throw FtpError("Invalid character in command.");
    }
    client_.socket_.SendAll(command + "\r\n");
  }

  FtpReply Read() {
    try {
      // The reply must be complete within the read time-out from now.
      return ReadReply(reader_, reader_.DeadlineFromNow());
    } catch (const FtpProtocolError&) {
      client_.greeted_ = false;  // out of step with the server: no "QUIT" exchange
      throw;
    }
  }

  FtpReply Command(const std::string& command) {
    Send(command);
    FtpReply reply = Read();
    if (reply.code == kServiceClosing) {
      client_.greeted_ = false;
      throw FtpReplyError(reply.code, ReplyText(reply));
    }
    return reply;
  }

  // Command, or nothing when the server closes or resets the connection before any reply to it.
  std::optional<FtpReply> CommandUnlessClosed(const std::string& command) {
    try {
      return Command(command);
    } catch (const FtpClosedError&) {
    } catch (const SocketError& error) {
      if (!IsConnectionLost(error)) throw;
    }
    return std::nullopt;
  }

  void Close(bool say_quit) noexcept {
    if (say_quit && client_.socket_.Valid() && !stop_.stop_requested()) {
      SayQuit(client_.socket_, reader_);
    }
    client_.socket_.Close();
    reader_.Discard();
    client_.greeted_ = false;
  }

  FtpClient& client_;
  const FtpSettings& settings_;
  std::stop_token stop_;
  SocketStream stream_;
  LineReader reader_;
};

FtpClient::FtpClient(LookUp look_up) : look_up_(std::move(look_up)) {}

void FtpClient::Connect(const FtpSettings& settings, const std::stop_token& stop) {
  Disconnect();
  login_reply_.reset();
  Exchange exchange(*this, settings, stop);
  if (exchange.ConnectOnce(true) == Exchange::Outcome::kServerClosedOnHost) {
    (void)exchange.ConnectOnce(false);
  }
}

void FtpClient::Disconnect() noexcept {
  if (greeted_ && socket_.Valid()) {
    SocketStream stream(socket_, {});
    LineReader reader(stream, static_cast<int>(kQuitWait.count()));
    SayQuit(socket_, reader);
  }
  socket_.Close();
  greeted_ = false;
}

}  // namespace travik::net
