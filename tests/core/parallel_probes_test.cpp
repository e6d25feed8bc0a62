// The run's wait for a probe's outcome ends on the run's stop, and the probe still going sees the
// stop too: its connect ends with "Cancelled." and its thread is joined.
#include "core/parallel_probes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>

#include "tests/core/fake_probes.h"
#include "tests/deadline.h"

namespace travik::core {
namespace {

TEST(StopRequest, EndsTheWaitForAProbesOutcome) {
  struct Case {
    const char* probe;
    std::map<std::string, test::Peer> peers;
    bool ftp_blocks;
  };
  const Case cases[] = {
      {"a TCP probe's", {{"i2.invalid", test::Peer::kBlocks}}, false},
      {"the FTP probe's", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.probe);
    auto network = std::make_shared<test::FakeNetwork>();
    network->peers = c.peers;
    network->ftp.blocks = c.ftp_blocks;
    network->ftp.reply_code = 530;
    network->ftp.text = "Login incorrect.\r\n";
    const NetworkTargets targets = test::FakeTargets();
    const ProbeClients clients = test::FakeClients(network);
    const std::unique_ptr<FtpProbeClient> ftp = clients.ftp();
    std::stop_source run;
    bool taken = true;
    {
      ParallelProbes probes(targets, clients, *ftp, run.get_token());
      std::jthread waiter([&] {
        taken = c.ftp_blocks ? probes.AwaitFtp().has_value() : probes.AwaitTcp(3).has_value();
      });
      // The probe starts waiting at once, well within a second: four times that.
      travik::test::WaitUntil([&] { return network->blocked.load() == 1; }, std::chrono::seconds(4),
                              "The probe's wait");
      run.request_stop();
      // Woken by the stop: well within a second, four times over. A waiter that is not is
      // never unblocked (the test program says so and ends).
      travik::test::RunWithin(
          std::chrono::seconds(4), "The stopped wait for the outcome", [&] { waiter.join(); },
          [] {});
    }  // every probe's thread is joined here
    EXPECT_FALSE(taken) << "a stopped run takes no outcome";
    if (!c.ftp_blocks) {
      EXPECT_EQ(network->gave_up.load(), 1) << "the blocked probe saw the stop";
    }
    EXPECT_EQ(network->tcp_disconnects.load(), 6) << "every TCP probe ended";
  }
}

}  // namespace
}  // namespace travik::core
