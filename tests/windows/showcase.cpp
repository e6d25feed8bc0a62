// The real window with every endpoint on loopback, for looking at it (screenshots) without
// reaching any real server: the endpoints accept but one, which refuses, and a scripted FTP
// server rejects the test login (a short verdict). Closes itself after the seconds given (default
// 120).
//
//   wine showcase.exe [seconds] [fail] [contrast] [page1|page2] [end] [focus]
//
//   fail      the longest verdict: the host checks, every probe and the FTP login fail
//   contrast  high contrast on (through the window's setup: Wine cannot switch it on), with High
//             Contrast Black's system colours while the showcase runs
//   page1     presses "COMEÇAR"; page2 also presses "Próximo" when the run has ended
//   end       on the verdict page, scrolls the verdict to its end; focus puts the focus on it
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "../native/scripted_ftp_server.h"
#include "app/startup.h"
#include "gui_test_support.h"

namespace {

struct Steps {
  int page = 0;  // the page to go to
  bool end = false;
  bool focus = false;
};
Steps steps;

// Presses on, one step at a time, toward the page asked for.
void CALLBACK Step(HWND window, UINT, UINT_PTR timer, DWORD) {
  using namespace travik;
  const int shown = test::VisiblePage(window);
  if (shown < steps.page) {
    if (shown == 0) test::Click(window, ids::kBtnStart);
    if (shown == 1 && IsWindowEnabled(test::FindControl(window, ids::kBtnNext))) {
      test::Click(window, ids::kBtnNext);
    }
    return;
  }
  KillTimer(window, timer);
  if (shown != 2) return;
  HWND box = test::FindControl(window, ids::kScrollBox1);
  if (steps.focus) SetFocus(box);
  if (steps.end) SendMessageW(box, WM_KEYDOWN, VK_END, 0);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace travik;
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
  bool fail = false, contrast = false;
  for (int i = 2; i < argc; ++i) {
    const char* word = argv[i];
    fail |= std::strcmp(word, "fail") == 0;
    contrast |= std::strcmp(word, "contrast") == 0;
    if (std::strcmp(word, "page1") == 0) steps.page = 1;
    if (std::strcmp(word, "page2") == 0) steps.page = 2;
    steps.end |= std::strcmp(word, "end") == 0;
    steps.focus |= std::strcmp(word, "focus") == 0;
  }
  const WindowServices services;
  const ThemeStore themes = LoadThemeStore(GetModuleHandleW(nullptr));
  std::optional<test::SystemColours> high_contrast_colours;
  if (contrast) high_contrast_colours.emplace();

  test::AcceptingEndpoint accepting;
  test::ScriptedFtpServer ftp(
      {{"220 Ready", "220 Host ok", "331 Password", "530 Login incorrect."}}, seconds * 1000);
  auto recorded = std::make_shared<test::Recorded>();
  ProgramSetup setup = test::LoopbackSetup(accepting.Endpoint(), ftp.Port(), recorded);
  setup.window.theme = ApplyTheme(themes, kThemeName, ShowMissingThemeBox);
  setup.run.targets.international[1] = test::RefusedEndpoint();
  if (fail) test::MakeEverythingFail(setup);
  setup.window.error_box = ShowStandardErrorBox;
  setup.window.save_dialog = ShowSaveDialog;
  setup.window.high_contrast = [contrast] { return contrast; };
  TFrmTravik form(setup.run, setup.window);
  if (!form.Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL)) return 1;
  SetTimer(form.Handle(), 1, static_cast<UINT>(seconds) * 1000,
           [](HWND hwnd, UINT, UINT_PTR, DWORD) { PostMessageW(hwnd, WM_CLOSE, 0, 0); });
  if (steps.page > 0) SetTimer(form.Handle(), 2, 100, Step);
  MSG message;
  while (IsWindow(form.Handle()) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(form.Handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
