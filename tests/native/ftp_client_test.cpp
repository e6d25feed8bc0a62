// The FTP client's connect and login against scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <source_location>
#include <string>
#include <vector>

#include "platform/ftp_client.h"
#include "platform/socket.h"
#include "tests/deadline.h"
#include "tests/native/loopback_waits.h"
#include "tests/native/scripted_ftp_server.h"

namespace travik::net {
namespace {

using test::Listener;
using test::ScriptedFtpServer;
using Commands = std::vector<std::vector<std::string>>;

int ElapsedMs(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

FtpSettings Loopback(std::uint16_t port) {
  FtpSettings settings;
  settings.host = "127.0.0.1";
  settings.port = port;
  settings.user = "qzvk";
  settings.password = "qzvk";
  settings.connect_timeout_ms = 2000;
  settings.read_timeout_ms = 2000;
  return settings;
}

// The error text Connect raises, or empty when it succeeds.
std::string ConnectError(FtpClient& client, const FtpSettings& settings,
                         std::stop_token stop = {}) {
  try {
    client.Connect(settings, std::move(stop));
  } catch (const Error& error) {
    return error.what();
  }
  return {};
}

// A login against a scripted server takes the pauses and read time-outs of its script, well
// within a second in these cases: four times that.
constexpr test::Bound kLoginWithin{4000};
// Once the client is done, the server's sessions end at its next look (every 20 ms) or at the end
// of the pause it is in (500 ms at the most here): four times that.
constexpr test::Bound kSessionsEndWithin{2000};

// ConnectError, on a thread of its own and bounded by kLoginWithin: past it the test fails and
// the server is stopped, which ends whatever the client still waits for.
std::string ConnectWithin(FtpClient& client, const FtpSettings& settings, ScriptedFtpServer& server,
                          const std::source_location where = std::source_location::current()) {
  std::string error;
  test::RunWithin(
      kLoginWithin, "The login against the scripted server",
      [&] { error = ConnectError(client, settings); }, [&server] { server.Stop(); }, where);
  return error;
}

// Once the client is done: waits for the end of the server's sessions, then stops the server,
// whether or not they have ended.
void EndSessions(ScriptedFtpServer& server,
                 const std::source_location where = std::source_location::current()) {
  (void)test::WaitUntil([&server] { return server.Finished(); }, kSessionsEndWithin,
                        "The end of the scripted server's sessions", where);
  server.Stop();
}

const std::string kGreeting = "220 Ready";
const std::string kHost = "HOST [127.0.0.1]";
const std::string kUser = "USER qzvk";
const std::string kPass = "PASS qzvk";

// The read time-out of the login cases that do not wait for it: long, so that a disconnect that
// waits for a read time-out instead of kQuitWait stands out from a slow machine.
constexpr int kLongReadTimeoutMs = 20000;

struct LoginCase {
  const char* name;
  std::vector<ScriptedFtpServer::Script> sessions;
  std::string error;  // empty: the login is accepted
  Commands commands;  // for an accepted login, those before the client disconnects
  std::string host = "127.0.0.1";
  int read_timeout_ms = kLongReadTimeoutMs;
};

TEST(FtpClientLogin, FollowsTheServersReplies) {
  const std::vector<LoginCase> cases = {
      {"530 Login incorrect. to PASS",
       {{kGreeting, "220 Host ok", "331 Password required", "530 Login incorrect."}},
       "Login incorrect.\r\n",
       {{kHost, kUser, kPass, "QUIT"}}},
      {"530 User cannot log in. to PASS",
       {{kGreeting, "220 Host ok", "331 Password required", "530 User cannot log in."}},
       "User cannot log in.\r\n",
       {{kHost, kUser, kPass, "QUIT"}}},
      {"USER turned down",
       {{kGreeting, "220 Host ok", "530 Login with USER and PASS refused."}},
       "Login with USER and PASS refused.\r\n",
       {{kHost, kUser, "QUIT"}}},
      {"accepted after PASS",
       {{kGreeting, "220 Host ok", "331 Password required", "230 Logged in",
         "211-Features:\r\n MDTM\r\n211 End\r\n", "200 Type set to A", "215 UNIX Type: L8",
         "<silent>"}},
       "",
       {{kHost, kUser, kPass, "FEAT", "TYPE A", "SYST"}}},
      {"230 to USER, HOST not understood",
       {{kGreeting, "500 Unknown command", "230 Already in", "500 No FEAT", "200 Ok", "215 UNIX"}},
       "",
       {{kHost, kUser, "FEAT", "TYPE A", "SYST"}}},
      {"232 to USER",
       {{kGreeting, "220 Host ok", "232 Logged in, security data", "211 None", "200 Ok",
         "215 UNIX"}},
       "",
       {{kHost, kUser, "FEAT", "TYPE A", "SYST"}}},
      {"multi-line replies",
       {{"220-Welcome\r\n   to the test\r\n220 Ready\r\n", "220-Host\r\n220 ok\r\n",
         "331-Password\r\n331 required\r\n",
         "530-Login incorrect.\r\n  Try again.\r\n530 Bye\r\n"}},
       "Login incorrect.\r\nTry again.\r\nBye\r\n",
       {{kHost, kUser, kPass, "QUIT"}}},
      {"replies split across reads",
       {{"2<pause>20 Re<pause>ady", "220 Host<pause> ok", "331-Pass<pause>word\r<pause>\n331 ok",
         "5<pause>30 Login<pause> incorrect."}},
       "Login incorrect.\r\n",
       {{kHost, kUser, kPass, "QUIT"}}},
      {"1xx then 220",
       {{"120 Ready in a moment\r\n<pause>220 Ready\r\n", "220 Host ok", "331 Password required",
         "530 Login incorrect."}},
       "Login incorrect.\r\n",
       {{kHost, kUser, kPass, "QUIT"}}},
      {"greeting not 220", {{"554 No service here"}}, "No service here\r\n", {{}}},
      {"1xx then not 220", {{"120 Soon\r\n520 Not today\r\n"}}, "Not today\r\n", {{}}},
      {"421 greeting", {{"421 Too many users"}}, "Too many users\r\n", {{}}},
      {"421 to HOST", {{kGreeting, "421 Closing"}}, "Closing\r\n", {{kHost}}},
      {"421 to USER", {{kGreeting, "220 Host ok", "421 Closing"}}, "Closing\r\n", {{kHost, kUser}}},
      {"421 to PASS",
       {{kGreeting, "220 Host ok", "331 Password required", "421 Closing"}},
       "Closing\r\n",
       {{kHost, kUser, kPass}}},
      {"421 to FEAT",
       {{kGreeting, "220 Host ok", "331 Password required", "230 In", "421 Closing"}},
       "Closing\r\n",
       {{kHost, kUser, kPass, "FEAT"}}},
      {"421 to TYPE A",
       {{kGreeting, "220 Host ok", "230 In", "211 None", "421 Closing"}},
       "Closing\r\n",
       {{kHost, kUser, "FEAT", "TYPE A"}}},
      {"421 to SYST",
       {{kGreeting, "220 Host ok", "230 In", "211 None", "200 Ok", "421 Closing"}},
       "Closing\r\n",
       {{kHost, kUser, "FEAT", "TYPE A", "SYST"}}},
      {"TYPE A refused",
       {{kGreeting, "220 Host ok", "230 In", "211 None", "504 Not that type"}},
       "Not that type\r\n",
       {{kHost, kUser, "FEAT", "TYPE A", "QUIT"}}},
      {"332 to PASS",
       {{kGreeting, "220 Host ok", "331 Password required", "332 Need account for login."}},
       "Need account for login.\r\n",
       {{kHost, kUser, kPass, "QUIT"}}},
      {"332 to USER",
       {{kGreeting, "220 Host ok", "332 Need account."}},
       "Need account.\r\n",
       {{kHost, kUser, "QUIT"}}},
      {"host given by name",
       {{kGreeting, "220 Host ok", "331 Password required", "530 Login incorrect."}},
       "Login incorrect.\r\n",
       {{"HOST localhost", kUser, kPass, "QUIT"}},
       "localhost"},
      {"closed before the greeting", {{"<close>"}}, "Connection Closed Gracefully.", {{}}},
      {"closed after PASS",
       {{kGreeting, "220 Host ok", "331 Password required", "<close>"}},
       "Connection Closed Gracefully.",
       {{kHost, kUser, kPass}}},
      {"silence after USER",
       {{kGreeting, "220 Host ok", "<silent>"}},
       "Read timed out.",
       {{kHost, kUser, "QUIT"}},
       "127.0.0.1",
       300},
      // The same slow greeting (five pieces 100 ms apart) twice: each piece comes within the
      // time-out, but the whole is read only when it is complete within it.
      {"slow reply that is not complete in time",
       {{"2<pause:100>2<pause:100>0<pause:100> Re<pause:100>ad<pause:100>y"}},
       "Read timed out.",
       {{}},
       "127.0.0.1",
       300},
      {"slow reply that is complete in time",
       {{"2<pause:100>2<pause:100>0<pause:100> Re<pause:100>ad<pause:100>y", "220 Host ok",
         "331 Password required", "530 Login incorrect."}},
       "Login incorrect.\r\n",
       {{kHost, kUser, kPass, "QUIT"}},
       "127.0.0.1",
       2000},
      {"no reply at all",
       {{kGreeting, "220 Host ok", "Welcome, dear user"}},
       "Invalid reply.",
       {{kHost, kUser}}},
  };
  for (const LoginCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFtpServer server(c.sessions);
    FtpSettings settings = Loopback(server.Port());
    settings.host = c.host;
    settings.read_timeout_ms = c.read_timeout_ms;
    FtpClient client;
    const std::string error = ConnectWithin(client, settings, server);
    EXPECT_EQ(error, c.error);
    if (error.empty()) {
      EXPECT_FALSE(server.Finished()) << "the connection stays open after the login";
      // The reply that accepted the login: to PASS after a 331, else to USER.
      ASSERT_TRUE(client.LoginReply().has_value());
      const bool after_pass = c.commands[0].size() > 2 && c.commands[0][2] == kPass;
      EXPECT_EQ(client.LoginReply()->code, after_pass ? 230 : std::stoi(c.sessions[0][2]));
      EXPECT_EQ(server.Commands(), c.commands) << "before disconnecting";
      // QUIT's answer is awaited kQuitWait at the most (the silent server gives none), far
      // less than the read time-out.
      const auto start = Clock::now();
      client.Disconnect();
      EXPECT_LT(ElapsedMs(start), c.read_timeout_ms / 2);
      EndSessions(server);
      Commands with_quit = c.commands;
      with_quit.back().push_back("QUIT");
      EXPECT_EQ(server.Commands(), with_quit);
    } else {
      EXPECT_FALSE(client.LoginReply().has_value());
      EndSessions(server);
      EXPECT_EQ(server.Commands(), c.commands);
    }
  }
}

struct HostCloseCase {
  const char* name;
  std::vector<ScriptedFtpServer::Script> sessions;
  std::string error;  // empty: the login is accepted
  Commands commands;  // of each session, QUIT included
};

// A server that does not take HOST may close the connection on it, with the reply, a moment
// later, or when USER comes. Wherever the close falls in time, the client connects once more,
// without HOST, and the second connect is the outcome. Each case runs several times, so that
// the close lands on either side of the client's next step.
TEST(FtpClientLogin, ServerAnswersHostAndClosesConnectAgainWithoutIt) {
  constexpr int kRuns = 10;
  const ScriptedFtpServer::Script login = {kGreeting, "331 Password required",
                                           "530 Login incorrect."};
  const ScriptedFtpServer::Script accepted = {kGreeting, "230 In", "211 None", "200 Ok", "215 X"};
  std::vector<HostCloseCase> cases = {
      {"reply and close at once",
       {{kGreeting, "500 Go away<close>"}, login},
       "Login incorrect.\r\n",
       {{kHost}, {kUser, kPass, "QUIT"}}},
      {"reply and close at once, then a login that is accepted",
       {{kGreeting, "500 Go away<close>"}, accepted},
       "",
       {{kHost}, {kUser, "FEAT", "TYPE A", "SYST", "QUIT"}}},
      {"reply, close 50 ms later",
       {{kGreeting, "500 Go away<pause:50><close>"}, login},
       "Login incorrect.\r\n",
       {{kHost}, {kUser, kPass, "QUIT"}}},
      {"reply, close when USER comes",
       {{kGreeting, "500 Go away", "<close>"}, login},
       "Login incorrect.\r\n",
       {{kHost, kUser}, {kUser, kPass, "QUIT"}}},
      {"reply, reset when USER comes",
       {{kGreeting, "500 Go away<abort>"}, login},
       "Login incorrect.\r\n",
       {{kHost}, {kUser, kPass, "QUIT"}}},
      {"close without a reply",
       {{kGreeting, "<close>"}, login},
       "Login incorrect.\r\n",
       {{kHost}, {kUser, kPass, "QUIT"}}},
      {"reset without a reply",
       {{"220 Ready<abort>"}, login},
       "Login incorrect.\r\n",
       {{}, {kUser, kPass, "QUIT"}}},
      // Once only: a close on the second connect is its failure.
      {"the second connect is the outcome",
       {{kGreeting, "<close>"}, {kGreeting, "<close>"}},
       "Connection Closed Gracefully.",
       {{kHost}, {kUser}}},
      // After a 220 to HOST a close is no reason to connect again.
      {"220 to HOST, close when USER comes",
       {{kGreeting, "220 Host ok", "<close>"}},
       "Connection Closed Gracefully.",
       {{kHost, kUser}}},
  };
#ifndef _WIN32
  // The reply and the end of the stream in one segment (Linux corks them together; Windows
  // Sockets may send them apart), the server still listening: the client sees the close before it
  // sends USER.
  cases.push_back({"reply and end of stream in one segment",
                   {{kGreeting, "500 Go away<fin>"}, login},
                   "Login incorrect.\r\n",
                   {{kHost}, {kUser, kPass, "QUIT"}}});
#endif
  for (const HostCloseCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (int run = 0; run < kRuns; ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      ScriptedFtpServer server(c.sessions, 5000);
      FtpClient client;
      EXPECT_EQ(ConnectWithin(client, Loopback(server.Port()), server), c.error);
      client.Disconnect();
      EndSessions(server);
      EXPECT_EQ(server.Commands(), c.commands);
      if (HasFailure()) break;  // once the test has failed, a case runs once: it would repeat
    }
  }
}

// After a 220 to HOST, a close or reset that USER meets is the failure, with no other connect.
// Which of the two the client sees depends on timing (a close with USER already arrived and
// unread is a reset) and, for a reset, on the platform (Wine reports it as an orderly close).
TEST(FtpClientLogin, ACloseOrResetAfterA220ToHostIsTheErrorWithoutAnotherConnect) {
  constexpr int kRuns = 10;
  for (const char* host_reply : {"220 Host ok<abort>", "220 Host ok<close>"}) {
    SCOPED_TRACE(host_reply);
    for (int run = 0; run < kRuns; ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      ScriptedFtpServer server({{kGreeting, host_reply}}, 5000);
      FtpClient client;
      const std::string error = ConnectWithin(client, Loopback(server.Port()), server);
      EXPECT_TRUE(error == "Socket Error # 10054\r\nConnection reset by peer." ||
                  error == "Connection Closed Gracefully.")
          << error;
      EndSessions(server);
      EXPECT_EQ(server.Accepted(), 1);
      EXPECT_EQ(server.Commands(), (Commands{{kHost}}));
      if (HasFailure()) break;  // once the test has failed, a case runs once: it would repeat
    }
  }
}

TEST(FtpClientLogin, HostileRepliesEndTheConnectWithoutQuit) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"331 " + std::string(kMaxReplyLineBytes, 'L') + "\r\n", "Reply line too long."},
      {"331-Login\r\n" + std::string(70000, '\n'), "Reply too long."},
  };
  for (const auto& [reply, text] : cases) {
    SCOPED_TRACE(text);
    ScriptedFtpServer server({{kGreeting, "220 Host ok", reply}});
    FtpClient client;
    const std::string error = ConnectWithin(client, Loopback(server.Port()), server);
    EXPECT_EQ(error, text);
    EXPECT_FALSE(IsLoginRejection(error));
    EndSessions(server);
    EXPECT_EQ(server.Commands(), (Commands{{kHost, kUser}}));
  }
}

TEST(FtpClientConnect, SocketErrorsAreRaisedAsTheyAre) {
  SocketLibrary library;
  std::uint16_t closed_port = 0;
  {
    Listener listener = Listener::OnLoopback();
    closed_port = listener.Port();
  }
  // Names go to a look-up that finds nothing: none is sent to a name server.
  FtpClient client([](const std::string&) -> std::optional<Ipv4Address> { return std::nullopt; });
  EXPECT_EQ(ConnectError(client, Loopback(closed_port)),
            "Socket Error # 10061\r\nConnection refused.");
  FtpSettings nowhere = Loopback(21);
  nowhere.host = "travik-nowhere.invalid";
  EXPECT_EQ(ConnectError(client, nowhere), "Socket Error # 11001\r\nHost not found.");
}

// A listener with no room left in its queue: a further connect gets no answer and hangs.
class HangingConnect : public ::testing::Test {
 protected:
  test::FullBacklogListener listener_;
};

TEST_F(HangingConnect, GivesUpAfterItsSlices) {
  FtpClient client;
  FtpSettings settings = Loopback(listener_.Port());
  settings.connect_timeout_ms = 500;  // four slices of 125 ms
  std::string error;
  int elapsed = 0;
  // Four times the connect time-out; past it the listener goes, which ends the connect.
  test::RunWithin(
      std::chrono::milliseconds(4 * settings.connect_timeout_ms), "The connect's time-out",
      [&] {
        const auto start = Clock::now();
        error = ConnectError(client, settings);
        elapsed = ElapsedMs(start);
      },
      [this] { listener_.Close(); });
  EXPECT_EQ(error, "Connect timed out.");
  EXPECT_GE(elapsed, 490);
}

// A stop asked for after 200 ms is seen at the connect's next look, 20 ms later: the connect
// ends well within a second of its start, far from the time-outs; four times that.
constexpr test::Bound kCancelledWithin{4000};

// Connect with a stop that another thread asks for after 200 ms. Expects "Cancelled." within
// kCancelledWithin, long before the time-outs of `settings` (at least 10 s each). Past the
// bound, `unblock` takes away what the connect waits on.
void ExpectCancelledConnect(const FtpSettings& settings, const std::function<void()>& unblock) {
  ASSERT_GE(settings.connect_timeout_ms, 10000);
  ASSERT_GE(settings.read_timeout_ms, 10000);
  std::stop_source stop;
  FtpClient client;
  std::string error;
  {
    test::StopAfter later(stop, 200);
    test::RunWithin(
        kCancelledWithin, "The cancelled connect",
        [&] { error = ConnectError(client, settings, stop.get_token()); }, unblock);
  }
  EXPECT_EQ(error, "Cancelled.");
}

TEST_F(HangingConnect, CancelEndsTheWait) {
  FtpSettings settings = Loopback(listener_.Port());
  settings.connect_timeout_ms = 10000;
  settings.read_timeout_ms = 10000;
  ExpectCancelledConnect(settings, [this] { listener_.Close(); });
}

struct SilentCase {
  const char* name;
  std::vector<ScriptedFtpServer::Script> sessions;
  Commands commands;  // no "QUIT": a cancelled connect leaves without it
};

TEST(FtpClientCancel, EndsTheWaitForAReplyAndLeavesWithoutQuit) {
  const std::vector<SilentCase> cases = {
      {"silent after connecting", {{"<silent>"}}, {{}}},
      {"silent after USER", {{kGreeting, "220 Host ok", "<silent>"}}, {{kHost, kUser}}},
  };
  for (const SilentCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFtpServer server(c.sessions);
    FtpSettings settings = Loopback(server.Port());
    settings.connect_timeout_ms = 10000;
    settings.read_timeout_ms = 10000;
    ExpectCancelledConnect(settings, [&server] { server.Stop(); });
    EndSessions(server);
    EXPECT_EQ(server.Commands(), c.commands);
  }
}

// `head`, then `unit` `count` times, one every interval_ms: a server that drips its reply.
std::string Drip(const std::string& head, const std::string& unit, int count, int interval_ms) {
  std::string entry = head;
  for (int i = 0; i < count; ++i) {
    entry += unit + "<pause:" + std::to_string(interval_ms) + ">";
  }
  return entry;
}

struct DripCase {
  const char* name;
  std::vector<ScriptedFtpServer::Script> sessions;
  std::string error;
  Commands commands;
};

// The longest a connect may take, as the client states it: two connects, each the connect
// time-out and eight replies' read time-outs, then the wait for the answer to QUIT.
std::chrono::milliseconds MaxConnectDuration(const FtpSettings& settings) {
  return 2 * (std::chrono::milliseconds(settings.connect_timeout_ms) +
              8 * std::chrono::milliseconds(settings.read_timeout_ms)) +
         kQuitWait;
}

// However the server spaces out its bytes, Connect ends within MaxConnectDuration. Each drip
// would go on for 20 s, past the server's own deadline, which a client that lets every byte
// restart its wait reaches first (and then sees the server close).
TEST(FtpClientBound, DrippingServersCannotHoldTheConnect) {
  constexpr int kEveryMs = 100;
  constexpr int kDrops = 200;
  const std::vector<DripCase> cases = {
      {"greeting: a byte at a time, no line end",
       {{Drip("220-", "x", kDrops, kEveryMs)}},
       "Read timed out.",
       {{}}},
      {"greeting: a multi-line reply that never ends, a line at a time",
       {{Drip("220-Welcome\r\n", "220-more\r\n", kDrops, kEveryMs)}},
       "Read timed out.",
       {{}}},
      {"reply to USER: a byte at a time",
       {{kGreeting, "220 Host ok", Drip("331 ", "x", kDrops, kEveryMs)}},
       "Read timed out.",
       {{kHost, kUser}}},
      // Every reply takes about half the read time-out, the login far more than one: read.
      {"every reply slow but complete in time",
       {{"220 Re<pause:500>ady", "220 Host<pause:500> ok", "331 Pass<pause:500>word",
         "530 Login<pause:500> incorrect."}},
       "Login incorrect.\r\n",
       {{kHost, kUser, kPass, "QUIT"}}},
  };
  for (const DripCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFtpServer server(c.sessions);
    FtpSettings settings = Loopback(server.Port());
    settings.connect_timeout_ms = 1000;
    settings.read_timeout_ms = 1000;
    const auto bound = MaxConnectDuration(settings);
    FtpClient client;
    const auto start = Clock::now();
    EXPECT_EQ(ConnectError(client, settings), c.error);
    const int elapsed = ElapsedMs(start);
    EXPECT_LT(elapsed, bound.count() + 2000);  // it ended; the slack is for a loaded machine
    std::printf("[ figures  ] %s: connect %d ms, read %d ms, bound %lld ms, took %d ms\n", c.name,
                settings.connect_timeout_ms, settings.read_timeout_ms,
                static_cast<long long>(bound.count()), elapsed);
    EndSessions(server);
    EXPECT_EQ(server.Commands(), c.commands);
  }
}

}  // namespace
}  // namespace travik::net
