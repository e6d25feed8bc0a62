#include "core/parallel_probes.h"

#include <chrono>
#include <memory>
#include <utility>

#include "core/check_run.h"
#include "platform/error.h"
#include "platform/socket.h"

namespace travik::core {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// "Socket Error # 10061" CR LF "Connection refused." gives 10061 and "Connection refused.".
ProbeError ProbeErrorOf(const Error& error) {
  if (const auto* socket = dynamic_cast<const net::SocketError*>(&error)) {
    const std::string message = socket->Message();
    const std::size_t text = message.find("\r\n");
    return {socket->Code(), text == std::string::npos ? std::string() : message.substr(text + 2)};
  }
  return {0, error.Message()};
}

TcpProbeOutcome ProbeTcp(TcpProbeClient& client, const NetworkEndpoint& endpoint,
                         const CancelFlag& stop) {
  TcpProbeOutcome outcome;
  const Clock::time_point start = Clock::now();
  try {
    client.Connect(endpoint.host, endpoint.port, stop);
  } catch (const Error& e) {
    outcome.message = e.Message();
    outcome.error = ProbeErrorOf(e);
  }
  // Right after the connect, whatever its outcome, and then the connection goes at once.
  outcome.ok = client.Connected();
  if (outcome.ok) outcome.error.reset();
  client.Disconnect();
  outcome.elapsed_ms = MillisecondsSince(start);
  return outcome;
}

FtpProbeOutcome ProbeFtp(FtpProbeClient& client, const net::FtpSettings& settings,
                         const CancelFlag& stop) {
  FtpProbeOutcome outcome;
  const Clock::time_point start = Clock::now();
  try {
    outcome.login = client.Connect(settings, stop);
  } catch (const Error& e) {
    outcome.error = e.Message();
    if (const auto* rejected = dynamic_cast<const net::FtpReplyError*>(&e)) {
      outcome.reply_code = rejected->Code();
    }
  }
  outcome.elapsed_ms = MillisecondsSince(start);
  return outcome;
}

}  // namespace

ParallelProbes::JoinedThreads::~JoinedThreads() {
  stop_.store(true);
  for (std::thread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
}

ParallelProbes::ParallelProbes(const NetworkTargets& targets, const ProbeClients& clients,
                               FtpProbeClient& ftp) {
  threads_.threads.reserve(kTcpProbes + 1);
  for (std::size_t i = 0; i < kTcpProbes; ++i) {
    const NetworkEndpoint endpoint = i < targets.broadcast.size()
                                         ? targets.broadcast[i]
                                         : targets.international[i - targets.broadcast.size()];
    std::shared_ptr<TcpProbeClient> client = clients.tcp();
    Start(tcp_[i], [this, endpoint, client] { return ProbeTcp(*client, endpoint, stop_); });
  }
  const net::FtpSettings settings = targets.ftp;
  Start(ftp_, [this, settings, &ftp] { return ProbeFtp(ftp, settings, stop_); });
}

ParallelProbes::~ParallelProbes() = default;  // threads_ stops and joins

template <typename Outcome, typename Work>
void ParallelProbes::Start(Slot<Outcome>& slot, Work work) {
  threads_.threads.emplace_back([this, &slot, work = std::move(work)] {
    std::optional<Outcome> outcome;
    std::exception_ptr failure;
    try {
      outcome = work();
    } catch (...) {
      failure = std::current_exception();  // raised again on the run's thread
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      slot.outcome = std::move(outcome);
      slot.failure = failure;
    }
    arrived_.notify_all();
  });
}

template <typename Outcome>
std::optional<Outcome> ParallelProbes::Await(Slot<Outcome>& slot, const CancelFlag& cancel) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // A cancelled run takes no outcome, not even one that is in: it writes nothing more.
    if (cancel.load()) {
      stop_.store(true);  // the probes still going give up at their next look
      return std::nullopt;
    }
    if (slot.Ready()) break;
    arrived_.wait_for(lock, std::chrono::milliseconds(net::kWaitSliceMs));
  }
  if (slot.failure) std::rethrow_exception(slot.failure);
  return slot.outcome;
}

std::optional<TcpProbeOutcome> ParallelProbes::AwaitTcp(std::size_t index,
                                                        const CancelFlag& cancel) {
  return Await(tcp_.at(index), cancel);
}

std::optional<FtpProbeOutcome> ParallelProbes::AwaitFtp(const CancelFlag& cancel) {
  return Await(ftp_, cancel);
}

}  // namespace travik::core
