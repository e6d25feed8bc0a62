// The check run on a thread of its own: the listener hears every log operation in order and
// then the result; a run abandoned half-way stops without a result.
#include "core/background_run.h"

#include <gtest/gtest.h>

#include "tests/core/fake_probes.h"

namespace travik::core {
namespace {

using test::FakeFtp;
using test::FakeTcp;
using test::FtpScript;
using test::Peer;
using test::RecordingSink;

HostFacts Host() {
  HostFacts host;
  host.total_memory = [] { return std::uint64_t{8} << 30; };
  host.free_disk = [] { return std::int64_t{100} << 30; };
  host.is_admin = [] { return true; };
  return host;
}

const FtpScript kRejected{{}, 530, {}, "Login incorrect.\r\n"};

TEST(BackgroundRun, TellsEachLineThenTheResult) {
  auto sink = std::make_shared<RecordingSink>();
  {
    BackgroundRun run(
        Host(), test::FakeTargets(),
        std::make_unique<FakeTcp>(std::map<std::string, Peer>{{"i2.invalid", Peer::kRefuses}}),
        std::make_unique<FakeFtp>(kRejected), sink);
    run.Wait();
    EXPECT_TRUE(run.Done());
  }
  ASSERT_EQ(sink->FinishedCount(), 1);
  const std::optional<CheckResult> result = sink->Result();
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(result->completed);
  EXPECT_EQ(sink->Lines(), result->log) << "the lines shown are the lines of the result";
  EXPECT_EQ(result->log.back().text, "--------- Verificação finalizada ---------");
  EXPECT_EQ(result->errors.size(), 1u);
}

TEST(BackgroundRun, AbandonedHalfWayStopsWithoutAResult) {
  struct Case {
    const char* name;
    std::map<std::string, Peer> peers;
    FtpScript ftp;
    std::string waiting_on;  // the last line shown when the run is abandoned
  };
  const Case cases[] = {
      {"in a TCP probe",
       {{"i2.invalid", Peer::kBlocks}},
       kRejected,
       "Testando conexão em i2.invalid:7500..."},
      {"in the FTP probe",
       {},
       FtpScript{{}, {}, {}, {}, true},
       ">>> Verificando conexão com servidor FTP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto sink = std::make_shared<RecordingSink>();
    BackgroundRun run(Host(), test::FakeTargets(), std::make_unique<FakeTcp>(c.peers),
                      std::make_unique<FakeFtp>(c.ftp), sink);
    ASSERT_TRUE(sink->WaitFor([&](const std::vector<LogLine>& lines) {
      return !lines.empty() && lines.back().text == c.waiting_on;
    }));
    EXPECT_FALSE(run.Done());
    run.Cancel();
    run.Wait();
    EXPECT_TRUE(run.Done());
    EXPECT_EQ(sink->FinishedCount(), 0);
    const std::vector<LogLine> lines = sink->Lines();
    EXPECT_NE(lines.back().text, "--------- Verificação finalizada ---------");
  }
}

TEST(BackgroundRun, DestroyedMidRunDoesNotWaitForTheWorker) {
  auto sink = std::make_shared<RecordingSink>();
  auto gave_up = std::make_shared<std::atomic<bool>>(false);
  {
    BackgroundRun run(Host(), test::FakeTargets(),
                      std::make_unique<FakeTcp>(
                          std::map<std::string, Peer>{{"b1.invalid", Peer::kBlocks}}, gave_up),
                      std::make_unique<FakeFtp>(kRejected), sink);
    ASSERT_TRUE(sink->WaitFor([](const std::vector<LogLine>& lines) {
      return !lines.empty() && lines.back().text == "Testando conexão em b1.invalid:81...";
    }));
  }  // cancels and lets the worker go: it ends by itself, holding what it uses
  for (int i = 0; i < 2000 && !gave_up->load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(gave_up->load()) << "the worker saw the cancel flag";
  // Nothing more is written for an abandoned run: the probe line stays as it was.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(sink->Lines().back().text, "Testando conexão em b1.invalid:81...");
  EXPECT_EQ(sink->FinishedCount(), 0);
}

}  // namespace
}  // namespace travik::core
