// Fifty writers of the fleet's table at once, against fifty writing a file each. Figures only.
//   1. the append alone: <writers> copies of this program, each with a row made as a run makes
//      it, wait at one gate (a named event); once all are there the gate opens and each times its
//      AppendUnderLock (open, the writers' lock, its header look, one write, flush, unlock):
//      the slowest writer's time (its wait for the lock, in the shared case), the median
//      writer's, and the batch from the gate's opening to the last writer's end;
//   2. whole runs: <writers> loopback-build processes (travik_loopback.exe "/csv <file>") started
//      at once, from the first start to the last end. Every TCP endpoint is one loopback server
//      that holds its connections; the FTP port refuses, so no run waits for another's session.
// Medians over the rounds. Every connection stays on 127.0.0.1.
//   csv_bench.exe <rounds> <writers> <travik_loopback.exe>
//   csv_bench.exe writer <gate> <ready> <table> <result>   (one writer of part 1)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/product_setup.h"
#include "bench/windows/bench_figures.h"
#include "bench/windows/loopback_server.h"
#include "core/result_csv.h"
#include "platform/error.h"
#include "platform/output_file.h"
#include "platform/text.h"
#include "platform/win_handles.h"
#include "tests/windows/process_windows.h"

namespace {

namespace fs = std::filesystem;
using namespace travik;
using namespace travik::bench;

constexpr int kMaxRounds = 20;
constexpr int kMaxWriters = 60;  // each writer is waited for on its own, so no 64-handle limit
constexpr DWORD kGateLimitMs = 120000;   // for every writer to reach the gate
constexpr DWORD kBatchLimitMs = 300000;  // for a batch to end
constexpr int kWriterFailed = 3;

// ---- one writer of part 1, in a process of its own ----

int Writer(const wchar_t* gate_name, const wchar_t* ready_name, const std::wstring& table,
           const std::wstring& result_path) {
  const UniqueHandle gate(OpenEventW(SYNCHRONIZE, FALSE, gate_name));
  const UniqueHandle ready(OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, ready_name));
  if (!gate || !ready) return kWriterFailed;
  core::NetworkTargets targets;
  for (core::NetworkEndpoint& e : targets.broadcast) e = {"difusor.invalid", 81};
  for (core::NetworkEndpoint& e : targets.international) e = {"feed.invalid", 7500};
  core::RunMetadata metadata;
  metadata.computer = "PC-" + std::to_string(GetCurrentProcessId());
  metadata.user = "KORVENA\\joão";
  metadata.started = std::chrono::system_clock::now();
  core::CheckResult result;
  result.errors = {"Usuário não possui privilégios de administrador"};
  const core::CsvRecord record(targets, result, metadata, ',');
  ReleaseSemaphore(ready.get(), 1, nullptr);
  if (WaitForSingleObject(gate.get(), kGateLimitMs) != WAIT_OBJECT_0) return kWriterFailed;
  try {
    const Clock::time_point start = Clock::now();
    const AppendResult appended = AppendUnderLock(
        table, record.HeadBytes(),
        [&record](const FileStart& file) {
          return record.AppendTo(file.head, file.size, file.ends_with_line_feed);
        },
        ProductSetup().unattended.table_wait);  // the program's own wait
    const double ms = MillisecondsBetween(start, Clock::now());
    if (appended != AppendResult::kAppended) return kWriterFailed;
    WriteOutputFile(result_path, std::to_string(ms));
    return 0;
  } catch (const Error& e) {
    std::fprintf(stderr, "writer: %s\n", e.what());
    return kWriterFailed;
  }
}

// ---- the batches ----

std::optional<UniqueHandle> Start(const std::wstring& program, const std::wstring& arguments) {
  std::optional<test::StartedProgram> started = test::StartProgram(program, arguments);
  if (!started) return std::nullopt;
  return std::move(started->process);
}

// Waits for every process to end, within one limit for all; false (after ending the rest) when
// one did not, or ended with a code above `highest_good`.
bool WaitForAll(std::vector<UniqueHandle>& processes, DWORD highest_good) {
  const ULONGLONG until = GetTickCount64() + kBatchLimitMs;
  bool good = true;
  for (UniqueHandle& process : processes) {
    const ULONGLONG now = GetTickCount64();
    if (WaitForSingleObject(process.get(), static_cast<DWORD>(until > now ? until - now : 0)) !=
        WAIT_OBJECT_0) {
      TerminateProcess(process.get(), 99);
      WaitForSingleObject(process.get(), 5000);
      std::fprintf(stderr, "a process did not end in time\n");
      good = false;
      continue;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    if (code > highest_good) {
      std::fprintf(stderr, "a process ended with %lu\n", code);
      good = false;
    }
  }
  return good;
}

// Lines in a file (rows, with its header).
std::size_t LinesOf(const fs::path& path) {
  std::error_code error;
  if (!fs::exists(path, error)) return 0;
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::size_t lines = 0;
  char buffer[65536];
  DWORD got = 0;
  while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    lines += static_cast<std::size_t>(std::count(buffer, buffer + got, '\n'));
  }
  return lines;
}

struct AppendBatch {
  double slowest_ms = 0;
  double median_ms = 0;
  double batch_ms = 0;
};

// Part 1: the writers at the gate, appending to one table or to a file each.
std::optional<AppendBatch> AppendAtOnce(const std::wstring& self, const fs::path& folder,
                                        int writers, bool shared, int round) {
  const std::wstring suffix = std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(round) + (shared ? L"s" : L"o");
  const std::wstring gate_name = L"travik-csv-bench-gate-" + suffix;
  const std::wstring ready_name = L"travik-csv-bench-ready-" + suffix;
  const UniqueHandle gate(CreateEventW(nullptr, TRUE, FALSE, gate_name.c_str()));
  const UniqueHandle ready(CreateSemaphoreW(nullptr, 0, writers, ready_name.c_str()));
  if (!gate || !ready) return std::nullopt;
  std::vector<UniqueHandle> processes;
  std::vector<fs::path> results;
  for (int i = 0; i < writers; ++i) {
    const fs::path table =
        folder / (shared ? L"shared.csv" : L"own-" + std::to_wstring(i) + L".csv");
    results.push_back(folder / (L"writer-" + std::to_wstring(i) + L".txt"));
    std::optional<UniqueHandle> process =
        Start(self, L"writer " + gate_name + L" " + ready_name + L" \"" + table.wstring() +
                        L"\" \"" + results.back().wstring() + L"\"");
    if (!process) return std::nullopt;
    processes.push_back(std::move(*process));
  }
  for (int i = 0; i < writers; ++i) {
    if (WaitForSingleObject(ready.get(), kGateLimitMs) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "the writers did not all reach the gate\n");
      SetEvent(gate.get());
      WaitForAll(processes, 0);
      return std::nullopt;
    }
  }
  const Clock::time_point opened = Clock::now();
  SetEvent(gate.get());
  const bool good = WaitForAll(processes, 0);
  AppendBatch batch;
  batch.batch_ms = MillisecondsBetween(opened, Clock::now());
  if (!good) return std::nullopt;
  std::vector<double> times;
  for (const fs::path& result : results) {
    const UniqueHandle file(CreateFileW(result.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char text[64] = {};
    DWORD got = 0;
    if (!file || !ReadFile(file.get(), text, sizeof text - 1, &got, nullptr)) return std::nullopt;
    times.push_back(std::atof(text));
  }
  if (shared && LinesOf(folder / L"shared.csv") != static_cast<std::size_t>(writers) + 1) {
    std::fprintf(stderr, "the shared table does not hold one header and %d rows\n", writers);
    return std::nullopt;
  }
  batch.slowest_ms = Worst(times);
  batch.median_ms = Median(times);
  return batch;
}

// Part 2: whole runs of the loopback build, appending to one table or to a file each.
std::optional<double> RunsAtOnce(const std::wstring& program, const fs::path& folder, int writers,
                                 bool shared) {
  std::vector<UniqueHandle> processes;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < writers; ++i) {
    const fs::path table = folder / (shared ? L"runs.csv" : L"run-" + std::to_wstring(i) + L".csv");
    std::optional<UniqueHandle> process = Start(program, L"/csv \"" + table.wstring() + L"\"");
    if (!process) return std::nullopt;
    processes.push_back(std::move(*process));
  }
  // The runs find the FTP server refusing: an impediment, exit code 1.
  const bool good = WaitForAll(processes, 1);
  const double ms = MillisecondsBetween(start, Clock::now());
  if (!good) return std::nullopt;
  if (shared && LinesOf(folder / L"runs.csv") != static_cast<std::size_t>(writers) + 1) {
    std::fprintf(stderr, "the runs' table does not hold one header and %d rows\n", writers);
    return std::nullopt;
  }
  return ms;
}

fs::path NewFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const fs::path folder = fs::path(temp) / (name + std::to_wstring(GetCurrentProcessId()));
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
  return folder;
}

// A loopback port on which nothing listens.
std::uint16_t RefusedPort() {
  test::Listener listener = test::Listener::OnLoopback();
  return listener.Port();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 6 && std::wcscmp(argv[1], L"writer") == 0) {
    return Writer(argv[2], argv[3], argv[4], argv[5]);
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: csv_bench.exe <rounds> <writers> <travik_loopback.exe>\n");
    return 2;
  }
  const int rounds = std::wcstol(argv[1], nullptr, 10);
  const int writers = std::wcstol(argv[2], nullptr, 10);
  if (rounds < 1 || rounds > kMaxRounds || writers < 1 || writers > kMaxWriters) {
    std::fprintf(stderr, "rounds must be 1..%d, writers 1..%d\n", kMaxRounds, kMaxWriters);
    return 2;
  }
  wchar_t self[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  try {
    const net::SocketLibrary sockets;
    const LoopbackServer tcp(std::chrono::seconds(1800));
    SetEnvironmentVariableW(L"TRAVIK_LOOPBACK_TCP",
                            (L"127.0.0.1:" + std::to_wstring(tcp.Port())).c_str());
    SetEnvironmentVariableW(L"TRAVIK_LOOPBACK_FTP_PORT", std::to_wstring(RefusedPort()).c_str());

    std::vector<double> slowest[2], median[2], batch[2], runs[2];
    int failures = 0;
    for (int round = 0; round < rounds && failures <= 2; ++round) {
      for (int k = 0; k < 2; ++k) {
        const bool shared = (round + k) % 2 == 0;  // alternately first
        const fs::path folder = NewFolder(L"travik-csv-bench-");
        if (const auto appended = AppendAtOnce(self, folder, writers, shared, round)) {
          slowest[shared].push_back(appended->slowest_ms);
          median[shared].push_back(appended->median_ms);
          batch[shared].push_back(appended->batch_ms);
        } else {
          ++failures;
        }
        if (const auto ms = RunsAtOnce(argv[3], folder, writers, shared)) {
          runs[shared].push_back(*ms);
        } else {
          ++failures;
        }
        std::error_code ignored;
        fs::remove_all(folder, ignored);
      }
    }
    std::printf("1. the append alone, %d writers let go at once (medians of %zu rounds)\n", writers,
                batch[1].size());
    for (const int shared : {1, 0}) {
      std::printf("   %-16s slowest writer %8.1f ms   median writer %8.1f ms   batch %8.1f ms\n",
                  shared ? "one table" : "a file each", Median(slowest[shared]),
                  Median(median[shared]), Median(batch[shared]));
    }
    std::printf("2. whole runs, %d loopback-build processes started at once (medians of %zu)\n",
                writers, runs[1].size());
    for (const int shared : {1, 0}) {
      std::printf("   %-16s first start to last end %8.1f ms\n",
                  shared ? "one table" : "a file each", Median(runs[shared]));
    }
    std::printf("ratio one table / a file each: slowest writer %.2f, batch %.2f, whole runs %.2f\n",
                Ratio(Median(slowest[1]), Median(slowest[0])),
                Ratio(Median(batch[1]), Median(batch[0])), Ratio(Median(runs[1]), Median(runs[0])));
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "csv_bench: %s\n", e.what());
    return 1;
  }
}
