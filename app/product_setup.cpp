#include "app/product_setup.h"

#include "app/product_targets.h"
#include "platform/host_windows.h"
#include "platform/text.h"
#include "toolkit/palette.h"

namespace travik {

ProgramSetup ProductSetup() {
  ProgramSetup setup;
  core::HostFacts& host = setup.run.host;
  host.os = ReadOsFacts();
  host.decimal_separator = Narrow(UserDecimalSeparator());
  host.total_memory = TotalPhysicalMemory;
  host.free_disk = FreeDiskBytes;
  host.is_admin = IsUserAdmin;
  setup.run.targets = ProductTargets();
  // Fifty writers at once wait for each other well under a second (bench/windows/csv_bench.cpp),
  // a share adding its round trips to each; a file that Excel holds for longer costs the row
  // rather than hold up the deployment tool.
  setup.unattended.table_wait = std::chrono::seconds(30);
  WindowHooks& window = setup.window;
  window.support_address = kSupportAddress;
  window.read_decimal_separator = UserDecimalSeparator;
  window.save_dialog = ShowSaveDialog;
  window.error_box = ShowStandardErrorBox;
  window.missing_theme_box = ShowMissingThemeBox;
  window.taskbar = SystemTaskbar;
  window.high_contrast = SystemHighContrast;
  return setup;
}

}  // namespace travik
