#include "core/background_run.h"

#include <exception>
#include <utility>

namespace travik::core {

BackgroundRun::BackgroundRun(RunInputs inputs, ProbeClients clients, Wake wake)
    : inputs_(std::move(inputs)), clients_(std::move(clients)), wake_(std::move(wake)) {
  worker_ = std::jthread([this](const std::stop_token& stop) { Work(stop); });
}

BackgroundRun::~BackgroundRun() {
  if (!Finished()) Cancel();
  StopWaking();
  if (worker_.joinable()) worker_.join();
  run_.reset();  // "QUIT" for a login that succeeded
}

void BackgroundRun::Cancel() noexcept {
  worker_.request_stop();
}

void BackgroundRun::StopWaking() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  wake_ = nullptr;
}

std::vector<RunEvent> BackgroundRun::Take() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(queue_, {});
}

bool BackgroundRun::Finished() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

void BackgroundRun::Push(RunEvent event) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const bool last = event.IsLastWord();
  if (finished_) return;  // nothing follows the last word
  queue_.push_back(std::move(event));
  if (last) finished_ = true;
  if (queue_.size() == 1 && wake_) wake_();
}

void BackgroundRun::Clear() {
  Push({RunEvent::Kind::kClear, {}, {}, {}});
}

void BackgroundRun::Append(const LogLine& line) {
  Push({RunEvent::Kind::kAppend, line, {}, {}});
}

void BackgroundRun::ReplaceLast(const LogLine& line) {
  Push({RunEvent::Kind::kReplaceLast, line, {}, {}});
}

void BackgroundRun::Work(const std::stop_token& stop) noexcept {
  std::string failure;
  try {
    run_.emplace(inputs_, clients_, static_cast<LogSink&>(*this), stop);
    CheckResult result = run_->Run();
    if (!stop.stop_requested()) Push({RunEvent::Kind::kFinished, {}, std::move(result), {}});
    return;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unexpected error.";
  }
  try {
    Push({RunEvent::Kind::kFailed, {}, {}, std::move(failure)});
  } catch (...) {
    // Not even the failure can be queued (no memory left): the run stays unfinished.
  }
}

}  // namespace travik::core
