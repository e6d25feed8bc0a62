#pragma once
// The network probes of a run, side by side: each TCP probe and the FTP probe on a thread of its
// own with a client of its own, started together. A TCP probe makes its open check and
// disconnects on its own thread as soon as its connect ends, so that no connection is held open
// while another probe waits. The run's thread takes the outcomes in its fixed order.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/check_result.h"
#include "core/probes.h"

namespace travik::core {

struct NetworkTargets;

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

class ParallelProbes {
 public:
  static constexpr std::size_t kTcpProbes = 6;

  // Makes the TCP clients and starts every probe; `ftp` is used by its probe's thread until the
  // outcome is in, and is the caller's again afterwards. Raises std::system_error when a thread
  // cannot be started (those already started are stopped and joined first).
  ParallelProbes(const NetworkTargets& targets, const ProbeClients& clients, FtpProbeClient& ftp);
  // Tells the probes still going to give up and joins every thread.
  ~ParallelProbes();
  ParallelProbes(const ParallelProbes&) = delete;
  ParallelProbes& operator=(const ParallelProbes&) = delete;

  // The outcome of TCP probe `index` (in endpoint order), once it is in; nothing when `cancel` is
  // set first. A probe that failed in an unexpected way raises its error here.
  [[nodiscard]] std::optional<TcpProbeOutcome> AwaitTcp(std::size_t index,
                                                        const CancelFlag& cancel);
  [[nodiscard]] std::optional<FtpProbeOutcome> AwaitFtp(const CancelFlag& cancel);

 private:
  template <typename Outcome>
  struct Slot {
    std::optional<Outcome> outcome;
    std::exception_ptr failure;
    [[nodiscard]] bool Ready() const { return outcome.has_value() || failure != nullptr; }
  };

  // Stops and joins its threads on every way out, the constructor's failure included.
  class JoinedThreads {
   public:
    explicit JoinedThreads(CancelFlag& stop) : stop_(stop) {}
    ~JoinedThreads();
    JoinedThreads(const JoinedThreads&) = delete;
    JoinedThreads& operator=(const JoinedThreads&) = delete;
    std::vector<std::thread> threads;

   private:
    CancelFlag& stop_;
  };

  template <typename Outcome, typename Work>
  void Start(Slot<Outcome>& slot, Work work);
  template <typename Outcome>
  [[nodiscard]] std::optional<Outcome> Await(Slot<Outcome>& slot, const CancelFlag& cancel);

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::array<Slot<TcpProbeOutcome>, kTcpProbes> tcp_;
  Slot<FtpProbeOutcome> ftp_;
  CancelFlag stop_{false};  // what the probes look at: set once the run is cancelled or ends
  JoinedThreads threads_{stop_};
};

}  // namespace travik::core
