#pragma once
// The taskbar button's progress indicator (Windows 7 and later). Every failure is ignored: the
// indicator is a courtesy, never a reason to stop.
#include <windows.h>

#include <memory>

namespace travik {

class TaskbarProgress {
 public:
  virtual ~TaskbarProgress() = default;
  // The button shows work of unknown length, or nothing.
  virtual void SetBusy(HWND window, bool busy) noexcept = 0;
};

// The system's taskbar (ITaskbarList3), or null when it cannot be had. COM must be started.
[[nodiscard]] std::unique_ptr<TaskbarProgress> SystemTaskbar();

}  // namespace travik
