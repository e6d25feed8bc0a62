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

#include "tests/core/fake_probes.h"

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

// What the window does: wait for a wake-up, take the queue, keep every event.
class Front {
 public:
  BackgroundRun::Wake Wake() {
    return [this] {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++wakes_;
      }
      woken_.notify_all();
    };
  }
  // Takes what is queued each time it is woken, until `done` holds for all taken (bounded).
  template <typename Predicate>
  bool TakeUntil(BackgroundRun& run, Predicate done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done(events)) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!woken_.wait_until(lock, until, [&] { return wakes_ > taken_wakes_; })) return false;
      taken_wakes_ = wakes_;
      lock.unlock();
      for (RunEvent& event : run.Take()) events.push_back(std::move(event));
    }
    return true;
  }
  [[nodiscard]] int Wakes() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return wakes_;
  }
  std::vector<RunEvent> events;

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  int wakes_ = 0;
  int taken_wakes_ = 0;
};

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
  ASSERT_TRUE(front.TakeUntil(run, HasLastWord));
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
      ASSERT_TRUE(front.TakeUntil(run, [&](const std::vector<RunEvent>& events) {
        const std::vector<LogLine> lines = LinesOf(events);
        return !lines.empty() && lines.back().text == c.waiting_on;
      }));
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
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (front.Wakes() == 0 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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
        ASSERT_TRUE(front.TakeUntil(run, [](const std::vector<RunEvent>& events) {
          const std::vector<LogLine> lines = LinesOf(events);
          return !lines.empty() && lines.back().text == "Testando conexão em i4.invalid:80...";
        }));
        run.Cancel();
      } else {
        ASSERT_TRUE(front.TakeUntil(run, HasLastWord));
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
    ASSERT_TRUE(front.TakeUntil(run, HasLastWord));
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
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
    answered = true;
    changed.notify_all();
    return net::Ipv4Address{{127, 0, 0, 1}};
  }
};

TEST(BackgroundRun, CancelledDuringALookUpIsJoinedWhileTheLookUpStillBlocks) {
  const net::SocketLibrary library;
  auto look_up = std::make_shared<BlockingLookUp>();
  RunInputs inputs{Host(), test::FakeTargets(), {}};
  // The helper owns its copy of the function, and with it the shared state.
  inputs.look_up = [look_up](const std::string&) { return look_up->Run(); };
  Front front;
  {
    BackgroundRun run(inputs, SocketProbeClients(inputs.look_up), front.Wake());
    ASSERT_TRUE(front.TakeUntil(run, [](const std::vector<RunEvent>& events) {
      return LinesOf(events).size() >= 7;  // the first probe line is up
    }));
    {
      std::unique_lock<std::mutex> lock(look_up->mutex);
      ASSERT_TRUE(look_up->changed.wait_for(lock, std::chrono::seconds(20),
                                            [&] { return look_up->entered; }));
    }
    run.Cancel();
  }  // the run and all of its probes' threads are joined here
  {
    const std::lock_guard<std::mutex> lock(look_up->mutex);
    EXPECT_FALSE(look_up->answered) << "the run did not wait for the look-up";
    look_up->released = true;
  }
  look_up->changed.notify_all();
  // The helpers end by themselves; their answers go nowhere.
  std::unique_lock<std::mutex> lock(look_up->mutex);
  EXPECT_TRUE(
      look_up->changed.wait_for(lock, std::chrono::seconds(20), [&] { return look_up->answered; }));
  EXPECT_FALSE(HasLastWord(front.events));
}

}  // namespace
}  // namespace travik::core
