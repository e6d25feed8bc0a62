#pragma once
// ScriptedFtpServer: an FTP server for tests that plays fixed answers on 127.0.0.1 and records
// the commands it receives. Loopback only; portable (Windows Sockets under Wine, and POSIX).
//
//   ScriptedFtpServer server({{"220 Ready", "220 Host ok", "331 Password", "530 Login
//   incorrect."}}); FtpSettings settings; settings.host = "127.0.0.1"; settings.port =
//   server.Port();
//   ... let the client talk to it ...
//   test::WaitUntil([&] { return server.Finished(); }, bound, "the server's sessions to end");
//   server.Stop();             // stops it, had it not finished, and joins its thread
//   server.Commands()          // {{"HOST [127.0.0.1]", "USER qzvk", "PASS qzvk", "QUIT"}}
//
// Sessions: the constructor takes one script per connection it is to accept, in order, and
// serves them one after another (up to 128 clients wait in the backlog meanwhile). In a
// script, entry 0 is sent as soon as the connection is accepted (the greeting) and entry i is the
// answer to the i-th command received. An entry's text is sent as it is when it ends in "\n",
// otherwise with CR LF added. Inside an entry, "<pause>" cuts it into separate sends 50 ms apart
// (replies split across reads), and "<pause:MS>" into sends MS ms apart: a server that drips its
// reply is an entry such as "220-a<pause:100>b<pause:100>c...". Pauses at the end of an entry
// come after its line end: "500 Bye<pause:50><close>" sends "500 Bye" CR LF, waits 50 ms and
// closes (without reading what came meanwhile). Whole entries with a meaning of their own:
//   "<close>"   close the connection instead of answering (the session ends); at the end of
//               an entry, "500 Bye<close>", it closes right after sending the text;
//   "<abort>"   at the end of an entry: after sending the text, wait for the next command and
//               close without reading it, which makes the client see a reset (socket error
//               10054) instead of an orderly close;
//   "<fin>"     at the end of an entry: send the text and the end of the stream together (one
//               segment where the system allows it), then go on recording what the client
//               sends, answering nothing, until it closes;
//   "<silent>"  answer nothing.
// Once a script has run out the server goes on recording commands without answering them,
// except "QUIT", answered "221 Goodbye." before the session ends, until the client closes the
// connection. Commands are recorded without their line end.
//
// Deadlines: the whole server stops by itself `deadline_ms` after it was made (default 15 s),
// whatever the client does, also in the middle of a dripping entry (the rest is not sent). Stop()
// and the destructor stop it at once (at its next look, every 20 ms) and join its thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "tests/native/loopback_listener.h"

namespace travik::test {

class ScriptedFtpServer {
 public:
  using Script = std::vector<std::string>;

  explicit ScriptedFtpServer(std::vector<Script> sessions, int deadline_ms = 15000);
  ~ScriptedFtpServer();
  ScriptedFtpServer(const ScriptedFtpServer&) = delete;
  ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

  [[nodiscard]] std::uint16_t Port() const { return port_; }
  // Every session has ended, or the server has stopped: it accepts and answers nothing more.
  [[nodiscard]] bool Finished() const { return finished_.load(); }
  // Stops the server at once, whether or not its sessions have ended, and joins its thread.
  void Stop();
  // The commands received, one list per accepted connection. Safe to call at any time.
  [[nodiscard]] std::vector<std::vector<std::string>> Commands() const;
  // Connections accepted so far.
  [[nodiscard]] int Accepted() const;

 private:
  void Run();
  void RunSession(TestSocket& socket, const Script& script, std::size_t index);
  bool SendEntry(TestSocket& socket, const std::string& entry, bool* half_closed = nullptr);
  bool Expired() const;

  net::SocketLibrary library_;
  test::Listener listener_;
  std::uint16_t port_ = 0;
  std::vector<Script> sessions_;
  std::chrono::steady_clock::time_point deadline_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  mutable std::mutex mutex_;
  std::vector<std::vector<std::string>> commands_;
  std::thread thread_;
};

}  // namespace travik::test
