#pragma once
// What the window is given besides its run's inputs: its look, the support team's address that
// the verdict names, and the few calls a test cannot use as they are (dialogs, message boxes, the
// taskbar, the regional settings and high contrast read again). The program's own come from
// ProductSetup() (app/product_setup.h).
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "toolkit/dialogs.h"
#include "toolkit/taskbar.h"
#include "toolkit/theme.h"

namespace travik {

struct WindowHooks {
  const Theme* theme = nullptr;                          // null: the default look
  std::string support_address;                           // where the verdict asks the report to go
  std::function<std::wstring()> read_decimal_separator;  // again when regional settings change
  std::function<std::optional<std::wstring>(HWND, const SaveDialogSettings&)> save_dialog;
  std::function<void(HWND, const std::wstring&)> error_box;
  std::function<void(const std::wstring&)> missing_theme_box;
  // The taskbar button's progress; null when the system has none to offer.
  std::function<std::unique_ptr<TaskbarProgress>()> taskbar;
  // Whether high contrast is on: read when the window is made and again when the system's
  // settings or colours change. The program's is SystemHighContrast(); null: never on.
  std::function<bool()> high_contrast;
};

}  // namespace travik
