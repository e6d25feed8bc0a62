#include "core/background_run.h"

#include <utility>

namespace travik::core {

struct BackgroundRun::State {
  HostFacts host;
  NetworkTargets targets;
  std::unique_ptr<TcpProbeClient> tcp;
  std::unique_ptr<FtpProbeClient> ftp;
  std::shared_ptr<RunListener> listener;
  CancelFlag cancel{false};
  std::atomic<bool> done{false};
};

BackgroundRun::BackgroundRun(HostFacts host, NetworkTargets targets,
                             std::unique_ptr<TcpProbeClient> tcp,
                             std::unique_ptr<FtpProbeClient> ftp,
                             std::shared_ptr<RunListener> listener)
    : state_(std::make_shared<State>()) {
  state_->host = std::move(host);
  state_->targets = std::move(targets);
  state_->tcp = std::move(tcp);
  state_->ftp = std::move(ftp);
  state_->listener = std::move(listener);
  // The thread holds the state as long as it runs, so that it can outlive this object.
  worker_ = std::thread([state = state_] {
    CheckRun run(state->host, state->targets, *state->tcp, *state->ftp, *state->listener,
                 state->cancel);
    CheckResult result = run.Run();
    if (!state->cancel.load()) state->listener->Finished(std::move(result));
    state->done.store(true);
  });
}

BackgroundRun::~BackgroundRun() {
  if (!worker_.joinable()) return;
  if (Done()) {
    worker_.join();
  } else {
    Cancel();
    worker_.detach();
  }
}

void BackgroundRun::Cancel() noexcept {
  state_->cancel.store(true);
}

bool BackgroundRun::Done() const noexcept {
  return state_->done.load();
}

void BackgroundRun::Wait() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace travik::core
