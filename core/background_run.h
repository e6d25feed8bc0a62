#pragma once
// A check run on a thread of its own, for a front end that must keep answering meanwhile. What
// the run writes reaches the front end through a queue under a lock: each log operation, then,
// as the last item, the result (or the failure of a run that met something unexpected). When the
// queue turns non-empty the run calls `wake`, which carries no data (the window posts itself a
// message and takes the queue when it comes). The run's thread is a std::jthread whose stop
// token is the run's: every wait of the run, down to the sockets, ends on it. Every thread a run
// starts is joined; only a name look-up's helper is left to end by itself.
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/check_run.h"

namespace travik::core {

struct RunEvent {
  enum class Kind { kClear, kAppend, kReplaceLast, kFinished, kFailed };
  Kind kind = Kind::kAppend;
  LogLine line;                       // kAppend, kReplaceLast
  std::optional<CheckResult> result;  // kFinished
  std::string failure;                // kFailed: what went wrong, for the person

  // The result or the failure: the run has nothing more to say after it.
  [[nodiscard]] bool IsLastWord() const { return kind == Kind::kFinished || kind == Kind::kFailed; }
};

class BackgroundRun final : private LogSink {
 public:
  // Called on the run's thread, under its lock, when the queue turns non-empty: it must only
  // signal (post a message), never block or call back into the run.
  using Wake = std::function<void()>;

  BackgroundRun(RunInputs inputs, ProbeClients clients, Wake wake);
  // Cancels a run that has not finished, joins its thread and ends the FTP session of a login that
  // succeeded (also of a run cancelled after it).
  ~BackgroundRun() override;
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  // Asks the run to stop: its steps stop and its waits end.
  void Cancel() noexcept;
  // The front end is going: `wake` is never called again.
  void StopWaking() noexcept;
  // Everything queued since the last call, in order.
  [[nodiscard]] std::vector<RunEvent> Take();
  // The result, or the failure, is queued: the run has nothing more to say.
  [[nodiscard]] bool Finished() const;

 private:
  // What the run writes goes to the queue.
  void Clear() override;
  void Append(const LogLine& line) override;
  void ReplaceLast(const LogLine& line) override;
  void Work(const std::stop_token& stop) noexcept;
  void Push(RunEvent event);

  RunInputs inputs_;
  ProbeClients clients_;

  mutable std::mutex mutex_;
  std::vector<RunEvent> queue_;
  Wake wake_;
  bool finished_ = false;

  std::optional<CheckRun> run_;  // made and used on the run's thread; ended after it is joined
  std::jthread worker_;          // last: started when everything it uses exists
};

}  // namespace travik::core
