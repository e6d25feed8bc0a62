#pragma once
// The network probes of a run, side by side: each TCP probe and the FTP probe on a std::jthread of
// its own with a client of its own, started together. A TCP probe makes its open check and
// disconnects on its own thread as soon as its connect ends, so that no connection is held open
// while another probe waits. Each outcome is a std::future; the run's thread takes them in its
// fixed order, waiting on a condition variable that an outcome coming in or the run's stop wakes
// (a future alone cannot be waited on together with a stop token).
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/check_result.h"
#include "core/check_run.h"
#include "core/probes.h"

namespace travik::core {

struct TcpProbeOutcome {
  bool ok = false;                     // open right after the connect
  std::optional<std::string> message;  // the text of the error the connect raised
  std::optional<ProbeError> error;     // that error as the result keeps it
  std::int64_t elapsed_ms = 0;         // look-up, connect, open check and disconnect
};

struct FtpProbeOutcome {
  std::optional<net::FtpReply> login;  // the reply that accepted the login
  std::optional<std::string> error;    // the text of the error the connect raised
  std::optional<int> reply_code;       // the code of a reply that turned the connect down
  std::int64_t elapsed_ms = 0;
};

// One TCP probe as a run makes it, on the calling thread: the connect, the open check right after
// it whatever its outcome, the disconnect. Raises only what no probe expects (not travik::Error).
[[nodiscard]] TcpProbeOutcome ProbeTcp(TcpProbeClient& client, const NetworkEndpoint& endpoint,
                                       std::stop_token stop);
// The FTP probe as a run makes it: connect and log in. A login that succeeds stays open.
[[nodiscard]] FtpProbeOutcome ProbeFtp(FtpProbeClient& client, const net::FtpSettings& settings,
                                       std::stop_token stop);

class ParallelProbes {
 public:
  static constexpr std::size_t kTcpProbes = NetworkTargets::kTcpEndpoints;

  // Makes the TCP clients and starts every probe; `ftp` is used by its probe's thread until the
  // outcome is in, and is the caller's again afterwards. A stop requested on `run` stops every
  // probe still going. Raises std::system_error when a thread cannot be started (those already
  // started are stopped and joined first).
  ParallelProbes(const NetworkTargets& targets, const ProbeClients& clients, FtpProbeClient& ftp,
                 std::stop_token run);
  // Stops the probes still going and joins every thread.
  ~ParallelProbes() = default;
  ParallelProbes(const ParallelProbes&) = delete;
  ParallelProbes& operator=(const ParallelProbes&) = delete;

  // The outcome of TCP probe `index` (in endpoint order), once it is in; nothing when the run's
  // stop is requested first. A probe that failed in an unexpected way raises its error here.
  // Each outcome is taken once.
  [[nodiscard]] std::optional<TcpProbeOutcome> AwaitTcp(std::size_t index);
  [[nodiscard]] std::optional<FtpProbeOutcome> AwaitFtp();

 private:
  template <typename Outcome, typename Work>
  [[nodiscard]] std::future<Outcome> Start(Work work);
  template <typename Outcome>
  [[nodiscard]] std::optional<Outcome> Await(std::future<Outcome>& outcome);

  std::stop_token run_;
  std::mutex mutex_;                     // orders the wake-ups below with the waiter's look
  std::condition_variable_any arrived_;  // an outcome is in
  std::array<std::future<TcpProbeOutcome>, kTcpProbes> tcp_;
  std::future<FtpProbeOutcome> ftp_;
  std::vector<std::jthread> threads_;  // on the way out each is asked to stop, then joined
  // The run's stop, handed to every probe's thread; gone before the threads are joined.
  std::optional<std::stop_callback<std::function<void()>>> relay_;
};

}  // namespace travik::core
