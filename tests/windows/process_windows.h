#pragma once
// Another process's windows, as the tests and benchmarks that start programs look for them.
#include <windows.h>

namespace travik::test {

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
