// A stop asked for while the network layer waits ends the wait at its next look with
// "Cancelled.", and the thread that waited can be joined: a name look-up that never answers, a
// connect that hangs, a read of a server that says nothing. Only loopback and names under
// .invalid are used.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/ftp_client.h"
#include "platform/socket.h"
#include "platform/tcp_client.h"
#include "tests/deadline.h"
#include "tests/native/loopback_waits.h"
#include "tests/native/scripted_ftp_server.h"

namespace travik::net {
namespace {

// A look-up that answers only once it is let go. What it shares with the test it owns with the
// test, so that the look-up's helper, which nobody joins, may end after the test.
class HeldLookUp {
 public:
  HeldLookUp() = default;
  HeldLookUp(const HeldLookUp&) = delete;
  HeldLookUp& operator=(const HeldLookUp&) = delete;
  ~HeldLookUp() { Release(); }

  [[nodiscard]] LookUp Function() const {
    return [state = state_](const std::string&) -> std::optional<Ipv4Address> {
      std::unique_lock<std::mutex> lock(state->mutex);
      state->asked = true;
      state->changed.notify_all();
      state->changed.wait(lock, [&state] { return state->released; });
      return std::nullopt;
    };
  }
  [[nodiscard]] bool Asked() const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->asked;
  }
  void Release() {
    {
      const std::lock_guard<std::mutex> lock(state_->mutex);
      state_->released = true;
    }
    state_->changed.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool asked = false;
    bool released = false;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST(StopRequest, EndsEachKindOfWaitWithCancelled) {
  const SocketLibrary library;
  HeldLookUp held;
  test::FullBacklogListener hanging;
  test::ScriptedFtpServer silent({{"<silent>"}});
  FtpSettings settings;
  settings.host = "127.0.0.1";
  settings.port = silent.Port();
  settings.connect_timeout_ms = 5000;
  settings.read_timeout_ms = 60000;  // far past the bound below: only the stop can end the read
  std::atomic<bool> connecting{false};

  struct Case {
    const char* wait;
    std::function<void(const std::stop_token&)> run;
    std::function<bool()> waiting;  // the wait is under way
    std::function<void()> unblock;  // ends it by the test's own means, should the stop not
  };
  const Case cases[] = {
      {"a name look-up that never answers",
       [&](const std::stop_token& stop) {
         (void)ResolveIpv4("held.invalid", held.Function(), stop);
       },
       [&] { return held.Asked(); }, [&] { held.Release(); }},
      {"a connect that hangs",
       [&](const std::stop_token& stop) {
         TcpClient client;
         connecting = true;
         client.Connect("127.0.0.1", hanging.Port(), stop);
       },
       [&] { return connecting.load(); }, [&] { hanging.Close(); }},
      {"a read of a server that says nothing",
       [&](const std::stop_token& stop) {
         FtpClient client;
         client.Connect(settings, stop);
       },
       [&] { return silent.Accepted() == 1; }, [&] { silent.Stop(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wait);
    std::string error = "(none)";
    std::jthread waiter([&](const std::stop_token& stop) {
      try {
        c.run(stop);
      } catch (const Error& e) {
        error = e.Message();
      }
    });
    // Each comes at once on loopback: a second, four times over.
    test::WaitUntil(c.waiting, std::chrono::seconds(4), "The wait");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // well into the wait
    waiter.request_stop();
    // The wait looks at the stop every 20 ms at the most, or is woken by it: a second, four
    // times over.
    test::RunWithin(
        std::chrono::seconds(4), "The stopped wait", [&] { waiter.join(); }, c.unblock);
    EXPECT_EQ(error, "Cancelled.");
  }
}

}  // namespace
}  // namespace travik::net
