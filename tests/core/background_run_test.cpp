// The check run on a thread of its own: the front end takes, in order, every log operation and
// then the result, woken by a signal that carries no data; a run abandoned half-way is joined and
// says nothing more; one that meets the unexpected ends in a failure.
#include "core/background_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "tests/core/fake_probes.h"
#include "tests/deadline.h"

namespace travik::core {
namespace {

using test::FakeNetwork;
using test::FtpScript;
using test::Peer;
using Kind = RunEvent::Kind;

HostFacts Host() {
  HostFacts host;
  host.total_memory = [] { return std::uint64_t{8} << 30; };
  host.free_disk = [] { return std::int64_t{100} << 30; };
  host.is_admin = [] { return true; };
  return host;
}

const FtpScript kRejected{{}, 530, {}, "Login incorrect.\r\n"};
const FtpScript kAccepted{net::FtpReply{230, {"230 Logged in"}}, {}, {}, {}, false};

// A run of fakes writes everything it has to say, or reaches the probe that blocks, well within a
// second: four times that.
constexpr travik::test::Bound kRunWithin{4000};

// What the window does: wait for a wake-up, take the queue, keep every event.
class Front {
 public:
  BackgroundRun::Wake Wake() {
    return [this] {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++wakes_;
    };
  }
  // Takes what is queued each time it is woken, until `done` holds for all taken; when that does
  // not come within kRunWithin, the test fails naming `what`.
  template <typename Predicate>
  bool TakeUntil(BackgroundRun& run, Predicate done, std::string_view what) {
    return travik::test::WaitUntil(
        [&] {
          if (done(events)) return true;
          if (!TakeWake()) return false;
          for (RunEvent& event : run.Take()) events.push_back(std::move(event));
          return done(events);
        },
        kRunWithin, what);
  }
  [[nodiscard]] int Wakes() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return wakes_;
  }
  std::vector<RunEvent> events;

 private:
  // A wake-up came since the last one taken.
  bool TakeWake() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (wakes_ == taken_wakes_) return false;
    taken_wakes_ = wakes_;
    return true;
  }

  std::mutex mutex_;
  int wakes_ = 0;
  int taken_wakes_ = 0;
};

// Waits until `count` probes of `network` are blocked, waiting for the run's cancel: a cancel
// that comes later ends a wait, not a probe that has yet to start.
bool ProbesBlock(const test::FakeNetwork& network, int count) {
  return travik::test::WaitUntil([&] { return network.blocked.load() >= count; }, kRunWithin,
                                 "The blocked probe's wait for the cancel");
}

bool HasLastWord(const std::vector<RunEvent>& events) {
  return !events.empty() &&
         (events.back().kind == Kind::kFinished || events.back().kind == Kind::kFailed);
}

// The log as the events draw it.
std::vector<LogLine> LinesOf(const std::vector<RunEvent>& events) {
  std::vector<LogLine> lines;
  for (const RunEvent& e : events) {
    if (e.kind == Kind::kClear) lines.clear();
    if (e.kind == Kind::kAppend) lines.push_back(e.line);
    if (e.kind == Kind::kReplaceLast && !lines.empty()) lines.back() = e.line;
  }
  return lines;
}

TEST(BackgroundRun, QueuesEachLineThenTheResultLast) {
  auto network = std::make_shared<FakeNetwork>();
  network->peers = {{"i2.invalid", Peer::kRefuses}};
  network->ftp = kRejected;
  Front front;
  BackgroundRun run({Host(), test::FakeTargets(), {}}, test::FakeClients(network), front.Wake());
  ASSERT_TRUE(front.TakeUntil(run, HasLastWord, "The run's result"));
  EXPECT_TRUE(run.Finished());
  ASSERT_EQ(front.events.back().kind, Kind::kFinished);
  const CheckResult result = *front.events.back().result;
  EXPECT_TRUE(result.completed);
  front.events.pop_back();
  EXPECT_EQ(LinesOf(front.events), result.log) << "the lines shown are the lines of the result";
  EXPECT_EQ(result.errors.size(), 1u);
  // One wake-up per time the queue turned non-empty, never more than the items.
  EXPECT_GE(front.Wakes(), 1);
  EXPECT_LE(front.Wakes(), static_cast<int>(front.events.size()) + 1);
}

TEST(BackgroundRun, CancelledHalfWayIsJoinedAndSaysNothingMore) {
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
    auto network = std::make_shared<FakeNetwork>();
    network->peers = c.peers;
    network->ftp = c.ftp;
    Front front;
    {
      BackgroundRun run({Host(), test::FakeTargets(), {}}, test::FakeClients(network),
                        front.Wake());
      ASSERT_TRUE(front.TakeUntil(
          run,
          [&](const std::vector<RunEvent>& events) {
            const std::vector<LogLine> lines = LinesOf(events);
            return !lines.empty() && lines.back().text == c.waiting_on;
          },
          "The line of the probe that blocks"));
      ASSERT_TRUE(ProbesBlock(*network, 1));
      EXPECT_FALSE(run.Finished());
      run.Cancel();
    }  // joined here: every probe's thread has returned
    EXPECT_EQ(network->tcp_disconnects, 6) << "every TCP probe ended, the blocked one included";
    EXPECT_EQ(LinesOf(front.events).back().text, c.waiting_on);
    EXPECT_FALSE(HasLastWord(front.events));
  }
}

TEST(BackgroundRun, DestroyedWithLinesQueuedWakesNoOneAndLeaksNothing) {
  auto network = std::make_shared<FakeNetwork>();
  network->peers = {{"b1.invalid", Peer::kBlocks}};
  Front front;
  {
    BackgroundRun run({Host(), test::FakeTargets(), {}}, test::FakeClients(network), front.Wake());
    ASSERT_TRUE(travik::test::WaitUntil([&] { return front.Wakes() > 0; }, kRunWithin,
                                        "The run's first wake-up"));
    // The first wake-up may come before the probes have started: the run is destroyed only once
    // the blocked probe waits, with its lines and those before it queued and never taken.
    ASSERT_TRUE(ProbesBlock(*network, 1));
    ASSERT_EQ(front.Wakes(), 1);
    run.StopWaking();  // the window is going; what is queued is never taken
  }
  EXPECT_EQ(front.Wakes(), 1);
  EXPECT_EQ(network->gave_up, 1) << "the blocked probe saw the cancel before the run was joined";
}

TEST(BackgroundRun, LoginThatSucceededEndsWithTheRunEvenWhenCancelled) {
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled after the login" : "finished");
    auto network = std::make_shared<FakeNetwork>();
    network->ftp = kAccepted;
    // The FTP probe logs in at once; a cancelled run is held in a TCP probe meanwhile.
    if (cancel) network->peers = {{"i4.invalid", Peer::kBlocks}};
    Front front;
    {
      BackgroundRun run({Host(), test::FakeTargets(), {}}, test::FakeClients(network),
                        front.Wake());
      if (cancel) {
        ASSERT_TRUE(front.TakeUntil(
            run,
            [](const std::vector<RunEvent>& events) {
              const std::vector<LogLine> lines = LinesOf(events);
              return !lines.empty() && lines.back().text == "Testando conexão em i4.invalid:80...";
            },
            "The line of the probe that blocks"));
        // The line can come before the FTP probe has logged in: the cancel waits for the login.
        ASSERT_TRUE(travik::test::WaitUntil([&] { return network->ftp_logins.load() == 1; },
                                            kRunWithin, "The FTP probe's login"));
        ASSERT_TRUE(ProbesBlock(*network, 1));
        run.Cancel();
      } else {
        ASSERT_TRUE(front.TakeUntil(run, HasLastWord, "The run's result"));
      }
      EXPECT_EQ(network->ftp_disconnects, 0) << "the session stays open while the run is kept";
    }
    EXPECT_EQ(network->ftp_disconnects, 1);
  }
}

TEST(BackgroundRun, SomethingNoCheckExpectsEndsInAFailure) {
  struct Case {
    const char* name;
    HostFacts host;
    std::map<std::string, Peer> peers;
    std::string failure;
  };
  HostFacts throwing = Host();
  throwing.total_memory = []() -> std::uint64_t { throw std::runtime_error("memory query broke"); };
  const Case cases[] = {
      {"on the run's thread", throwing, {}, "memory query broke"},
      {"on a probe's thread", Host(), {{"i3.invalid", Peer::kOutOfMemory}}, "std::bad_alloc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto network = std::make_shared<FakeNetwork>();
    network->peers = c.peers;
    network->ftp = kRejected;
    Front front;
    BackgroundRun run({c.host, test::FakeTargets(), {}}, test::FakeClients(network), front.Wake());
    ASSERT_TRUE(front.TakeUntil(run, HasLastWord, "The run's failure"));
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(front.events.back().kind, Kind::kFailed);
    EXPECT_EQ(front.events.back().failure, c.failure);
    EXPECT_NE(LinesOf(front.events).back().text, "--------- Verificação finalizada ---------");
  }
}

// A look-up that blocks and ignores every cancel, until the test lets it go.
struct BlockingLookUp {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool released = false;
  bool answered = false;

  std::optional<net::Ipv4Address> Run() {
    std::unique_lock<std::mutex> lock(mutex);
    entered = true;
    changed.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
    answered = true;
    return net::Ipv4Address{{127, 0, 0, 1}};
  }
  void Release() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      released = true;
    }
    changed.notify_all();
  }
  // `field` read under the lock.
  bool Read(const bool& field) {
    const std::lock_guard<std::mutex> lock(mutex);
    return field;
  }
};

// A cancelled run's waits end at their next look, every 20 ms: it is joined well within a second;
// four times that.
constexpr travik::test::Bound kJoinWithin{4000};

TEST(BackgroundRun, CancelledDuringALookUpIsJoinedWhileTheLookUpStillBlocks) {
  const net::SocketLibrary library;
  auto look_up = std::make_shared<BlockingLookUp>();
  RunInputs inputs{Host(), test::FakeTargets(), {}};
  // The helper owns its copy of the function, and with it the shared state.
  inputs.look_up = [look_up](const std::string&) { return look_up->Run(); };
  Front front;
  std::optional<BackgroundRun> run(std::in_place, inputs, SocketProbeClients(inputs.look_up),
                                   front.Wake());
  // However the test ends, the look-ups are let go first, not left for their 30 s.
  struct Release {
    BlockingLookUp& look_up;
    ~Release() { look_up.Release(); }
  } release{*look_up};
  ASSERT_TRUE(front.TakeUntil(
      *run,
      [](const std::vector<RunEvent>& events) {
        return LinesOf(events).size() >= 7;  // the first probe line is up
      },
      "The first probe's line"));
  ASSERT_TRUE(travik::test::WaitUntil([&] { return look_up->Read(look_up->entered); }, kRunWithin,
                                      "The first name look-up"));
  run->Cancel();
  // The run and all of its probes' threads are joined while the look-ups still block; a run that
  // waits for them is let go past the bound.
  travik::test::RunWithin(
      kJoinWithin, "The join of the run cancelled during a look-up", [&run] { run.reset(); },
      [&look_up] { look_up->Release(); });
  EXPECT_FALSE(look_up->Read(look_up->answered)) << "the run did not wait for the look-up";
  look_up->Release();
  // The helpers end by themselves; their answers go nowhere.
  EXPECT_TRUE(travik::test::WaitUntil([&] { return look_up->Read(look_up->answered); }, kRunWithin,
                                      "A look-up's answer once let go"));
  EXPECT_FALSE(HasLastWord(front.events));
}

}  // namespace
}  // namespace travik::core
