#pragma once
// Probes and a log sink for testing the check run without a network or a window.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/background_run.h"
#include "platform/socket.h"

namespace travik::core::test {

// The six endpoints of the fake runs, in probing order, by name only: the fakes answer for them,
// nothing is resolved. The FTP server is "ftp.invalid".
inline const char* const kHosts[] = {"b1.invalid", "b2.invalid", "i1.invalid",
                                     "i2.invalid", "i3.invalid", "i4.invalid"};
inline constexpr std::uint16_t kPorts[] = {81, 81, 7500, 7500, 80, 80};

inline NetworkTargets FakeTargets() {
  NetworkTargets targets;
  for (std::size_t i = 0; i < 2; ++i) targets.broadcast[i] = {kHosts[i], kPorts[i]};
  for (std::size_t i = 0; i < 4; ++i) targets.international[i] = {kHosts[i + 2], kPorts[i + 2]};
  targets.ftp.host = "ftp.invalid";
  return targets;
}

// How a fake endpoint answers a TCP probe.
enum class Peer {
  kAccepts,
  kRefuses,       // socket error 10061
  kUnknown,       // socket error 11001
  kClosesAtOnce,  // the connect succeeds, the peer has closed by the time the probe looks
  kBlocks,        // the connect waits until the run is cancelled
};

class FakeTcp final : public TcpProbeClient {
 public:
  explicit FakeTcp(std::map<std::string, Peer> peers,
                   std::shared_ptr<std::atomic<bool>> gave_up = nullptr)
      : peers_(std::move(peers)), gave_up_(std::move(gave_up)) {}
  void Connect(const std::string& host, std::uint16_t, const CancelFlag& cancel) override {
    connected_ = false;
    const auto found = peers_.find(host);
    const Peer peer = found == peers_.end() ? Peer::kAccepts : found->second;
    switch (peer) {
      case Peer::kAccepts:
        connected_ = true;
        return;
      case Peer::kRefuses:
        throw net::SocketError(net::kErrConnRefused);
      case Peer::kUnknown:
        throw net::SocketError(net::kErrHostNotFound);
      case Peer::kClosesAtOnce:
        return;
      case Peer::kBlocks:
        WaitForCancel(cancel);
        if (gave_up_) gave_up_->store(true);
        throw Error("Cancelled.");
    }
  }
  [[nodiscard]] bool Connected() override { return connected_; }
  void Disconnect() noexcept override {
    connected_ = false;
    ++disconnects;
  }
  int disconnects = 0;

  // Bounded: a test that forgets to cancel fails instead of hanging.
  static void WaitForCancel(const CancelFlag& cancel) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cancel.load() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 private:
  std::map<std::string, Peer> peers_;
  std::shared_ptr<std::atomic<bool>> gave_up_;  // set when a blocked connect gives up
  bool connected_ = false;
};

// How the fake FTP server answers: a login reply, or an error to raise.
struct FtpScript {
  std::optional<net::FtpReply> accepted;  // the login is accepted with this reply
  std::optional<int> reply_code;          // else an FtpReplyError with this code and `text`
  std::optional<int> socket_error;        // else a SocketError with this code
  std::string text;                       // else an FtpError with this text
  bool blocks = false;                    // waits until the run is cancelled
};

class FakeFtp final : public FtpProbeClient {
 public:
  explicit FakeFtp(FtpScript script) : script_(std::move(script)) {}
  std::optional<net::FtpReply> Connect(const net::FtpSettings& settings,
                                       const CancelFlag& cancel) override {
    hosts.push_back(settings.host);
    if (script_.blocks) {
      FakeTcp::WaitForCancel(cancel);
      throw Error("Cancelled.");
    }
    if (script_.accepted) return script_.accepted;
    if (script_.reply_code) throw net::FtpReplyError(*script_.reply_code, script_.text);
    if (script_.socket_error) throw net::SocketError(*script_.socket_error);
    throw net::FtpError(script_.text);
  }
  void Disconnect() noexcept override {}
  std::vector<std::string> hosts;

 private:
  FtpScript script_;
};

// Keeps what the run did to the log, as the window would show it; safe across threads.
class RecordingSink final : public RunListener {
 public:
  void Clear() override {
    Do([&] { lines_.clear(); });
  }
  void Append(const LogLine& line) override {
    Do([&] { lines_.push_back(line); });
  }
  void ReplaceLast(const LogLine& line) override {
    Do([&] {
      if (!lines_.empty()) lines_.back() = line;
    });
  }
  void Finished(CheckResult result) override {
    Do([&] {
      ++finished_;
      result_ = std::move(result);
    });
  }

  [[nodiscard]] std::vector<LogLine> Lines() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  [[nodiscard]] int Operations() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return operations_;
  }
  [[nodiscard]] int FinishedCount() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
  }
  [[nodiscard]] std::optional<CheckResult> Result() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return result_;
  }
  // Waits, bounded, until `done` holds for the lines.
  template <typename Predicate>
  bool WaitFor(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(lines_); });
  }

 private:
  template <typename Change>
  void Do(Change change) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      change();
      ++operations_;
    }
    changed_.notify_all();
  }
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<LogLine> lines_{{"mList", false}};
  int operations_ = 0;
  int finished_ = 0;
  std::optional<CheckResult> result_;
};

}  // namespace travik::core::test
