// How long the window takes to answer while it is idle and while a check run is going on.
//
// The real window (TFrmTravik) is built in this process with every endpoint on loopback. A
// sampler thread sends it WM_NULL with SendMessageTimeoutW, over and over with a short pause in
// between, and keeps the time each one took to be answered; meanwhile this thread, the window's,
// handles its messages until the run ends (or, when idle, for a fixed time), as travik.exe's
// message loop does. A slow answer is what a person sees as a window that does not respond.
//   idle         the window on its first page, nothing running;
//   silent FTP   one run whose FTP server (a loopback server that accepts and never sends) keeps
//                the probe waiting for its greeting until the read time-out (kSilentReadMs);
//   TCP probes   runs whose six TCP probes go to a loopback server that accepts, FTP refused:
//                the samples answered after each click, until "Próximo" is enabled.
// Each run starts in a fresh window, whose click loads RichEdit for the log as in travik.exe. For
// each, the median and the worst answer and the count of samples are printed (and the count of
// sends that got no answer within kSendTimeoutMs, if any).
//   respond_bench.exe [TCP-probe rounds]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "bench/windows/bench_figures.h"
#include "bench/windows/bench_window.h"
#include "bench/windows/loopback_server.h"
#include "tests/windows/gui_test_support.h"

namespace {

using namespace travik;
using namespace travik::bench;

constexpr int kDefaultRounds = 30;
constexpr int kMaxRounds = 500;
constexpr int kIdleMs = 2000;
constexpr int kSilentReadMs = 3000;
constexpr int kRunLimitMs = 20000;  // one run, click to "Próximo"
constexpr double kRoundsBudgetMs = 60000.0;
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPauseMs = 2;  // between two samples
constexpr std::size_t kMaxSamples = 20000;

struct Sample {
  Clock::time_point sent;
  Clock::time_point answered;
  bool ok;
};

// Sends WM_NULL to the window from a thread of its own until stopped, kMaxSamples are taken or
// `limit_ms` has passed.
class Sampler {
 public:
  Sampler(HWND window, int limit_ms)
      : window_(window),
        deadline_(Clock::now() + std::chrono::milliseconds(limit_ms)),
        thread_([this] { Run(); }) {}
  ~Sampler() { Stop(); }
  Sampler(const Sampler&) = delete;
  Sampler& operator=(const Sampler&) = delete;

  [[nodiscard]] std::size_t Count() const { return count_.load(); }

  // Stops the thread and returns its samples. The window's thread keeps handling messages while
  // it waits, so that a send in progress gets its answer.
  std::vector<Sample> Stop() {
    if (!thread_.joinable()) return {};
    stop_ = true;
    test::PumpUntil([this] { return finished_.load(); }, static_cast<int>(kSendTimeoutMs) + 1000);
    thread_.join();
    return std::move(samples_);
  }

 private:
  void Run() {
    samples_.reserve(1024);
    while (!stop_ && samples_.size() < kMaxSamples && Clock::now() < deadline_) {
      DWORD_PTR result = 0;
      const Clock::time_point sent = Clock::now();
      const bool ok =
          SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &result) != 0;
      samples_.push_back({sent, Clock::now(), ok});
      count_.store(samples_.size());
      Sleep(kPauseMs);
    }
    finished_ = true;
  }

  HWND window_;
  Clock::time_point deadline_;
  std::vector<Sample> samples_;
  std::atomic<std::size_t> count_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::thread thread_;  // last: starts once everything above is ready
};

struct Answers {
  std::vector<double> ms;
  std::size_t unanswered = 0;
  void Add(const std::vector<Sample>& samples, Clock::time_point from) {
    for (const Sample& s : samples) {
      if (s.answered < from) continue;
      if (s.ok) {
        ms.push_back(MillisecondsBetween(s.sent, s.answered));
      } else {
        ++unanswered;
      }
    }
  }
};

void Print(const char* name, const Answers& answers, const std::string& note) {
  std::string count = "n=" + std::to_string(answers.ms.size());
  if (answers.unanswered > 0) count += ", " + std::to_string(answers.unanswered) + " unanswered";
  std::printf("respond  %-12s median %7.2f ms  worst %8.2f ms  (%s)%s\n", name, Median(answers.ms),
              Worst(answers.ms), count.c_str(), note.c_str());
}

// The window answers the sampler once before anything is timed.
bool WaitForFirstAnswer(const Sampler& sampler) {
  return test::PumpUntil([&sampler] { return sampler.Count() > 0; }, 5000);
}

bool Idle(const core::NetworkEndpoint& tcp, std::uint16_t ftp_port, Answers& answers) {
  auto recorded = std::make_shared<test::Recorded>();
  std::unique_ptr<TFrmTravik> form = test::OpenWindow(BenchSetup(tcp, ftp_port, recorded));
  if (form == nullptr) return false;
  test::PumpUntil([] { return false; }, 20);
  Sampler sampler(form->Handle(), kIdleMs + 5000);
  if (!WaitForFirstAnswer(sampler)) return false;
  const Clock::time_point from = Clock::now();
  test::PumpUntil([] { return false; }, kIdleMs);
  answers.Add(sampler.Stop(), from);
  CloseWindow(form);
  return true;
}

// One run; the samples answered from the click on, until "Próximo" is enabled. The run's length
// goes to `run_ms`.
bool DuringRun(ProgramSetup setup, Answers& answers, double& run_ms) {
  std::unique_ptr<TFrmTravik> form = test::OpenWindow(std::move(setup));
  if (form == nullptr) return false;
  const HWND window = form->Handle();
  const HWND next = test::FindControl(window, ids::kBtnNext);
  test::PumpUntil([] { return false; }, 20);
  Sampler sampler(window, kRunLimitMs + 5000);
  if (!WaitForFirstAnswer(sampler)) return false;
  const Clock::time_point click = Clock::now();
  test::Click(window, ids::kBtnStart);
  const bool ended = test::PumpUntil([next] { return IsWindowEnabled(next) != 0; }, kRunLimitMs);
  run_ms = MillisecondsBetween(click, Clock::now());
  answers.Add(sampler.Stop(), click);
  CloseWindow(form);
  if (!ended) std::fprintf(stderr, "the run did not end in time\n");
  return ended;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<int> rounds_asked = CountArgument(argc, argv, kDefaultRounds, kMaxRounds);
  if (!rounds_asked) return 2;
  const int rounds = *rounds_asked;
  try {
    const WindowServices services;
    LoopbackServer tcp_server(std::chrono::seconds(120));
    LoopbackServer silent_ftp(std::chrono::seconds(120));
    const std::uint16_t refused_port = test::RefusedEndpoint().port;

    Answers idle;
    if (!Idle(tcp_server.Endpoint(), refused_port, idle)) return 1;
    Print("idle", idle, "");

    Answers silent;
    double silent_run_ms = 0;
    ProgramSetup setup =
        BenchSetup(tcp_server.Endpoint(), silent_ftp.Port(), std::make_shared<test::Recorded>());
    setup.run.targets.ftp.read_timeout_ms = kSilentReadMs;
    if (!DuringRun(std::move(setup), silent, silent_run_ms)) return 1;
    char note[96];
    std::snprintf(note, sizeof note, "  run %.0f ms", silent_run_ms);
    Print("silent FTP", silent, note);

    Answers probes;
    std::vector<double> run_ms;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
      if (MillisecondsBetween(start, Clock::now()) > kRoundsBudgetMs) {
        std::fprintf(stderr, "time budget spent after %d rounds\n", i);
        break;
      }
      double ms = 0;
      if (!DuringRun(
              BenchSetup(tcp_server.Endpoint(), refused_port, std::make_shared<test::Recorded>()),
              probes, ms)) {
        return 1;
      }
      run_ms.push_back(ms);
    }
    std::snprintf(note, sizeof note, "  %zu runs of median %.1f ms", run_ms.size(), Median(run_ms));
    Print("TCP probes", probes, note);
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "respond_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
