// The check run as a whole: fixed host facts and fake probes in; the log with its colours, the
// two issue lists, the verdict, the report sections and the structured figures out.
#include "core/check_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/fake_probes.h"
#include "tests/deadline.h"
#include "tests/native/loopback_listener.h"

namespace travik::core {
namespace {

using test::FakeNetwork;
using test::FtpScript;
using test::kHosts;
using test::kPorts;
using test::Peer;
using test::RecordingSink;
using Lines = std::vector<LogLine>;
using Texts = std::vector<std::string>;

std::string Probe(int index) {
  return "Testando conexão em " + std::string(kHosts[index]) + ":" + std::to_string(kPorts[index]) +
         "...";
}
LogLine Plain(std::string text) {
  return {std::move(text), false};
}
LogLine Red(std::string text) {
  return {std::move(text), true};
}
std::string Refused(int index) {
  return Probe(index) + "Falha\rSocket Error # 10061\r\nConnection refused.";
}
std::string Unknown(int index) {
  return Probe(index) + "Falha\rSocket Error # 11001\r\nHost not found.";
}

const FtpScript kLoginIncorrect{{}, 530, {}, "Login incorrect.\r\n"};
const char kOsLine[] = "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)";
const char kBothBroadcastDown[] =
    "Não foi possível estabelecer conexão com os servidores de difusão.";
const char kFtpFailed[] = "Não foi possível conectar ao FTP.";

HostFacts GoodHost() {
  HostFacts host;
  host.os.major = 10;
  host.os.build = 19045;
  host.os.product_type = 1;
  host.os.verified_workstation = true;
  host.os.native_x64 = true;
  host.total_memory = [] { return std::uint64_t{8} << 30; };
  host.free_disk = [] { return std::int64_t{100} << 30; };
  host.is_admin = [] { return true; };
  return host;
}

// The lines every run writes before the network checks, for a good host.
Lines HostLines() {
  return {Plain("--------- Iniciando verificação ---------"), Plain(kOsLine), Plain("RAM: 8.00GB"),
          Plain("Espaço livre em disco: 99.97GB"),
          Plain("Usuário possui privilégios de administrador")};
}

// The network part of a run in which every endpoint answers as `peers` say.
Lines NetworkLines(const std::map<std::string, Peer>& peers, const LogLine& ftp_line) {
  Lines lines{Plain(">>> Teste de conexão com difusores")};
  for (int i = 0; i < 6; ++i) {
    if (i == 2) lines.push_back(Plain(">>> Teste de conexão internacional"));
    const auto found = peers.find(kHosts[i]);
    switch (found == peers.end() ? Peer::kAccepts : found->second) {
      case Peer::kAccepts:
        lines.push_back(Plain(Probe(i) + "OK"));
        break;
      case Peer::kRefuses:
        lines.push_back(Red(Refused(i)));
        break;
      case Peer::kUnknown:
        lines.push_back(Red(Unknown(i)));
        break;
      default:
        lines.push_back(Red(Probe(i) + "Falha"));
        break;
    }
  }
  lines.push_back(Plain(">>> Verificando conexão com servidor FTP"));
  if (!ftp_line.text.empty()) lines.push_back(ftp_line);
  lines.push_back(Plain("--------- Verificação finalizada ---------"));
  return lines;
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct RunCase {
  const char* name;
  HostFacts host;
  std::map<std::string, Peer> peers;
  FtpScript ftp;
  Lines log;
  Texts errors;
  Texts secondary;
};

TEST(CheckRun, WholeRunsGiveTheirLogListsAndVerdict) {
  const LogLine reached = Plain("Conexão FTP estabelecida.");
  HostFacts poor = GoodHost();
  poor.total_memory = [] { return std::uint64_t{2147483648}; };  // 2 GiB shows 2,00 yet fails
  poor.free_disk = [] { return std::int64_t{-1}; };              // the query failed
  poor.is_admin = [] { return false; };
  poor.decimal_separator = ",";
  HostFacts at_minimum = GoodHost();
  at_minimum.total_memory = [] { return std::uint64_t{2148227713}; };  // the first that passes
  at_minimum.free_disk = [] { return std::int64_t{1074113857}; };
  HostFacts just_below = GoodHost();
  just_below.total_memory = [] { return std::uint64_t{2148227712}; };
  just_below.free_disk = [] { return std::int64_t{1074113856}; };

  const std::vector<RunCase> cases = {
      {"all good",
       GoodHost(),
       {},
       kLoginIncorrect,
       Concat(HostLines(), NetworkLines({}, reached)),
       {},
       {}},
      {"one broadcast server down",
       GoodHost(),
       {{"b1.invalid", Peer::kRefuses}},
       kLoginIncorrect,
       Concat(HostLines(), NetworkLines({{"b1.invalid", Peer::kRefuses}}, reached)),
       {},
       {Refused(0)}},
      {"both broadcast servers down: a joint entry with no log line",
       GoodHost(),
       {{"b1.invalid", Peer::kRefuses}, {"b2.invalid", Peer::kUnknown}},
       kLoginIncorrect,
       Concat(
           HostLines(),
           NetworkLines({{"b1.invalid", Peer::kRefuses}, {"b2.invalid", Peer::kUnknown}}, reached)),
       {kBothBroadcastDown},
       {Refused(0), Unknown(1)}},
      {"international: unknown host, refused, closed right after the connect",
       GoodHost(),
       {{"i1.invalid", Peer::kUnknown},
        {"i2.invalid", Peer::kRefuses},
        {"i3.invalid", Peer::kClosesAtOnce}},
       kLoginIncorrect,
       Concat(HostLines(), NetworkLines({{"i1.invalid", Peer::kUnknown},
                                         {"i2.invalid", Peer::kRefuses},
                                         {"i3.invalid", Peer::kClosesAtOnce}},
                                        reached)),
       {Unknown(2), Refused(3), Probe(4) + "Falha"},
       {}},
      {"FTP login accepted writes nothing",
       GoodHost(),
       {},
       FtpScript{net::FtpReply{230, {"230 Logged in"}}, {}, {}, {}},
       Concat(HostLines(), NetworkLines({}, Plain(""))),
       {},
       {}},
      {"FTP user rejected with a text beginning Login counts as reached",
       GoodHost(),
       {},
       FtpScript{{}, 530, {}, "LOGIN refused for this user\r\n"},
       Concat(HostLines(), NetworkLines({}, reached)),
       {},
       {}},
      {"FTP rejection with another text",
       GoodHost(),
       {},
       FtpScript{{}, 530, {}, "User cannot log in.\r\n"},
       Concat(HostLines(), NetworkLines({}, Red(kFtpFailed))),
       {kFtpFailed},
       {}},
      {"FTP read time-out",
       GoodHost(),
       {},
       FtpScript{{}, {}, {}, "Read timed out."},
       Concat(HostLines(), NetworkLines({}, Red(kFtpFailed))),
       {kFtpFailed},
       {}},
      {"FTP refused",
       GoodHost(),
       {},
       FtpScript{{}, {}, net::kErrConnRefused, {}},
       Concat(HostLines(), NetworkLines({}, Red(kFtpFailed))),
       {kFtpFailed},
       {}},
      {"host checks fail, with a decimal comma",
       poor,
       {},
       kLoginIncorrect,
       Concat({Plain("--------- Iniciando verificação ---------"), Plain(kOsLine),
               Plain("RAM: 2,00GB"), Red("Memória RAM inferior à recomendada (2GB)."),
               Plain("Espaço livre em disco: 0,00GB"),
               Red("Espaço em disco insuficiente. Mínimo exigido: 1GB."),
               Red("Usuário não possui privilégios de administrador")},
              NetworkLines({}, reached)),
       {"Memória RAM inferior à recomendada (2GB).",
        "Espaço em disco insuficiente. Mínimo exigido: 1GB.",
        "Usuário não possui privilégios de administrador"},
       {}},
      {"memory and disk exactly at their thresholds pass",
       at_minimum,
       {},
       kLoginIncorrect,
       Concat({Plain("--------- Iniciando verificação ---------"), Plain(kOsLine),
               Plain("RAM: 2.00GB"), Plain("Espaço livre em disco: 1.00GB"),
               Plain("Usuário possui privilégios de administrador")},
              NetworkLines({}, reached)),
       {},
       {}},
      {"memory and disk one byte below fail",
       just_below,
       {},
       kLoginIncorrect,
       Concat({Plain("--------- Iniciando verificação ---------"), Plain(kOsLine),
               Plain("RAM: 2.00GB"), Red("Memória RAM inferior à recomendada (2GB)."),
               Plain("Espaço livre em disco: 1.00GB"),
               Red("Espaço em disco insuficiente. Mínimo exigido: 1GB."),
               Plain("Usuário possui privilégios de administrador")},
              NetworkLines({}, reached)),
       {"Memória RAM inferior à recomendada (2GB).",
        "Espaço em disco insuficiente. Mínimo exigido: 1GB."},
       {}},
  };

  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto network = std::make_shared<FakeNetwork>();
    network->peers = c.peers;
    network->ftp = c.ftp;
    RecordingSink sink;
    const CheckResult result = test::RunWithFakes(c.host, test::FakeTargets(), network, sink);

    EXPECT_EQ(result.log, c.log);
    EXPECT_EQ(sink.Lines(), c.log) << "what the sink shows is the result's log";
    EXPECT_EQ(result.errors, c.errors);
    EXPECT_EQ(result.secondary_errors, c.secondary);
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.Ready(), c.errors.empty());
    EXPECT_EQ(network->tcp_clients, 6) << "each probe has a client of its own";
    EXPECT_EQ(network->tcp_disconnects, 6) << "every probe disconnects its client";
    EXPECT_EQ(network->ftp_hosts, Texts{"ftp.invalid"});
  }
}

TEST(CheckRun, RecordsFiguresAndEachProbe) {
  auto network = std::make_shared<FakeNetwork>();
  network->peers = {{"b2.invalid", Peer::kUnknown},
                    {"i1.invalid", Peer::kClosesAtOnce},
                    {"i4.invalid", Peer::kRefuses}};
  network->ftp = FtpScript{{}, 530, {}, "Login incorrect.\r\nTry again.\r\n"};
  RecordingSink sink;
  HostFacts host = GoodHost();
  host.decimal_separator = ",";
  host.total_memory = [] { return std::uint64_t{17179869184}; };  // 16 GiB shows as 15,99
  const CheckResult result = test::RunWithFakes(host, test::FakeTargets(), network, sink);

  EXPECT_EQ(result.os_line, kOsLine);
  EXPECT_EQ(result.memory.bytes, 17179869184);
  EXPECT_EQ(result.memory.shown, "15,99");
  EXPECT_DOUBLE_EQ(result.memory.minimum_gb, 2.0);
  EXPECT_TRUE(result.memory.ok);
  EXPECT_EQ(result.disk.bytes, std::int64_t{100} << 30);
  EXPECT_EQ(result.disk.shown, "99,97");
  EXPECT_DOUBLE_EQ(result.disk.minimum_gb, 1.0);
  EXPECT_TRUE(result.administrator);

  ASSERT_EQ(result.probes.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(result.probes[i].host, kHosts[i]);
    EXPECT_EQ(result.probes[i].port, kPorts[i]);
    EXPECT_EQ(result.probes[i].group, i < 2 ? ProbeGroup::kBroadcast : ProbeGroup::kInternational);
    EXPECT_GE(result.probes[i].elapsed_ms, 0);
  }
  EXPECT_TRUE(result.probes[0].ok);
  EXPECT_EQ(result.probes[0].error, std::nullopt);
  EXPECT_FALSE(result.probes[1].ok);
  EXPECT_EQ(result.probes[1].error, (ProbeError{11001, "Host not found."}));
  EXPECT_FALSE(result.probes[2].ok);
  EXPECT_EQ(result.probes[2].error, std::nullopt) << "a peer that closed at once gave no error";
  EXPECT_EQ(result.probes[5].error, (ProbeError{10061, "Connection refused."}));

  ASSERT_TRUE(result.ftp.has_value());
  EXPECT_EQ(result.ftp->host, "ftp.invalid");
  EXPECT_EQ(result.ftp->port, 21);
  EXPECT_EQ(result.ftp->outcome, FtpOutcome::kLoginRejected);
  EXPECT_EQ(result.ftp->reply, (FtpReplyInfo{530, "Login incorrect.\r\nTry again."}));
  EXPECT_EQ(result.ftp->error, "Login incorrect.\r\nTry again.\r\n");
}

TEST(CheckRun, FtpOutcomesCarryTheirReplyOrError) {
  struct Case {
    const char* name;
    FtpScript script;
    FtpOutcome outcome;
    std::optional<FtpReplyInfo> reply;
    std::optional<std::string> error;
  };
  const Case cases[] = {
      {"logged in", FtpScript{net::FtpReply{230, {"230 User logged in."}}, {}, {}, {}},
       FtpOutcome::kLoggedIn, FtpReplyInfo{230, "User logged in."}, std::nullopt},
      {"rejected", kLoginIncorrect, FtpOutcome::kLoginRejected,
       FtpReplyInfo{530, "Login incorrect."}, "Login incorrect.\r\n"},
      {"turned down otherwise", FtpScript{{}, 530, {}, "User cannot log in.\r\n"},
       FtpOutcome::kFailed, FtpReplyInfo{530, "User cannot log in."}, "User cannot log in.\r\n"},
      {"no reply at all", FtpScript{{}, {}, {}, "Connect timed out."}, FtpOutcome::kFailed,
       std::nullopt, "Connect timed out."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto network = std::make_shared<FakeNetwork>();
    network->ftp = c.script;
    RecordingSink sink;
    const CheckResult result = test::RunWithFakes(GoodHost(), test::FakeTargets(), network, sink);
    ASSERT_TRUE(result.ftp.has_value());
    EXPECT_EQ(result.ftp->outcome, c.outcome);
    EXPECT_EQ(result.ftp->reply, c.reply);
    EXPECT_EQ(result.ftp->error, c.error);
  }
}

// The probes run side by side; whatever order their outcomes come in, the log operations, the two
// lists and the result are those of a run whose probes end one after another.
TEST(CheckRun, ProbesFinishingInAnyOrderWriteWhatASequentialRunWrites) {
  const std::map<std::string, Peer> peers = {{"b1.invalid", Peer::kRefuses},
                                             {"b2.invalid", Peer::kUnknown},
                                             {"i2.invalid", Peer::kRefuses},
                                             {"i3.invalid", Peer::kClosesAtOnce}};
  const FtpScript ftp{{}, 530, {}, "User cannot log in.\r\n"};
  const std::vector<std::string> sequential = {kHosts[0], kHosts[1], kHosts[2],     kHosts[3],
                                               kHosts[4], kHosts[5], test::kFtpHost};
  const auto run_in = [&](std::shared_ptr<test::FinishOrder> order, RecordingSink& sink) {
    auto network = std::make_shared<FakeNetwork>();
    network->peers = peers;
    network->ftp = ftp;
    network->order = std::move(order);
    return test::RunWithFakes(GoodHost(), test::FakeTargets(), network, sink);
  };
  RecordingSink reference_sink;
  const CheckResult reference =
      run_in(std::make_shared<test::FinishOrder>(sequential), reference_sink);
  ASSERT_EQ(reference.errors.front(), kBothBroadcastDown);

  struct Order {
    std::string name;
    std::shared_ptr<test::FinishOrder> order;  // null: all at once
  };
  std::vector<Order> orders = {
      {"all at once", nullptr},
      {"in reverse", std::make_shared<test::FinishOrder>(
                         std::vector<std::string>(sequential.rbegin(), sequential.rend()))},
  };
  for (unsigned seed = 1; seed <= 4; ++seed) {
    std::vector<std::string> shuffled = sequential;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(seed));
    orders.push_back(
        {"seed " + std::to_string(seed), std::make_shared<test::FinishOrder>(std::move(shuffled))});
  }
  for (const Order& o : orders) {
    SCOPED_TRACE(o.name);
    RecordingSink sink;
    const CheckResult result = run_in(o.order, sink);
    EXPECT_EQ(sink.Operations(), reference_sink.Operations());
    EXPECT_EQ(result.log, reference.log);
    EXPECT_EQ(result.errors, reference.errors) << "the joint broadcast entry comes first";
    EXPECT_EQ(result.secondary_errors, reference.secondary_errors);
    ASSERT_EQ(result.probes.size(), reference.probes.size());
    for (std::size_t i = 0; i < result.probes.size(); ++i) {
      EXPECT_EQ(result.probes[i].host, reference.probes[i].host);
      EXPECT_EQ(result.probes[i].ok, reference.probes[i].ok);
      EXPECT_EQ(result.probes[i].error, reference.probes[i].error);
    }
    ASSERT_TRUE(result.ftp.has_value());
    EXPECT_EQ(result.ftp->outcome, reference.ftp->outcome);
    EXPECT_EQ(result.ftp->error, reference.ftp->error);
  }
}

// Each probe's time is its own, in milliseconds: a probe whose connect takes 300 ms took at least
// that, and no more than the whole run took as the test measures it (so not seconds, nor
// microseconds).
TEST(CheckRun, EachProbeTakesItsOwnTimeInMilliseconds) {
  constexpr int kConnectMs = 300;
  auto network = std::make_shared<FakeNetwork>();
  network->connect_ms = kConnectMs;
  network->ftp = kLoginIncorrect;
  RecordingSink sink;
  const auto started = std::chrono::steady_clock::now();
  const CheckResult result = test::RunWithFakes(GoodHost(), test::FakeTargets(), network, sink);
  const auto run_ms =
      std::chrono::ceil<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
          .count();
  ASSERT_EQ(result.probes.size(), 6u);
  for (const TcpProbeResult& probe : result.probes) {
    SCOPED_TRACE(probe.host);
    EXPECT_GE(probe.elapsed_ms, kConnectMs);
    EXPECT_LE(probe.elapsed_ms, run_ms);
  }
}

// Over real loopback sockets: a probe looks at its connection right after its own connect, not
// when its line is due. The second endpoint accepts and closes as soon as the probe has left it,
// or 2 s after the connect when it does not; the first probe's name look-up holds its line, and
// every line after it, until then.
TEST(CheckRun, APeerThatClosesSoonReadsOkWhileAnEarlierProbeIsHeld) {
  const net::SocketLibrary library;
  travik::test::Listener closing = travik::test::Listener::OnLoopback();
  travik::test::Listener holding = travik::test::Listener::OnLoopback(0, 64);
  // Shared with the look-up's helper thread, which the run does not join.
  const auto peer_closed = std::make_shared<std::atomic<bool>>(false);
  // The probe connects at once, well within a second: four times that.
  std::thread peer([&closing, peer_closed] {
    travik::test::TestSocket accepted = closing.Accept(4000);
    try {
      char byte;
      if (accepted.Valid() && travik::test::WaitReadable(accepted, 2000)) {
        (void)accepted.Receive(&byte, 1);
      }
    } catch (const net::SocketError&) {
      // The probe's close came as a reset: it has left all the same.
    }
    accepted.Close();
    peer_closed->store(true);
  });
  RunInputs inputs{GoodHost(), test::FakeTargets(), {}};
  inputs.targets.broadcast[0] = {"slow.invalid", 81};
  inputs.targets.broadcast[1] = {"127.0.0.1", closing.Port()};
  for (NetworkEndpoint& e : inputs.targets.international) e = {"127.0.0.1", holding.Port()};
  inputs.targets.ftp.host = "127.0.0.1";
  const travik::test::Listener refusing = travik::test::Listener::RefusingOnLoopback();
  inputs.targets.ftp.port = refusing.Port();
  inputs.targets.ftp.connect_timeout_ms = 1000;
  inputs.targets.ftp.read_timeout_ms = 1000;
  inputs.look_up = [peer_closed](const std::string&) -> std::optional<net::Ipv4Address> {
    // The close comes within 2 s of the connect: four times that.
    (void)travik::test::WaitUntil([&] { return peer_closed->load(); }, std::chrono::seconds(8),
                                  "The close of the second endpoint");
    return std::nullopt;  // "slow.invalid" is not found, late
  };
  const ProbeClients clients = SocketProbeClients(inputs.look_up);
  RecordingSink sink;
  const CheckResult result = CheckRun(inputs, clients, sink, std::stop_token{}).Run();
  peer.join();
  ASSERT_EQ(result.probes.size(), 6u);
  EXPECT_EQ(result.log[6].text,
            "Testando conexão em slow.invalid:81...Falha\rSocket Error # "
            "11001\r\nHost not found.");
  EXPECT_EQ(result.log[7].text,
            "Testando conexão em 127.0.0.1:" + std::to_string(closing.Port()) + "...OK");
  EXPECT_TRUE(result.probes[1].ok);
}

TEST(Verdict, ReadyOrTheImpedimentsWithTheSupportAddress) {
  EXPECT_EQ(VerdictText({}, "help@support.invalid"), "O sistema está pronto para ser instalado.");
  EXPECT_EQ(VerdictText({"Usuário não possui privilégios de administrador", kBothBroadcastDown},
                        "help@support.invalid"),
            "Alguns impedimentos foram encontrados:\r"
            "Usuário não possui privilégios de administrador\r" +
                std::string(kBothBroadcastDown) +
                "\r\rPara maiores informações, envie o relatório para help@support.invalid");
}

TEST(ReportSections, EachNonEmptyListUnderItsHeading) {
  EXPECT_EQ(ReportSections({}, {}), Texts{});
  EXPECT_EQ(ReportSections({}, {"b\rx"}), (Texts{">>>Erros encontrados:", "b\rx"}));
  EXPECT_EQ(ReportSections({"a", "a"}, {"b"}),
            (Texts{">>>Impedimentos encontrados:", "a", "a", ">>>Erros encontrados:", "b"}));
}

}  // namespace
}  // namespace travik::core
