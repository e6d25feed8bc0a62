// Runs the wizard of a program as a person would, read through Win32 as accessibility tools see
// it. Two ways:
//
//   wizard_driver.exe PROGRAM CURRENT_DIR LOG_FILE
//     starts PROGRAM in CURRENT_DIR, waits for its window, presses "COMEÇAR", waits until
//     "Próximo" is enabled, writes the check log's text (UTF-8, CR LF between paragraphs) to
//     LOG_FILE, closes the window and waits for the program to end.
//
//   wizard_driver.exe close PROGRAM CURRENT_DIR HOST:PORT WATCHED_FILE MARKER...
//     closes the window in the middle of the run: starts PROGRAM, presses "COMEÇAR", waits until
//     the log shows "Testando conexão em HOST:PORT..." and WATCHED_FILE (a file another process
//     appends to, such as the network peers' events) holds every MARKER, checks that the run is
//     still going ("Próximo" disabled), posts WM_CLOSE and measures the time until the process
//     has ended. Prints "close_to_exit_ms N" and "exit_code C" on standard output.
//
//   wizard_driver.exe pages PROGRAM CURRENT_DIR FOLDER
//     stops on each of the three pages for a screenshot (tools/screenshots.sh): once the page is
//     shown and painted (the welcome page; the log when the run has finished; the verdict) it
//     writes FOLDER\page-N.ready holding the rectangle of the window's client area on the
//     screen, "left top width height" (the frame is the system's, not the program's), and waits
//     for FOLDER\page-N.taken before it goes on; at the end it closes the window.
//
// Exit code 0 when every step worked and PROGRAM ended with 0; otherwise 1, with the step that
// failed on standard error (PROGRAM is then ended). Every wait is bounded.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "process_windows.h"
#include "ui/control_ids.h"

namespace {

using travik::test::StartedProgram;
using travik::test::StartProgram;

constexpr ULONGLONG kWindowLimitMs = 60000;  // until the window is shown
constexpr ULONGLONG kRunLimitMs = 90000;     // until the check run has finished
constexpr DWORD kExitLimitMs = 30000;        // from WM_CLOSE until the process has ended
// In the close mode: until the log shows the probe line, and until the watched file holds every
// marker. The wait after WM_CLOSE is longer there, so that a program that waits for its name
// look-ups (30 s at most in the test) is still measured rather than ended.
constexpr ULONGLONG kProbeLineLimitMs = 60000;
constexpr ULONGLONG kMarkersLimitMs = 30000;
constexpr DWORD kCloseExitLimitMs = 60000;
constexpr DWORD kMaxWatchedBytes = 1 << 20;
constexpr UINT kSendLimitMs = 10000;       // for each message sent to the window
constexpr ULONGLONG kShotLimitMs = 60000;  // in the pages mode, for each screenshot
constexpr DWORD kSettleMs = 700;           // for what Wine has drawn to reach the X server
constexpr DWORD kPollMs = 20;

struct Failure {
  const char* what;
};

HWND ChildWithId(HWND top, int id) {
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  // EnumChildWindows goes through the nested children (pages and panels) too.
  EnumChildWindows(
      top,
      [](HWND child, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        if (GetDlgCtrlID(child) != s->id) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

LRESULT Send(HWND window, UINT message, WPARAM w, LPARAM l) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, kSendLimitMs, &result)) {
    throw Failure{"a message to the window was not handled in time"};
  }
  return static_cast<LRESULT>(result);
}

// Waits until `done()` holds, polling while the process runs; throws `what` once the time is up.
template <typename Done>
void WaitFor(HANDLE process, ULONGLONG limit_ms, const char* what, Done done) {
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  while (!done()) {
    if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
      throw Failure{"the program ended early"};
    }
    if (GetTickCount64() > deadline) throw Failure{what};
  }
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

void WriteFileText(const wchar_t* path, const std::string& bytes) {
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw Failure{"the log file could not be created"};
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size()) throw Failure{"the log file could not be written"};
}

struct Wizard {
  HWND top;
  HWND next;
};

// Waits for the window, checks that only "COMEÇAR" is enabled and presses it.
Wizard StartRun(HANDLE process, DWORD process_id) {
  HWND top = nullptr;
  WaitFor(process, kWindowLimitMs, "no visible window appeared", [&] {
    top = travik::test::VisibleTopLevelWindowOf(process_id);
    return top != nullptr;
  });
  HWND start = ChildWithId(top, travik::ids::kBtnStart);
  HWND next = ChildWithId(top, travik::ids::kBtnNext);
  if (start == nullptr || next == nullptr) throw Failure{"the buttons were not found"};
  if (!IsWindowEnabled(start) || IsWindowEnabled(next)) {
    throw Failure{"before the run, the start button is not the enabled one"};
  }
  Send(start, BM_CLICK, 0, 0);
  return {top, next};
}

// The check log's text; empty while the window has not made the log yet.
std::wstring LogText(HWND top) {
  HWND log = ChildWithId(top, travik::ids::kMList);
  if (log == nullptr) return {};
  const auto length = static_cast<std::size_t>(Send(log, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<std::size_t>(
      Send(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(copied);
  return text;
}

// Closes the window as its title bar would and returns the program's exit code.
DWORD CloseAndWait(HANDLE process, HWND top) {
  PostMessageW(top, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, kExitLimitMs) != WAIT_OBJECT_0) {
    throw Failure{"the program did not end after WM_CLOSE"};
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process, &exit_code);
  return exit_code;
}

DWORD Drive(HANDLE process, DWORD process_id, const wchar_t* log_file) {
  const Wizard wizard = StartRun(process, process_id);
  HWND top = wizard.top;
  HWND next = wizard.next;
  WaitFor(process, kRunLimitMs, "the run did not finish in time",
          [&] { return IsWindowEnabled(next) != FALSE; });

  if (ChildWithId(top, travik::ids::kMList) == nullptr)
    throw Failure{"the check log was not found"};
  WriteFileText(log_file, Utf8(LogText(top)));
  return CloseAndWait(process, top);
}

// Waits until the window has painted what it shows, then hands it over for its screenshot.
void AwaitScreenshot(HANDLE process, HWND top, const std::wstring& folder, int page) {
  RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Send(top, WM_NULL, 0, 0);
  Sleep(kSettleMs);
  RECT r{};
  GetClientRect(top, &r);
  MapWindowPoints(top, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  const std::wstring base = folder + L"\\page-" + std::to_wstring(page);
  WriteFileText((base + L".ready").c_str(), std::to_string(r.left) + " " + std::to_string(r.top) +
                                                " " + std::to_string(r.right - r.left) + " " +
                                                std::to_string(r.bottom - r.top) + "\n");
  const std::wstring taken = base + L".taken";
  WaitFor(process, kShotLimitMs, "the screenshot was not taken in time",
          [&] { return GetFileAttributesW(taken.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

DWORD ShowPages(HANDLE process, DWORD process_id, const std::wstring& folder) {
  HWND top = nullptr;
  WaitFor(process, kWindowLimitMs, "no visible window appeared", [&] {
    top = travik::test::VisibleTopLevelWindowOf(process_id);
    return top != nullptr;
  });
  WaitForInputIdle(process, static_cast<DWORD>(kWindowLimitMs));
  AwaitScreenshot(process, top, folder, 0);
  const Wizard wizard = StartRun(process, process_id);
  WaitFor(process, kRunLimitMs, "the run did not finish in time",
          [&] { return IsWindowEnabled(wizard.next) != FALSE; });
  AwaitScreenshot(process, top, folder, 1);
  Send(wizard.next, BM_CLICK, 0, 0);
  AwaitScreenshot(process, top, folder, 2);
  return CloseAndWait(process, top);
}

// The bytes of a file another process may be appending to; empty while it cannot be opened.
std::string ReadShared(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(kMaxWatchedBytes, '\0');
  DWORD read = 0;
  if (!ReadFile(file, bytes.data(), kMaxWatchedBytes, &read, nullptr)) read = 0;
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

struct CloseRequest {
  std::wstring probe_line;           // the log text to wait for
  std::wstring watched_file;         // and the file that must hold every marker
  std::vector<std::string> markers;  // UTF-8
};

struct Closed {
  DWORD exit_code = 0;
  double close_to_exit_ms = 0.0;
};

Closed CloseDuringRun(HANDLE process, DWORD process_id, const CloseRequest& request) {
  const Wizard wizard = StartRun(process, process_id);
  WaitFor(process, kProbeLineLimitMs, "the log never showed the probe line",
          [&] { return LogText(wizard.top).find(request.probe_line) != std::wstring::npos; });
  WaitFor(process, kMarkersLimitMs, "the watched file never held every marker", [&] {
    const std::string bytes = ReadShared(request.watched_file);
    for (const std::string& marker : request.markers) {
      if (bytes.find(marker) == std::string::npos) return false;
    }
    return true;
  });
  if (IsWindowEnabled(wizard.next)) throw Failure{"the run had ended before the window closed"};

  LARGE_INTEGER frequency{}, posted{}, ended{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&posted);
  if (!PostMessageW(wizard.top, WM_CLOSE, 0, 0)) throw Failure{"WM_CLOSE could not be posted"};
  if (WaitForSingleObject(process, kCloseExitLimitMs) != WAIT_OBJECT_0) {
    throw Failure{"the program did not end after WM_CLOSE"};
  }
  QueryPerformanceCounter(&ended);
  Closed closed;
  closed.close_to_exit_ms = 1000.0 * static_cast<double>(ended.QuadPart - posted.QuadPart) /
                            static_cast<double>(frequency.QuadPart);
  GetExitCodeProcess(process, &closed.exit_code);
  return closed;
}

// PROGRAM started in CURRENT_DIR, without arguments.
std::optional<StartedProgram> Start(const wchar_t* program, const wchar_t* current_dir) {
  return StartProgram(program, L"", current_dir);
}

// Runs `drive` on the started program; on a failure says which step failed and ends it.
template <typename DriveIt>
int Supervise(const StartedProgram& started, DriveIt drive) {
  int status = 1;
  try {
    status = drive();
  } catch (const Failure& failure) {
    std::fprintf(stderr, "wizard_driver: %s\n", failure.what);
    TerminateProcess(started.process.get(), 99);
    WaitForSingleObject(started.process.get(), kExitLimitMs);
  }
  return status;
}

int ReportExit(DWORD exit_code) {
  if (exit_code == 0) return 0;
  std::fprintf(stderr, "wizard_driver: the program ended with exit code %lu\n", exit_code);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 7 && std::wstring(argv[1]) == L"close") {
    CloseRequest request;
    request.probe_line = L"Testando conexão em " + std::wstring(argv[4]) + L"...";
    request.watched_file = argv[5];
    for (int i = 6; i < argc; ++i) request.markers.push_back(Utf8(argv[i]));
    const std::optional<StartedProgram> started = Start(argv[2], argv[3]);
    if (!started) return 1;
    return Supervise(*started, [&] {
      const Closed closed = CloseDuringRun(started->process.get(), started->id, request);
      std::printf("close_to_exit_ms %.1f\nexit_code %lu\n", closed.close_to_exit_ms,
                  closed.exit_code);
      std::fflush(stdout);
      return ReportExit(closed.exit_code);
    });
  }
  if (argc == 5 && std::wstring(argv[1]) == L"pages") {
    const std::optional<StartedProgram> started = Start(argv[2], argv[3]);
    if (!started) return 1;
    return Supervise(*started, [&] {
      return ReportExit(ShowPages(started->process.get(), started->id, argv[4]));
    });
  }
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: wizard_driver PROGRAM CURRENT_DIR LOG_FILE\n"
                 "       wizard_driver close PROGRAM CURRENT_DIR HOST:PORT WATCHED_FILE "
                 "MARKER...\n"
                 "       wizard_driver pages PROGRAM CURRENT_DIR FOLDER\n");
    return 1;
  }
  const std::optional<StartedProgram> started = Start(argv[1], argv[2]);
  if (!started) return 1;
  return Supervise(*started,
                   [&] { return ReportExit(Drive(started->process.get(), started->id, argv[3])); });
}
