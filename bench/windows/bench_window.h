#pragma once
// The real window for the Windows benchmarks: TFrmTravik built in the benchmark's own process
// with every endpoint on loopback (tests/windows/gui_test_support.h), in the program's theme,
// with its dialogs recorded instead of shown. It is shown without taking the activation.
#include <windows.h>

#include <memory>

#include "app/startup.h"
#include "tests/windows/gui_test_support.h"
#include "ui/GUITravik.h"
#include "ui/control_ids.h"

namespace travik::bench {

// The program's themes, loaded once; the windows point into the store.
[[nodiscard]] inline const ThemeStore& ProgramThemes() {
  static const ThemeStore store = LoadThemeStore(GetModuleHandleW(nullptr));
  return store;
}

// Every TCP endpoint `tcp`, the FTP server on loopback port `ftp_port`, the program's theme.
[[nodiscard]] inline ProgramSetup BenchSetup(const core::NetworkEndpoint& tcp,
                                             std::uint16_t ftp_port,
                                             std::shared_ptr<test::Recorded> recorded) {
  ProgramSetup setup = test::LoopbackSetup(tcp, ftp_port, recorded);
  setup.window.theme = ApplyTheme(ProgramThemes(), kThemeName, setup.window.missing_theme_box);
  return setup;
}

[[nodiscard]] inline bool NextEnabled(HWND window) {
  return IsWindowEnabled(test::FindControl(window, ids::kBtnNext)) != 0;
}

// Closes the window and handles what its going leaves in the queue.
inline void CloseWindow(std::unique_ptr<TFrmTravik>& form) {
  form.reset();
  MSG message;
  for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace travik::bench
