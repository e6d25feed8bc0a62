#include "app/product_setup.h"

#include "platform/host_windows.h"
#include "toolkit/text.h"

namespace travik {

TravikSetup ProductSetup() {
  TravikSetup setup;
  setup.host.os = ReadOsFacts();
  setup.host.decimal_separator = Narrow(UserDecimalSeparator());
  setup.host.total_memory = TotalPhysicalMemory;
  setup.host.free_disk = FreeDiskBytes;
  setup.host.is_admin = IsUserAdmin;
  setup.targets = core::ProductTargets();
  setup.read_decimal_separator = UserDecimalSeparator;
  setup.save_dialog = ShowSaveDialog;
  setup.error_box = ShowStandardErrorBox;
  setup.missing_theme_box = ShowMissingThemeBox;
  setup.taskbar = SystemTaskbar;
  return setup;
}

}  // namespace travik
