// TRAVIK: checks, before installation, whether this PC meets the prerequisites of the
// KORVENA DUVIVER market-data platform.
#include <windows.h>


#include "app/startup.h"
#include "platform/host_windows.h"
#include "platform/socket.h"
#include "platform/win_handles.h"
#include "toolkit/dialogs.h"
#include "toolkit/text.h"
#include "ui/GUITravik.h"

namespace {

int RunMessageLoop(HWND window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab, Enter and Space move between and press the controls, as in a dialog.
    if (IsWindow(window) && IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  using namespace travik;
  // 1. The OS version values and the number format, read once.
  TravikSetup setup = ProductSetup();
  setup.os = ReadOsFacts();
  setup.decimal_separator = UserDecimalSeparator();

  try {
    // 2. The platform services the window uses.
    const WindowServices services;

    // 3. The theme.
    const ThemeStore themes = LoadThemeStore(instance);
    setup.theme = ApplyTheme(themes, kThemeName, ShowMissingThemeBox);

    // 4. The main window, and 5. its event loop until it is closed.
    TFrmTravik FrmTravik(std::move(setup));
    if (!FrmTravik.Create(instance, show_command)) {
      ShowStandardErrorBox(nullptr, L"The main window could not be created");
      return 1;
    }
    return RunMessageLoop(FrmTravik.Handle());
  } catch (const std::exception& e) {
    ShowStandardErrorBox(nullptr, Widen(e.what()));
    return 1;
  }
}
