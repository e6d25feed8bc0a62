// What a person waits for in the check run, on loopback, against the network work it is made of.
//
// The real window (TFrmTravik) is built in this process with every TCP endpoint on one loopback
// server that accepts and holds its connections, the FTP server on a loopback port where nothing
// listens (refused at once), fixed host figures and recorded dialogs. Nothing inside the window
// is hooked: each round opens a fresh window, presses "COMEÇAR" (BM_CLICK) and handles the
// window's messages until "Próximo" is enabled, as a person would see it.
//
// Every round also times, on this thread and against the same servers:
//   core run       core::CheckRun with the real probes and a log sink that does nothing: the
//                  same run without a window (no worker thread, no messages, no RichEdit);
//   network floor  the run's network work done bare: net::TcpClient Connect, Connected and
//                  Disconnect six times, then one net::FtpClient connect that is refused;
//   bare probe     each of those six connect/open-check/close, on its own.
// Figures (medians over the rounds):
//   window run     from the click to "Próximo" enabled; its ratio to the network floor; and
//                  apart, the click handler's share (until BM_CLICK returns: the log page shown,
//                  the log control made, the run's worker started);
//   per probe      (window run - network floor) / 6 + bare probe: what one TCP probe costs in the
//                  window when everything the run adds to the bare network work is charged to
//                  the six TCP probes (the host-check and heading lines as well, so it errs high);
//                  its ratio to the bare probe.
// As in travik.exe, each window loads RichEdit (msftedit.dll) for its log once its first page is
// up, and frees it when it goes; the click comes after that, as a person's would.
//   probe_bench.exe [rounds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "bench/windows/bench_figures.h"
#include "bench/windows/bench_window.h"
#include "bench/windows/loopback_server.h"
#include "core/check_run.h"
#include "core/probes.h"
#include "platform/ftp_client.h"
#include "platform/tcp_client.h"
#include "tests/windows/gui_test_support.h"

namespace {

using namespace travik;
using namespace travik::bench;

constexpr int kDefaultRounds = 50;
constexpr int kMaxRounds = 500;
constexpr double kRoundsBudgetMs = 90000.0;  // no round starts after this
constexpr int kRunLimitMs = 20000;           // one window run, click to "Próximo"
constexpr int kTcpProbes = 6;                // two broadcast servers, four international ones
const wchar_t kFtpFailure[] = L"Não foi possível conectar ao FTP.";

struct WindowRun {
  // From the click to "Próximo" enabled.
  double run_ms = 0;
  // Until the click returned: the log page shown, the log control made, the run started.
  double click_ms = 0;
};

struct Round {
  double window_ms = 0;
  double click_ms = 0;
  double core_ms = 0;
  double floor_ms = 0;
  std::vector<double> bare_probe_ms;
};

// One window, one click, until "Próximo" is enabled. Nothing when the run did not end as
// expected (six probes open, only the refused FTP server an issue).
std::optional<WindowRun> TimeWindowRun(const core::NetworkEndpoint& tcp, std::uint16_t ftp_port) {
  auto recorded = std::make_shared<test::Recorded>();
  std::unique_ptr<TFrmTravik> form = test::OpenWindow(BenchSetup(tcp, ftp_port, recorded));
  if (form == nullptr) {
    std::fprintf(stderr, "the window could not be created\n");
    return std::nullopt;
  }
  const HWND window = form->Handle();
  const HWND next = test::FindControl(window, ids::kBtnNext);
  // The window settles as it does while a person reads the first page: painted, and the log
  // page's control made in the background.
  test::PumpUntil([window] { return test::FindControl(window, ids::kMList) != nullptr; }, 2000);
  test::PumpUntil([] { return false; }, 20);

  const Clock::time_point click = Clock::now();
  test::Click(window, ids::kBtnStart);
  const Clock::time_point clicked = Clock::now();
  const bool ended = test::PumpUntil([next] { return IsWindowEnabled(next) != 0; }, kRunLimitMs);
  const Clock::time_point enabled = Clock::now();

  std::size_t open_probes = 0;
  for (const std::wstring& line : test::LogLines(window)) {
    if (line.size() >= 5 && line.compare(line.size() - 5, 5, L"...OK") == 0) ++open_probes;
  }
  const std::vector<std::wstring> red = test::RedLines(window);
  const bool as_expected = ended && open_probes == kTcpProbes && red.size() == 1 &&
                           red[0] == kFtpFailure && recorded->error_boxes.empty();
  CloseWindow(form);
  if (!as_expected) {
    std::fprintf(stderr,
                 "window run: unexpected outcome (ended %d, %zu probes open, %zu red lines, %zu "
                 "error boxes)\n",
                 ended ? 1 : 0, open_probes, red.size(), recorded->error_boxes.size());
    return std::nullopt;
  }
  return WindowRun{MillisecondsBetween(click, enabled), MillisecondsBetween(click, clicked)};
}

class NullSink final : public core::LogSink {
 public:
  void Clear() override {}
  void Append(const core::LogLine&) override {}
  void ReplaceLast(const core::LogLine&) override {}
};

std::optional<double> TimeCoreRun(const ProgramSetup& setup) {
  const core::ProbeClients clients = core::SocketProbeClients(setup.run.look_up);
  NullSink sink;
  const Clock::time_point start = Clock::now();
  core::CheckRun run(setup.run, clients, sink, std::stop_token{});
  const core::CheckResult result = run.Run();
  const double ms = MillisecondsBetween(start, Clock::now());
  std::size_t open_probes = 0;
  for (const core::TcpProbeResult& probe : result.probes) open_probes += probe.ok ? 1 : 0;
  if (!result.completed || open_probes != kTcpProbes || result.errors.size() != 1 ||
      !result.secondary_errors.empty()) {
    std::fprintf(stderr, "core run: unexpected outcome (%zu probes open, %zu errors)\n",
                 open_probes, result.errors.size());
    return std::nullopt;
  }
  return ms;
}

// The network floor; fills `bare_probe_ms` with the six connect/open-check/close spans.
std::optional<double> TimeNetworkFloor(const ProgramSetup& setup,
                                       std::vector<double>& bare_probe_ms) {
  net::TcpClient client;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kTcpProbes; ++i) {
    const core::NetworkEndpoint& endpoint = setup.run.targets.Tcp(static_cast<std::size_t>(i));
    const Clock::time_point probe_start = Clock::now();
    client.Connect(endpoint.host, endpoint.port, {});
    const bool open = client.Connected();
    client.Disconnect();
    bare_probe_ms.push_back(MillisecondsBetween(probe_start, Clock::now()));
    if (!open) {
      std::fprintf(stderr, "network floor: connection %d was not open\n", i);
      return std::nullopt;
    }
  }
  bool refused = false;
  try {
    net::FtpClient ftp;
    ftp.Connect(setup.run.targets.ftp, {});
  } catch (const Error&) {
    refused = true;
  }
  const double ms = MillisecondsBetween(start, Clock::now());
  if (!refused) {
    std::fprintf(stderr, "network floor: the FTP connect was not refused\n");
    return std::nullopt;
  }
  return ms;
}

std::optional<Round> TimeRound(const core::NetworkEndpoint& tcp, std::uint16_t ftp_port) {
  Round round;
  const ProgramSetup setup = BenchSetup(tcp, ftp_port, std::make_shared<test::Recorded>());
  const std::optional<WindowRun> window = TimeWindowRun(tcp, ftp_port);
  const std::optional<double> core = window ? TimeCoreRun(setup) : std::nullopt;
  const std::optional<double> floor =
      core ? TimeNetworkFloor(setup, round.bare_probe_ms) : std::nullopt;
  if (!floor) return std::nullopt;
  round.window_ms = window->run_ms;
  round.click_ms = window->click_ms;
  round.core_ms = *core;
  round.floor_ms = *floor;
  return round;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<int> rounds_asked = CountArgument(argc, argv, kDefaultRounds, kMaxRounds);
  if (!rounds_asked) return 2;
  const int rounds = *rounds_asked;
  try {
    const WindowServices services;
    LoopbackServer server(std::chrono::seconds(150));
    const std::uint16_t ftp_port = test::RefusedEndpoint().port;

    std::vector<double> window, click, core, floor, bare;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
      if (MillisecondsBetween(start, Clock::now()) > kRoundsBudgetMs) {
        std::fprintf(stderr, "time budget spent after %d rounds\n", i);
        break;
      }
      const std::optional<Round> round = TimeRound(server.Endpoint(), ftp_port);
      if (!round) return 1;
      window.push_back(round->window_ms);
      click.push_back(round->click_ms);
      core.push_back(round->core_ms);
      floor.push_back(round->floor_ms);
      bare.insert(bare.end(), round->bare_probe_ms.begin(), round->bare_probe_ms.end());
    }

    const double window_ms = Median(window);
    const double core_ms = Median(core);
    const double floor_ms = Median(floor);
    const double bare_ms = Median(bare);
    const double per_probe_ms = (window_ms - floor_ms) / kTcpProbes + bare_ms;
    std::printf("check-run  window run (click to \"Proximo\")  median %8.2f ms  (%zu rounds)\n",
                window_ms, window.size());
    std::printf("check-run    of which the click handler     median %8.2f ms\n", Median(click));
    std::printf("check-run  core run, no window            median %8.2f ms\n", core_ms);
    std::printf("check-run  network floor                  median %8.2f ms\n", floor_ms);
    std::printf("check-run  ratio window run / network floor: %.2f\n", Ratio(window_ms, floor_ms));
    std::printf("tcp-probe  per probe in the window        %8.3f ms\n", per_probe_ms);
    std::printf("tcp-probe  bare probe                     median %8.3f ms  (n=%zu)\n", bare_ms,
                bare.size());
    std::printf("tcp-probe  ratio per probe / bare probe: %.2f\n", Ratio(per_probe_ms, bare_ms));
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "probe_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
