#pragma once
// Other processes for the tests and benchmarks that start programs: starting one, and looking for
// its windows.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

#include "platform/win_handles.h"

namespace travik::test {

// A program started with the command line `"program" arguments`; its handle owns it.
struct StartedProgram {
  UniqueHandle process;
  DWORD id = 0;
};

// Started in `folder` (this process's own when empty). Nothing, with the reason on standard
// error, when it cannot be started.
[[nodiscard]] inline std::optional<StartedProgram> StartProgram(const std::wstring& program,
                                                                const std::wstring& arguments,
                                                                const std::wstring& folder = {}) {
  std::wstring command_line = L"\"" + program + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    std::fprintf(stderr, "CreateProcessW failed: %lu\n", GetLastError());
    return std::nullopt;
  }
  const UniqueHandle thread(info.hThread);
  return StartedProgram{UniqueHandle(info.hProcess), info.dwProcessId};
}

enum class Owned { kLeftOut, kIncluded };

// A visible top-level window of the process, or null. Owned windows (a dialog over the main
// window) are looked at only when asked for.
[[nodiscard]] inline HWND VisibleTopLevelWindowOf(DWORD process_id, Owned owned = Owned::kLeftOut) {
  struct Search {
    DWORD process_id;
    Owned owned;
    HWND found;
  } search{process_id, owned, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        DWORD owner_process = 0;
        GetWindowThreadProcessId(hwnd, &owner_process);
        if (owner_process != s->process_id || !IsWindowVisible(hwnd)) return TRUE;
        if (s->owned == Owned::kLeftOut && GetWindow(hwnd, GW_OWNER) != nullptr) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace travik::test
