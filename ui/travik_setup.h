#pragma once
// What the program is given when it starts: the host's facts, where the network checks go, and
// the few calls a test cannot use as they are (dialogs, message boxes, the taskbar). The
// product's values come from ProductSetup() (app/product_setup.h); tests and the loopback build
// hand in loopback endpoints and fixed facts instead.
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/check_run.h"
#include "toolkit/dialogs.h"
#include "toolkit/taskbar.h"
#include "toolkit/theme.h"

namespace travik {

struct TravikSetup {
  core::HostFacts host;          // OS values and decimal separator read once at start-up
  core::NetworkTargets targets;  // the endpoints probed and the FTP probe's settings
  const Theme* theme = nullptr;  // null: the default look
  std::function<std::wstring()> read_decimal_separator;  // again when regional settings change
  std::function<std::optional<std::wstring>(HWND, const SaveDialogSettings&)> save_dialog;
  std::function<void(HWND, const std::wstring&)> error_box;
  std::function<void(const std::wstring&)> missing_theme_box;
  // The taskbar button's progress; null when the system has none to offer.
  std::function<std::unique_ptr<TaskbarProgress>()> taskbar;
};

}  // namespace travik
