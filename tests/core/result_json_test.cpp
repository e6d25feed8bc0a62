// The JSON result of whole check runs (fixed facts, fake probes), parsed back and compared field
// by field.
#include "core/result_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/check_run.h"
#include "tests/core/fake_probes.h"

namespace travik::core {
namespace {

using test::FakeNetwork;
using test::FtpScript;
using test::kHosts;
using test::kPorts;
using test::Peer;
using test::RecordingSink;
using Json = nlohmann::json;
using Texts = std::vector<std::string>;

const FtpScript kLoginIncorrect{{}, 530, {}, "Login incorrect.\r\n"};

HostFacts Host(bool admin) {
  HostFacts host;
  host.os.major = 6;
  host.os.minor = 1;
  host.os.build = 7601;
  host.os.service_pack = 1;
  host.os.product_type = 1;
  host.os.native_x64 = true;
  host.decimal_separator = ",";  // the log's figures; the JSON's always use "."
  host.total_memory = [] { return std::uint64_t{25275000000}; };
  host.free_disk = [] { return std::int64_t{536870912}; };  // 0.5 GiB: below the minimum
  host.is_admin = [admin] { return admin; };
  return host;
}

CheckResult RunChecks(const HostFacts& host, std::map<std::string, Peer> peers,
                      const FtpScript& script) {
  NetworkTargets targets = test::FakeTargets();
  targets.ftp.port = 2121;
  auto network = std::make_shared<FakeNetwork>();
  network->peers = std::move(peers);
  network->ftp = script;
  RecordingSink sink;
  return test::RunWithFakes(host, targets, network, sink);
}

RunMetadata Metadata() {
  return test::SampleMetadata();
}

Json Parsed(const CheckResult& result, const RunMetadata& metadata = Metadata()) {
  const std::string text = ResultJson(result, metadata);
  EXPECT_EQ(text.back(), '\n');
  return Json::parse(text);  // raises (and fails the test) when the text is not JSON
}

Texts LogTexts(const Json& json) {
  Texts texts;
  for (const Json& line : json.at("log")) texts.push_back(line.at("text"));
  return texts;
}

TEST(ResultJson, RunsWithAndWithoutImpediments) {
  struct Case {
    const char* name;
    HostFacts host;
    std::map<std::string, Peer> peers;
    bool ready;
  };
  HostFacts good = Host(true);
  good.free_disk = [] { return std::int64_t{100} << 30; };
  const Case cases[] = {
      {"impediments",
       Host(false),
       {{"i1.invalid", Peer::kUnknown}, {"i3.invalid", Peer::kClosesAtOnce}},
       false},
      {"none at all", good, {}, true},
      {"only secondary errors", good, {{"b2.invalid", Peer::kRefuses}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CheckResult result = RunChecks(c.host, c.peers, kLoginIncorrect);
    const Json json = Parsed(result);

    EXPECT_EQ(json.at("ready"), c.ready);
    EXPECT_EQ(json.at("impediments").get<Texts>(), result.errors);
    EXPECT_EQ(json.at("secondary_errors").get<Texts>(), result.secondary_errors);
    EXPECT_EQ(json.at("administrator"), result.administrator);
    // One entry per log line as the log counts them, with its colour.
    ASSERT_EQ(json.at("log").size(), result.log.size());
    for (std::size_t i = 0; i < result.log.size(); ++i) {
      EXPECT_EQ(json["log"][i],
                (Json{{"text", result.log[i].text}, {"issue", result.log[i].issue}}))
          << i;
    }
    ASSERT_EQ(json.at("probes").size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
      SCOPED_TRACE(i);
      const Json& probe = json["probes"][i];
      const auto found = c.peers.find(kHosts[i]);
      const Peer peer = found == c.peers.end() ? Peer::kAccepts : found->second;
      EXPECT_EQ(probe.at("group"), i < 2 ? "broadcast" : "international");
      EXPECT_EQ(probe.at("host"), kHosts[i]);
      EXPECT_EQ(probe.at("port"), kPorts[i]);
      EXPECT_EQ(probe.at("ok"), peer == Peer::kAccepts);
      EXPECT_GE(probe.at("elapsed_ms").get<std::int64_t>(), 0);
      switch (peer) {
        case Peer::kUnknown:
          EXPECT_EQ(probe.at("error"), (Json{{"code", 11001}, {"text", "Host not found."}}));
          break;
        case Peer::kRefuses:
          EXPECT_EQ(probe.at("error"), (Json{{"code", 10061}, {"text", "Connection refused."}}));
          break;
        default:  // connected, or closed at once without an error
          EXPECT_TRUE(probe.at("error").is_null());
          break;
      }
    }
  }
}

TEST(ResultJson, MetadataHostFactsAndFtp) {
  const CheckResult result = RunChecks(Host(false), {}, kLoginIncorrect);
  const Json json = Parsed(result);

  EXPECT_EQ(json.at("schema"), "travik-result/1");
  EXPECT_EQ(json.at("tool"), (Json{{"name", "TRAVIK"}, {"version", "1.1.0+g1a2b3c4"}}));
  EXPECT_EQ(json.at("computer"), "PC-MESA-07");
  EXPECT_EQ(json.at("user"), "KORVENA\\joão");
  EXPECT_EQ(json.at("started"), "2026-12-10T04:17:27.005Z");
  EXPECT_EQ(json.at("duration_ms"), 1234);
  EXPECT_EQ(json.at("os"), (Json{{"line", result.os_line},
                                 {"major", 6},
                                 {"minor", 1},
                                 {"build", 7601},
                                 {"service_pack", 1},
                                 {"x64", true}}));
  EXPECT_NE(result.os_line.find("Service Pack 1"), std::string::npos);
  // The figures as logged, but with "." whatever the user's separator.
  EXPECT_EQ(result.memory.shown, "23,53");
  EXPECT_EQ(json.at("memory"),
            (Json{{"bytes", 25275000000}, {"figure", "23.53"}, {"minimum_gb", 2.0}, {"ok", true}}));
  EXPECT_EQ(json.at("disk"),
            (Json{{"bytes", 536870912}, {"figure", "0.50"}, {"minimum_gb", 1.0}, {"ok", false}}));
  EXPECT_EQ(json.at("impediments"), (Json{"Espaço em disco insuficiente. Mínimo exigido: 1GB.",
                                          "Usuário não possui privilégios de administrador"}));

  const Json& ftp = json.at("ftp");
  EXPECT_EQ(ftp.at("host"), "ftp.invalid");
  EXPECT_EQ(ftp.at("port"), 2121);
  EXPECT_EQ(ftp.at("outcome"), "login_rejected");
  EXPECT_EQ(ftp.at("reply"), (Json{{"code", 530}, {"text", "Login incorrect."}}));
  EXPECT_EQ(ftp.at("error"), "Login incorrect.\r\n");
  EXPECT_GE(ftp.at("elapsed_ms").get<std::int64_t>(), 0);

  // Every field, in a fixed order for people reading the file.
  const auto ordered = nlohmann::ordered_json::parse(ResultJson(result, Metadata()));
  Texts keys;
  for (const auto& item : ordered.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (Texts{"schema", "tool", "computer", "user", "started", "duration_ms", "ready",
                         "os", "memory", "disk", "administrator", "probes", "ftp", "impediments",
                         "secondary_errors", "log"}));
}

TEST(ResultJson, FtpOutcomes) {
  struct Case {
    const char* name;
    FtpScript script;
    Json expected;  // outcome, reply, error
  };
  const Case cases[] = {
      {"logged in",
       FtpScript{net::FtpReply{230, {"230 User logged in."}}, {}, {}, {}},
       {{"outcome", "logged_in"},
        {"reply", {{"code", 230}, {"text", "User logged in."}}},
        {"error", nullptr}}},
      {"refused",
       FtpScript{{}, {}, net::kErrConnRefused, {}},
       {{"outcome", "failed"},
        {"reply", nullptr},
        {"error", "Socket Error # 10061\r\nConnection refused."}}},
      {"two-line rejection that is not a login one",
       FtpScript{{}, 421, {}, "Too many users.\r\nTry later.\r\n"},
       {{"outcome", "failed"},
        {"reply", {{"code", 421}, {"text", "Too many users.\r\nTry later."}}},
        {"error", "Too many users.\r\nTry later.\r\n"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Json ftp = Parsed(RunChecks(Host(true), {}, c.script)).at("ftp");
    for (const auto& [key, value] : c.expected.items()) EXPECT_EQ(ftp.at(key), value) << key;
  }
}

TEST(ResultJson, TextIsKeptAsItIsAndBadBytesReplaced) {
  CheckResult result;
  result.secondary_errors = {"Testando conexão em b1:81...Falha\rSocket Error # 10061\r\nx",
                             "tab\tquote\"back\\slash"};
  result.errors = {std::string("bad \xC3 byte")};
  result.probes.push_back(
      {ProbeGroup::kBroadcast, "b1", 81, false, ProbeError{0, "Cancelled."}, 3});
  const Json json = Parsed(result);
  EXPECT_EQ(json.at("secondary_errors").get<Texts>(), result.secondary_errors);
  EXPECT_EQ(json.at("impediments")[0], "bad \xEF\xBF\xBD byte");
  EXPECT_FALSE(json.at("ready"));
  EXPECT_TRUE(json.at("ftp").is_null()) << "no FTP probe was made";
  // An error without a Windows Sockets number has a null code.
  EXPECT_EQ(json.at("probes")[0].at("error"), (Json{{"code", nullptr}, {"text", "Cancelled."}}));
  EXPECT_TRUE(LogTexts(json).empty());
}

TEST(ResultJson, StartedIsUtcToTheMillisecond) {
  using namespace std::chrono;
  struct Case {
    system_clock::time_point time;
    const char* text;
  };
  const Case cases[] = {
      {system_clock::time_point{}, "1970-01-01T00:00:00.000Z"},
      {sys_days{year{2028} / 2 / 29} + hours{23} + minutes{59} + seconds{59} + milliseconds{999},
       "2028-02-29T23:59:59.999Z"},
      {sys_days{year{2026} / 12 / 10} + microseconds{1999}, "2026-12-10T00:00:00.001Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(UtcTimestamp(c.time), c.text);
}

}  // namespace
}  // namespace travik::core
