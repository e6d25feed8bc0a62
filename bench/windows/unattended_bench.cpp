// The unattended mode against the wizard, both in the loopback build of the program
// (travik_loopback.exe: the program's entry on loopback endpoints), each a whole process:
//   unattended  CreateProcessW with "/json <file>" until the process has ended;
//   wizard      CreateProcessW without arguments until its window is shown, "COMEÇAR" pressed
//               (BM_CLICK), until "Próximo" is enabled (the check run is over), then WM_CLOSE
//               until the process has ended.
// Every TCP endpoint is one loopback server that holds its connections open; a scripted FTP
// server on loopback turns the test login down, so that both runs find no impediment. The two
// are launched alternately and their medians printed. Figures only.
//   unattended_bench.exe <rounds> <travik_loopback.exe>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/windows/bench_figures.h"
#include "bench/windows/loopback_server.h"
#include "platform/win_handles.h"
#include "tests/native/scripted_ftp_server.h"
#include "tests/windows/process_windows.h"

namespace {

using namespace travik;
using namespace travik::bench;
using test::VisibleTopLevelWindowOf;

constexpr int kMaxRounds = 200;
constexpr double kRunBudgetMs = 240000.0;  // no new round starts after this
constexpr DWORD kProcessLimitMs = 60000;
constexpr DWORD kWindowLimitMs = 15000;
constexpr DWORD kRunLimitMs = 60000;
constexpr DWORD kCloseLimitMs = 10000;

struct ChildSearch {
  const wchar_t* text;
  HWND found;
};

BOOL CALLBACK MatchText(HWND hwnd, LPARAM l) {
  auto* search = reinterpret_cast<ChildSearch*>(l);
  wchar_t text[64] = {};
  GetWindowTextW(hwnd, text, 64);
  if (std::wcscmp(text, search->text) != 0) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND ChildWithText(HWND window, const wchar_t* text) {
  ChildSearch search{text, nullptr};
  EnumChildWindows(window, MatchText, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls `done` every millisecond for at most `limit_ms`; returns done().
template <typename Done>
bool WaitUntil(Done done, DWORD limit_ms) {
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (Clock::now() >= until) return false;
    Sleep(1);
  }
  return true;
}

using Child = test::StartedProgram;

std::optional<Child> Start(const std::wstring& program, const std::wstring& arguments) {
  return test::StartProgram(program, arguments);
}

void EndNow(const Child& child) {
  TerminateProcess(child.process.get(), 1);
  WaitForSingleObject(child.process.get(), kCloseLimitMs);
}

// Gives each launch a fresh scripted FTP server and tells the program its port.
class FtpForOneRun {
 public:
  FtpForOneRun() : server_({{"220 Ready", "220 Host ok", "331 Password", "530 Login incorrect."}}) {
    SetEnvironmentVariableW(L"TRAVIK_LOOPBACK_FTP_PORT", std::to_wstring(server_.Port()).c_str());
  }

 private:
  test::ScriptedFtpServer server_;
};

std::optional<double> TimeUnattended(const std::wstring& program, const std::wstring& json) {
  const FtpForOneRun ftp;
  const Clock::time_point start = Clock::now();
  const std::optional<Child> child = Start(program, L" /json \"" + json + L"\"");
  if (!child) return std::nullopt;
  if (WaitForSingleObject(child->process.get(), kProcessLimitMs) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "the unattended run did not end in time\n");
    EndNow(*child);
    return std::nullopt;
  }
  const double elapsed = MillisecondsBetween(start, Clock::now());
  DWORD code = 1;
  GetExitCodeProcess(child->process.get(), &code);
  if (code != 0) {
    std::fprintf(stderr, "the unattended run exited with %lu\n", code);
    return std::nullopt;
  }
  return elapsed;
}

struct WizardTimes {
  double shown_ms;
  double ready_ms;  // "Próximo" enabled
  double ended_ms;
};

std::optional<WizardTimes> TimeWizard(const std::wstring& program) {
  const FtpForOneRun ftp;
  const Clock::time_point start = Clock::now();
  const std::optional<Child> child = Start(program, L"");
  if (!child) return std::nullopt;
  HWND window = nullptr;
  HWND next = nullptr;
  if (!WaitUntil([&] { return (window = VisibleTopLevelWindowOf(child->id)) != nullptr; },
                 kWindowLimitMs)) {
    std::fprintf(stderr, "the wizard showed no window in time\n");
    EndNow(*child);
    return std::nullopt;
  }
  const double shown = MillisecondsBetween(start, Clock::now());
  HWND begin = ChildWithText(window, L"COMEÇAR");
  next = ChildWithText(window, L"Próximo");
  DWORD_PTR ignored = 0;
  if (begin == nullptr || next == nullptr ||
      !SendMessageTimeoutW(begin, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kRunLimitMs, &ignored) ||
      !WaitUntil([&] { return IsWindowEnabled(next) != FALSE; }, kRunLimitMs)) {
    std::fprintf(stderr, "the wizard's check run did not end in time\n");
    EndNow(*child);
    return std::nullopt;
  }
  const double ready = MillisecondsBetween(start, Clock::now());
  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(child->process.get(), kCloseLimitMs) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "the wizard did not end after WM_CLOSE\n");
    EndNow(*child);
    return std::nullopt;
  }
  return WizardTimes{shown, ready, MillisecondsBetween(start, Clock::now())};
}

std::vector<double> Column(const std::vector<WizardTimes>& rows, double WizardTimes::*field) {
  std::vector<double> out;
  for (const WizardTimes& row : rows) out.push_back(row.*field);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: unattended_bench.exe <rounds> <travik_loopback.exe>\n");
    return 2;
  }
  const int rounds = std::wcstol(argv[1], nullptr, 10);
  if (rounds < 1 || rounds > kMaxRounds) {
    std::fprintf(stderr, "rounds must be 1..%d\n", kMaxRounds);
    return 2;
  }
  const std::wstring program = argv[2];
  try {
    const net::SocketLibrary sockets;
    const LoopbackServer tcp(std::chrono::seconds(300));
    SetEnvironmentVariableW(L"TRAVIK_LOOPBACK_TCP",
                            (L"127.0.0.1:" + std::to_wstring(tcp.Endpoint().port)).c_str());
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path json =
        std::filesystem::path(temp) /
        (L"unattended-bench-" + std::to_wstring(GetCurrentProcessId()) + L".json");

    std::vector<double> unattended;
    std::vector<WizardTimes> wizard;
    int failures = 0;
    const Clock::time_point run_start = Clock::now();
    for (int round = 0; round < rounds && failures <= 4; ++round) {
      if (MillisecondsBetween(run_start, Clock::now()) > kRunBudgetMs) {
        std::fprintf(stderr, "time budget spent after %d rounds\n", round);
        break;
      }
      // One first, then the other; the next round the other way round.
      for (int k = 0; k < 2; ++k) {
        if ((round + k) % 2 == 0) {
          if (const auto ms = TimeUnattended(program, json.wstring())) {
            unattended.push_back(*ms);
          } else {
            ++failures;
          }
        } else if (const auto times = TimeWizard(program)) {
          wizard.push_back(*times);
        } else {
          ++failures;
        }
      }
    }
    std::error_code ignored;
    std::filesystem::remove(json, ignored);

    const double unattended_ms = Median(unattended);
    const double ready_ms = Median(Column(wizard, &WizardTimes::ready_ms));
    std::printf(
        "unattended  /json run, process start to exit               median %8.1f ms  (n=%zu)\n",
        unattended_ms, unattended.size());
    std::printf(
        "wizard      start to window shown                           median %8.1f ms  (n=%zu)\n",
        Median(Column(wizard, &WizardTimes::shown_ms)), wizard.size());
    std::printf("wizard      start to check run done (\"Próximo\" enabled)    median %8.1f ms\n",
                ready_ms);
    std::printf("wizard      start to exit after WM_CLOSE                    median %8.1f ms\n",
                Median(Column(wizard, &WizardTimes::ended_ms)));
    std::printf("ratio wizard (check run done) / unattended: %.2f\n",
                Ratio(ready_ms, unattended_ms));
    std::fflush(stdout);
    return unattended.empty() || wizard.empty() ? 1 : 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "unattended_bench: %s\n", e.what());
    return 1;
  }
}
