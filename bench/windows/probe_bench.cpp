// The window's TCP reachability probes against a bare connect/open-check/close loop.
//
// The real window (TFrmTravik) is built in this process with every TCP endpoint on one loopback
// listener, the FTP server on a loopback port where nothing listens, fixed host figures and
// recorded dialogs. Each round opens a fresh window and presses "COMEÇAR". The window calls
// before_open_check once per TCP probe, between its connect and its open check; the time between
// two consecutive calls within the same group of probes is one whole probe (open check, the log
// line rewritten, close, the next "Testando conexão..." line, connect). Four such spans come out
// of each round: broadcast 1->2 and international 1->2, 2->3, 3->4 (the span across the groups
// also holds the group's heading line and is left out).
//
// The floor: net::TcpClient Connect, Connected, Disconnect against the same listener, as many
// samples. Both medians are printed in microseconds, with their ratio.
//   probe_bench.exe [rounds]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "bench/windows/bench_figures.h"
#include "bench/windows/loopback_server.h"
#include "platform/socket.h"
#include "platform/tcp_client.h"
#include "platform/win_handles.h"
#include "tests/windows/gui_test_support.h"
#include "ui/GUITravik.h"

namespace {

using namespace travik;
using namespace travik::bench;

constexpr int kDefaultRounds = 50;
constexpr int kMaxRounds = 500;
constexpr double kRoundsBudgetMs = 60000.0;
constexpr int kProbesPerRound = 6;  // two broadcast servers, four international ones

// Handles what is waiting in this thread's queue (bounded).
void PumpMessages() {
  MSG message;
  for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Pairs of before_open_check calls that bracket exactly one probe (see the top of the file).
constexpr std::pair<int, int> kWholeProbeSpans[] = {{0, 1}, {2, 3}, {3, 4}, {4, 5}};

struct WindowFigures {
  std::vector<double> probe_us;
  std::vector<double> click_ms;
  bool ok = true;
};

WindowFigures TimeWindowProbes(const NetworkEndpoint& tcp, std::uint16_t ftp_port, int rounds) {
  WindowFigures figures;
  const Clock::time_point start = Clock::now();
  for (int round = 0; round < rounds; ++round) {
    if (MillisecondsBetween(start, Clock::now()) > kRoundsBudgetMs) {
      std::fprintf(stderr, "time budget spent after %d rounds\n", round);
      break;
    }
    auto recorded = std::make_shared<test::Recorded>();
    std::vector<Clock::time_point> stamps;
    stamps.reserve(kProbesPerRound);
    TravikSetup setup = test::LoopbackSetup(tcp, ftp_port, recorded);
    setup.before_open_check = [&stamps] { stamps.push_back(Clock::now()); };
    auto form = std::make_unique<TFrmTravik>(std::move(setup));
    if (!form->Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE)) {
      std::fprintf(stderr, "the window could not be created\n");
      figures.ok = false;
      break;
    }
    PumpMessages();

    const Clock::time_point click = Clock::now();
    SendMessageW(form->ControlHandle(TFrmTravik::Control::btnStart), BM_CLICK, 0, 0);
    figures.click_ms.push_back(MillisecondsBetween(click, Clock::now()));

    // Every TCP probe must have reached the listener; only the refused FTP server is an issue.
    if (stamps.size() != kProbesPerRound || !form->SecondaryErrors().empty() ||
        form->Errors().size() != 1 || !recorded->error_boxes.empty()) {
      std::fprintf(stderr,
                   "round %d: unexpected outcome (%zu probes, %zu errors, %zu secondary, %zu "
                   "error boxes)\n",
                   round, stamps.size(), form->Errors().size(), form->SecondaryErrors().size(),
                   recorded->error_boxes.size());
      figures.ok = false;
      break;
    }
    for (const auto& [from, to] : kWholeProbeSpans) {
      figures.probe_us.push_back(MicrosecondsBetween(stamps[from], stamps[to]));
    }
    form.reset();
    PumpMessages();
  }
  return figures;
}

std::vector<double> TimeBareProbes(const NetworkEndpoint& tcp, std::size_t count) {
  std::vector<double> samples;
  net::TcpClient client;
  for (std::size_t i = 0; i < count; ++i) {
    const Clock::time_point start = Clock::now();
    client.Connect(tcp.host, tcp.port);
    const bool open = client.Connected();
    client.Disconnect();
    const Clock::time_point end = Clock::now();
    if (!open) {
      std::fprintf(stderr, "bare probe %zu: the connection was not open\n", i);
      break;
    }
    samples.push_back(MicrosecondsBetween(start, end));
  }
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
  if (rounds < 1 || rounds > kMaxRounds) {
    std::fprintf(stderr, "rounds must be 1..%d\n", kMaxRounds);
    return 2;
  }
  try {
    const WindowServices services;
    LoopbackServer server(std::chrono::seconds(150));
    const std::uint16_t ftp_port = test::RefusedEndpoint().port;

    const WindowFigures window = TimeWindowProbes(server.Endpoint(), ftp_port, rounds);
    if (!window.ok || window.probe_us.empty()) return 1;
    const std::vector<double> bare = TimeBareProbes(server.Endpoint(), window.probe_us.size());
    if (bare.size() != window.probe_us.size()) return 1;

    const double window_median = Median(window.probe_us);
    const double bare_median = Median(bare);
    std::printf("tcp-probe window probe (TFrmTravik)      median %9.1f us  (n=%zu, %zu rounds)\n",
                window_median, window.probe_us.size(), window.click_ms.size());
    std::printf("tcp-probe bare connect/open-check/close  median %9.1f us  (n=%zu)\n", bare_median,
                bare.size());
    std::printf("tcp-probe ratio window / bare: %.2f\n", Ratio(window_median, bare_median));
    std::printf(
        "tcp-probe whole check run (one click, 6 TCP probes + refused FTP) median %.1f ms\n",
        Median(window.click_ms));
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "probe_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
