#pragma once
// A check run on a thread of its own, for a front end that must keep answering meanwhile.
// The run owns its state (facts, targets, probes) and tells its listener, on its own thread,
// each log operation and then the result. Cancel() abandons it: its steps stop and its waits end
// at their next look. A wait that cannot be cut short (a name lookup in progress) is not waited
// for: the object can be destroyed at once, and the thread ends by itself later.
#include <atomic>
#include <memory>
#include <thread>

#include "core/check_run.h"

namespace travik::core {

class RunListener : public LogSink {
 public:
  // The run's last word; not called for a run that was abandoned.
  virtual void Finished(CheckResult result) = 0;
};

class BackgroundRun {
 public:
  BackgroundRun(HostFacts host, NetworkTargets targets, std::unique_ptr<TcpProbeClient> tcp,
                std::unique_ptr<FtpProbeClient> ftp, std::shared_ptr<RunListener> listener);
  // Abandons a run still going; ends the FTP session of a finished one.
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  void Cancel() noexcept;
  // The worker has returned (after Finished, or after giving up when cancelled).
  [[nodiscard]] bool Done() const noexcept;
  // Waits for the worker. Only where its end is known to come: a finished run, or a cancelled
  // one whose probes all honour the cancel flag.
  void Wait();

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::thread worker_;
};

}  // namespace travik::core
