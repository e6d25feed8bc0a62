// Runs the wizard of a program as a person would, read through Win32 as accessibility tools see
// it: starts PROGRAM in CURRENT_DIR, waits for its window, presses "COMEÇAR", waits until
// "Próximo" is enabled, writes the check log's text (UTF-8, CR LF between paragraphs) to
// LOG_FILE, closes the window and waits for the program to end.
//
//   wizard_driver.exe PROGRAM CURRENT_DIR LOG_FILE
//
// Exit code 0 when every step worked and PROGRAM ended with 0; otherwise 1, with the step that
// failed on standard error (PROGRAM is then ended). Every wait is bounded.
#include <windows.h>

#include <cstdio>
#include <string>

#include "process_windows.h"
#include "ui/control_ids.h"

namespace {

constexpr ULONGLONG kWindowLimitMs = 60000;  // until the window is shown
constexpr ULONGLONG kRunLimitMs = 90000;     // until the check run has finished
constexpr DWORD kExitLimitMs = 30000;        // from WM_CLOSE until the process has ended
constexpr UINT kSendLimitMs = 10000;         // for each message sent to the window
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

DWORD Drive(HANDLE process, DWORD process_id, const wchar_t* log_file) {
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
  WaitFor(process, kRunLimitMs, "the run did not finish in time",
          [&] { return IsWindowEnabled(next) != FALSE; });

  HWND log = ChildWithId(top, travik::ids::kMList);
  if (log == nullptr) throw Failure{"the check log was not found"};
  const auto length = static_cast<std::size_t>(Send(log, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<std::size_t>(
      Send(log, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(copied);
  WriteFileText(log_file, Utf8(text));

  PostMessageW(top, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, kExitLimitMs) != WAIT_OBJECT_0) {
    throw Failure{"the program did not end after WM_CLOSE"};
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process, &exit_code);
  return exit_code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wizard_driver PROGRAM CURRENT_DIR LOG_FILE\n");
    return 1;
  }
  std::wstring command_line = L"\"" + std::wstring(argv[1]) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(argv[1], command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, argv[2],
                      &startup, &info)) {
    std::fprintf(stderr, "wizard_driver: CreateProcessW failed: %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(info.hThread);
  int status = 1;
  try {
    const DWORD exit_code = Drive(info.hProcess, info.dwProcessId, argv[3]);
    if (exit_code == 0) {
      status = 0;
    } else {
      std::fprintf(stderr, "wizard_driver: the program ended with exit code %lu\n", exit_code);
    }
  } catch (const Failure& failure) {
    std::fprintf(stderr, "wizard_driver: %s\n", failure.what);
    TerminateProcess(info.hProcess, 99);
    WaitForSingleObject(info.hProcess, kExitLimitMs);
  }
  CloseHandle(info.hProcess);
  return status;
}
