#include "core/parallel_probes.h"

#include <chrono>
#include <exception>
#include <memory>
#include <utility>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/socket.h"

namespace travik::core {

TcpProbeOutcome ProbeTcp(TcpProbeClient& client, const NetworkEndpoint& endpoint,
                         std::stop_token stop) {
  TcpProbeOutcome outcome;
  const Clock::time_point start = Clock::now();
  try {
    client.Connect(endpoint.host, endpoint.port, std::move(stop));
  } catch (const net::SocketError& e) {
    outcome.message = e.Message();
    outcome.error = ProbeError{e.Code(), e.Text()};
  } catch (const Error& e) {
    outcome.message = e.Message();
    outcome.error = ProbeError{0, e.Message()};  // an error without a Windows Sockets number
  }
  // Right after the connect, whatever its outcome, and then the connection goes at once.
  outcome.ok = client.Connected();
  if (outcome.ok) outcome.error.reset();
  client.Disconnect();
  outcome.elapsed_ms = MillisecondsSince(start);
  return outcome;
}

FtpProbeOutcome ProbeFtp(FtpProbeClient& client, const net::FtpSettings& settings,
                         std::stop_token stop) {
  FtpProbeOutcome outcome;
  const Clock::time_point start = Clock::now();
  try {
    outcome.login = client.Connect(settings, std::move(stop));
  } catch (const net::FtpReplyError& e) {
    outcome.error = e.Message();
    outcome.reply_code = e.Code();
  } catch (const Error& e) {
    outcome.error = e.Message();
  }
  outcome.elapsed_ms = MillisecondsSince(start);
  return outcome;
}

ParallelProbes::ParallelProbes(const NetworkTargets& targets, const ProbeClients& clients,
                               FtpProbeClient& ftp, std::stop_token run)
    : run_(std::move(run)) {
  threads_.reserve(kTcpProbes + 1);
  for (std::size_t i = 0; i < kTcpProbes; ++i) {
    const NetworkEndpoint& endpoint = targets.Tcp(i);
    std::shared_ptr<TcpProbeClient> client = clients.tcp();
    tcp_[i] = Start<TcpProbeOutcome>([endpoint, client](std::stop_token stop) {
      return ProbeTcp(*client, endpoint, std::move(stop));
    });
  }
  const net::FtpSettings settings = targets.ftp;
  ftp_ = Start<FtpProbeOutcome>(
      [settings, &ftp](std::stop_token stop) { return ProbeFtp(ftp, settings, std::move(stop)); });
  // Made last: a run already stopped stops every probe here, at once.
  relay_.emplace(run_, [this] {
    for (std::jthread& thread : threads_) thread.request_stop();
  });
}

template <typename Outcome, typename Work>
std::future<Outcome> ParallelProbes::Start(Work work) {
  std::promise<Outcome> promise;
  std::future<Outcome> outcome = promise.get_future();
  threads_.emplace_back(
      [this, work = std::move(work), promise = std::move(promise)](std::stop_token stop) mutable {
        try {
          promise.set_value(work(std::move(stop)));
        } catch (...) {
          promise.set_exception(std::current_exception());  // raised again on the run's thread
        }
        // Taken once the waiter has looked or is waiting, so that the wake-up cannot pass it by.
        { const std::lock_guard<std::mutex> lock(mutex_); }
        arrived_.notify_all();
      });
  return outcome;
}

template <typename Outcome>
std::optional<Outcome> ParallelProbes::Await(std::future<Outcome>& outcome) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool in = arrived_.wait(lock, run_, [&outcome] {
      return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    // A stopped run takes no outcome, not even one that is in: it writes nothing more.
    if (!in || run_.stop_requested()) return std::nullopt;
  }
  return outcome.get();
}

std::optional<TcpProbeOutcome> ParallelProbes::AwaitTcp(std::size_t index) {
  return Await(tcp_.at(index));
}

std::optional<FtpProbeOutcome> ParallelProbes::AwaitFtp() {
  return Await(ftp_);
}

}  // namespace travik::core
