#include "app/program.h"

#include "app/startup.h"
#include "app/unattended.h"
#include "platform/text.h"
#include "toolkit/dialogs.h"
#include "ui/GUITravik.h"

namespace travik {
namespace {

// Runs until `window` is gone. Tab, Enter and Space move between and press the controls, as in
// a dialog.
void RunMessageLoop(HWND window) {
  MSG message;
  while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int RunWizard(HINSTANCE instance, int show_command, ProgramSetup setup) {
  // The platform services the window uses, then the theme.
  const WindowServices services;
  const ThemeStore themes = LoadThemeStore(instance);
  setup.window.theme = ApplyTheme(themes, kThemeName, setup.window.missing_theme_box);

  // The main window, and its event loop until it is closed.
  TFrmTravik FrmTravik(std::move(setup.run), std::move(setup.window));
  if (!FrmTravik.Create(instance, show_command)) {
    ShowStandardErrorBox(nullptr, L"The main window could not be created");
    return 1;
  }
  RunMessageLoop(FrmTravik.Handle());
  return 0;
}

}  // namespace

int RunProgram(HINSTANCE instance, int show_command, ProgramSetup setup) {
  try {
    if (const std::optional<int> code = RunFromCommandLine(setup.run, setup.unattended))
      return *code;
    return RunWizard(instance, show_command, std::move(setup));
  } catch (const std::exception& e) {
    ShowStandardErrorBox(nullptr, Widen(e.what()));
    return 1;
  }
}

}  // namespace travik
