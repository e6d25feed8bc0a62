// Start-up time of two Windows programs: for each launch, the time from just before
// CreateProcessW until WaitForInputIdle has returned and a visible top-level window of the new
// process exists. Each program is then closed (WM_CLOSE to its window; TerminateProcess only when
// it has not ended within a deadline). The two programs are launched alternately, so that both
// see the same conditions, and the medians are printed with their ratio.
//   startup_timer.exe <rounds> <program A> <program B>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "bench/windows/bench_figures.h"
#include "platform/win_handles.h"
#include "tests/windows/process_windows.h"

namespace {

using travik::UniqueHandle;
using travik::test::VisibleTopLevelWindowOf;
using namespace travik::bench;

constexpr DWORD kIdleTimeoutMs = 15000;
constexpr DWORD kWindowTimeoutMs = 15000;
constexpr DWORD kCloseTimeoutMs = 5000;
constexpr int kMaxRounds = 200;
constexpr double kRunBudgetMs = 110000.0;  // the whole run stops starting programs after this

// Ends the process: WM_CLOSE to its window, then TerminateProcess when it is still running.
void CloseProgram(HANDLE process, HWND window, const std::wstring& name) {
  if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, kCloseTimeoutMs) == WAIT_OBJECT_0) return;
  std::fwprintf(stderr, L"%ls did not end after WM_CLOSE; terminating it\n", name.c_str());
  TerminateProcess(process, 1);
  WaitForSingleObject(process, kCloseTimeoutMs);
}

// One launch; the start-up time in milliseconds, or nothing when the program failed to show a
// window in time.
std::optional<double> TimeOneStart(const std::wstring& program) {
  const Clock::time_point start = Clock::now();
  std::optional<travik::test::StartedProgram> started = travik::test::StartProgram(program, L"");
  if (!started) {
    std::fwprintf(stderr, L"%ls could not be started\n", program.c_str());
    return std::nullopt;
  }
  const UniqueHandle process = std::move(started->process);

  const DWORD idle = WaitForInputIdle(process.get(), kIdleTimeoutMs);
  HWND window = VisibleTopLevelWindowOf(started->id);
  const Clock::time_point window_deadline =
      Clock::now() + std::chrono::milliseconds(kWindowTimeoutMs);
  while (window == nullptr && Clock::now() < window_deadline &&
         WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
    Sleep(1);
    window = VisibleTopLevelWindowOf(started->id);
  }
  const Clock::time_point shown = Clock::now();

  std::optional<double> elapsed;
  if (idle != 0) {
    std::fwprintf(stderr, L"WaitForInputIdle(%ls) returned %lu\n", program.c_str(), idle);
  } else if (window == nullptr) {
    std::fwprintf(stderr, L"%ls showed no window in time\n", program.c_str());
  } else {
    elapsed = MillisecondsBetween(start, shown);
  }
  CloseProgram(process.get(), window, program);
  return elapsed;
}

std::wstring BaseName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fwprintf(stderr, L"usage: startup_timer.exe <rounds> <program A> <program B>\n");
    return 2;
  }
  const int rounds = std::wcstol(argv[1], nullptr, 10);
  if (rounds < 1 || rounds > kMaxRounds) {
    std::fwprintf(stderr, L"rounds must be 1..%d\n", kMaxRounds);
    return 2;
  }
  const std::wstring programs[2] = {argv[2], argv[3]};
  std::vector<double> samples[2];

  const Clock::time_point run_start = Clock::now();
  int failures = 0;
  for (int round = 0; round < rounds; ++round) {
    if (MillisecondsBetween(run_start, Clock::now()) > kRunBudgetMs) {
      std::fwprintf(stderr, L"time budget spent after %d rounds\n", round);
      break;
    }
    // A first, then B; the next round B first, then A.
    for (int k = 0; k < 2; ++k) {
      const int which = (round % 2 == 0) ? k : 1 - k;
      if (const std::optional<double> ms = TimeOneStart(programs[which])) {
        samples[which].push_back(*ms);
      } else {
        ++failures;
      }
    }
    if (failures > 4) {
      std::fwprintf(stderr, L"too many failed launches; stopping\n");
      break;
    }
  }

  const double median_a = Median(samples[0]);
  const double median_b = Median(samples[1]);
  std::wprintf(L"start-up  %-22ls median %8.1f ms  (n=%zu)\n", BaseName(programs[0]).c_str(),
               median_a, samples[0].size());
  std::wprintf(L"start-up  %-22ls median %8.1f ms  (n=%zu)\n", BaseName(programs[1]).c_str(),
               median_b, samples[1].size());
  std::wprintf(L"start-up  ratio %ls / %ls: %.2f\n", BaseName(programs[0]).c_str(),
               BaseName(programs[1]).c_str(), Ratio(median_a, median_b));
  std::fflush(stdout);
  return samples[0].empty() || samples[1].empty() ? 1 : 0;
}
