#pragma once
// Probe clients and a log sink for testing the check run without a network or a window. The run
// makes one client per probe and uses each on its own thread; the clients of one run share a
// FakeNetwork, which says how each endpoint answers and counts what the clients did.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/check_run.h"
#include "core/result_json.h"
#include "platform/socket.h"
#include "tests/deadline.h"

namespace travik::core::test {

// The six endpoints of the fake runs, in probing order, by name only: the fakes answer for them,
// nothing is resolved. The FTP server is "ftp.invalid".
inline const char* const kHosts[] = {"b1.invalid", "b2.invalid", "i1.invalid",
                                     "i2.invalid", "i3.invalid", "i4.invalid"};
inline constexpr std::uint16_t kPorts[] = {81, 81, 7500, 7500, 80, 80};
inline constexpr char kFtpHost[] = "ftp.invalid";

inline NetworkTargets FakeTargets() {
  NetworkTargets targets;
  for (std::size_t i = 0; i < NetworkTargets::kTcpEndpoints; ++i)
    targets.Tcp(i) = {kHosts[i], kPorts[i]};
  targets.ftp.host = kFtpHost;
  return targets;
}

// How a fake endpoint answers a TCP probe.
enum class Peer {
  kAccepts,
  kRefuses,       // socket error 10061
  kUnknown,       // socket error 11001
  kClosesAtOnce,  // the connect succeeds, the peer has closed by the time the probe looks
  kBlocks,        // the connect waits until the run is cancelled
  kOutOfMemory,   // the connect raises std::bad_alloc, which no check expects
};

// How the fake FTP server answers: a login reply, or an error to raise.
struct FtpScript {
  std::optional<net::FtpReply> accepted;  // the login is accepted with this reply
  std::optional<int> reply_code;          // else an FtpReplyError with this code and `text`
  std::optional<int> socket_error;        // else a SocketError with this code
  std::string text;                       // else an FtpError with this text
  bool blocks = false;                    // waits until the run is cancelled
};

// A test cancels the run as soon as it has seen what it waits for, well within a second of the
// probe's start: four times that. A probe that waits longer fails the test and gives up, so that
// nothing hangs.
inline constexpr travik::test::Bound kCancelWithin{4000};

inline void WaitForCancel(const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any never_told;  // only the stop wakes it
  std::unique_lock<std::mutex> lock(mutex);
  (void)never_told.wait_for(lock, stop, kCancelWithin, [] { return false; });
  if (!stop.stop_requested()) {
    ADD_FAILURE() << "The run's cancel, in a probe that blocks, did not come within "
                  << kCancelWithin.count() << " ms.";
  }
}

// The order in which the probes finish, by host name: each waits for those before it. Lets a test
// have the outcomes come in an order of its choosing, whatever the threads do.
class FinishOrder {
 public:
  explicit FinishOrder(std::vector<std::string> hosts) : hosts_(std::move(hosts)) {}
  // Waits (not past a cancel) until every host before `host` has finished. The probes run side
  // by side, so a turn comes as soon as the probes before it are done, well within a second:
  // a probe that waits four times that fails the test and goes on.
  void WaitForTurn(const std::string& host, const std::stop_token& stop) {
    const auto place = std::find(hosts_.begin(), hosts_.end(), host);
    const auto turn = static_cast<std::size_t>(place - hosts_.begin());
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, stop, std::chrono::seconds(4),
                           [&] { return finished_ >= turn; }) &&
        !stop.stop_requested()) {
      ADD_FAILURE() << "The turn of " << host << " to finish did not come within 4000 ms.";
    }
  }
  void Finished() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++finished_;
    }
    changed_.notify_all();
  }

 private:
  std::vector<std::string> hosts_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::size_t finished_ = 0;
};

struct FakeNetwork {
  std::map<std::string, Peer> peers;
  FtpScript ftp;
  std::shared_ptr<FinishOrder> order;  // null: every probe finishes at once
  // Milliseconds each TCP connect takes (a probe that takes a known time).
  int connect_ms = 0;

  std::atomic<int> tcp_clients{0};
  std::atomic<int> tcp_disconnects{0};
  std::atomic<int> ftp_disconnects{0};
  std::atomic<int> blocked{0};     // probes (TCP or FTP) that have begun to wait for the cancel
  std::atomic<int> gave_up{0};     // blocked connects that saw the cancel
  std::atomic<int> ftp_logins{0};  // logins the FTP probe had accepted
  std::mutex mutex;
  std::vector<std::string> ftp_hosts;

  [[nodiscard]] Peer PeerOf(const std::string& host) const {
    const auto found = peers.find(host);
    return found == peers.end() ? Peer::kAccepts : found->second;
  }
};

// One TCP probe's client: its own connection state, the network's answers.
class FakeTcp final : public TcpProbeClient {
 public:
  explicit FakeTcp(std::shared_ptr<FakeNetwork> network) : network_(std::move(network)) {
    ++network_->tcp_clients;
  }
  void Connect(const std::string& host, std::uint16_t, std::stop_token stop) override {
    connected_ = false;
    struct Done {
      FinishOrder* order;
      ~Done() {
        if (order != nullptr) order->Finished();
      }
    } done{network_->order.get()};
    if (network_->order) network_->order->WaitForTurn(host, stop);
    if (network_->connect_ms > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(network_->connect_ms));
    }
    switch (network_->PeerOf(host)) {
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
        ++network_->blocked;
        WaitForCancel(stop);
        ++network_->gave_up;
        throw CancelledError();
      case Peer::kOutOfMemory:
        throw std::bad_alloc();
    }
  }
  [[nodiscard]] bool Connected() override { return connected_; }
  void Disconnect() noexcept override {
    connected_ = false;
    ++network_->tcp_disconnects;
  }

 private:
  std::shared_ptr<FakeNetwork> network_;
  bool connected_ = false;
};

class FakeFtp final : public FtpProbeClient {
 public:
  explicit FakeFtp(std::shared_ptr<FakeNetwork> network) : network_(std::move(network)) {}
  std::optional<net::FtpReply> Connect(const net::FtpSettings& settings,
                                       std::stop_token stop) override {
    {
      const std::lock_guard<std::mutex> lock(network_->mutex);
      network_->ftp_hosts.push_back(settings.host);
    }
    struct Done {
      FinishOrder* order;
      ~Done() {
        if (order != nullptr) order->Finished();
      }
    } done{network_->order.get()};
    if (network_->order) network_->order->WaitForTurn(settings.host, stop);
    const FtpScript& script = network_->ftp;
    if (script.blocks) {
      ++network_->blocked;
      WaitForCancel(stop);
      throw CancelledError();
    }
    if (script.accepted) {
      ++network_->ftp_logins;
      return script.accepted;
    }
    if (script.reply_code) throw net::FtpReplyError(*script.reply_code, script.text);
    if (script.socket_error) throw net::SocketError(*script.socket_error);
    throw net::FtpError(script.text);
  }
  void Disconnect() noexcept override { ++network_->ftp_disconnects; }

 private:
  std::shared_ptr<FakeNetwork> network_;
};

inline ProbeClients FakeClients(const std::shared_ptr<FakeNetwork>& network) {
  return {[network] { return std::make_unique<FakeTcp>(network); },
          [network] { return std::make_unique<FakeFtp>(network); }};
}

// What a runner measured around a run, as the JSON and the CSV tests give it.
inline RunMetadata SampleMetadata() {
  RunMetadata m;
  m.version = "1.1.0+g1a2b3c4";
  m.computer = "PC-MESA-07";
  m.user = "KORVENA\\joão";
  m.started = std::chrono::sys_days{std::chrono::year{2026} / 12 / 10} + std::chrono::hours{4} +
              std::chrono::minutes{17} + std::chrono::seconds{27} + std::chrono::milliseconds{5};
  m.duration_ms = 1234;
  return m;
}

// One log operation of a run, as the sink heard it.
struct LogOperation {
  enum class Kind { kClear, kAppend, kReplaceLast };
  Kind kind;
  LogLine line;
  friend bool operator==(const LogOperation&, const LogOperation&) = default;
};

// Keeps what the run did to the log: every operation, and the lines as the window would show them.
class RecordingSink final : public LogSink {
 public:
  void Clear() override {
    operations_.push_back({LogOperation::Kind::kClear, {}});
    lines_.clear();
  }
  void Append(const LogLine& line) override {
    operations_.push_back({LogOperation::Kind::kAppend, line});
    lines_.push_back(line);
  }
  void ReplaceLast(const LogLine& line) override {
    operations_.push_back({LogOperation::Kind::kReplaceLast, line});
    if (!lines_.empty()) lines_.back() = line;
  }
  [[nodiscard]] const std::vector<LogLine>& Lines() const { return lines_; }
  [[nodiscard]] const std::vector<LogOperation>& Operations() const { return operations_; }

 private:
  std::vector<LogLine> lines_{{"mList", false}};
  std::vector<LogOperation> operations_;
};

// A whole run on this thread with the fakes.
inline CheckResult RunWithFakes(const HostFacts& host, const NetworkTargets& targets,
                                const std::shared_ptr<FakeNetwork>& network, LogSink& sink) {
  const RunInputs inputs{host, targets, {}};
  const ProbeClients clients = FakeClients(network);
  CheckRun run(inputs, clients, sink, std::stop_token{});
  return run.Run();
}

}  // namespace travik::core::test
