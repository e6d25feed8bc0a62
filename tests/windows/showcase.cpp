// The real window with every endpoint on loopback, for looking at it (screenshots) without
// reaching any real server: two endpoints accept, one refuses, one name does not resolve, and a
// scripted FTP server rejects the test login. Closes itself after the seconds given (default 120).
//
//   wine showcase.exe [seconds] [fail]      "fail" also makes the host checks, more probes and the
//   FTP login fail
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "../native/scripted_ftp_server.h"
#include "app/startup.h"
#include "gui_test_support.h"

int main(int argc, char** argv) {
  using namespace travik;
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
  const bool fail = argc > 2 && std::strcmp(argv[2], "fail") == 0;
  const WindowServices services;
  const ThemeStore themes = LoadThemeStore(GetModuleHandleW(nullptr));

  test::AcceptingEndpoint accepting;
  test::ScriptedFtpServer ftp(
      {{"220 Ready", "220 Host ok", "331 Password", "530 Login incorrect."}}, seconds * 1000);
  auto recorded = std::make_shared<test::Recorded>();
  ProgramSetup setup = test::LoopbackSetup(accepting.Endpoint(), ftp.Port(), recorded);
  setup.window.theme = ApplyTheme(themes, kThemeName, ShowMissingThemeBox);
  setup.run.targets.international[1] = test::RefusedEndpoint();
  if (fail) {
    setup.run.targets.broadcast = {test::RefusedEndpoint(), test::UnknownHostEndpoint()};
    setup.run.host.is_admin = [] { return false; };
    setup.run.host.total_memory = [] { return std::uint64_t{2147483648}; };
    setup.run.host.free_disk = [] { return std::int64_t{-1}; };
    setup.run.targets.international[2] = test::RefusedEndpoint();
    setup.run.targets.ftp.port = test::RefusedEndpoint().port;
  }
  setup.window.error_box = ShowStandardErrorBox;
  setup.window.save_dialog = ShowSaveDialog;
  TFrmTravik form(setup.run, setup.window);
  if (!form.Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL)) return 1;
  SetTimer(form.Handle(), 1, static_cast<UINT>(seconds) * 1000,
           [](HWND hwnd, UINT, UINT_PTR, DWORD) { PostMessageW(hwnd, WM_CLOSE, 0, 0); });
  MSG message;
  while (IsWindow(form.Handle()) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(form.Handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
