#pragma once
// What the window's tests, the showcase and the benchmarks share: a window built with loopback
// endpoints and fixed host figures, and ways to press its buttons and read it back through
// Win32, as a person's tools would.
#include <windows.h>

#include <richedit.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/product_setup.h"
#include "app/product_targets.h"
#include "platform/socket.h"
#include "tests/native/loopback_listener.h"
#include "ui/GUITravik.h"
#include "ui/control_ids.h"

namespace travik::test {

using core::NetworkEndpoint;

// An accepting listener on loopback; connections wait in its backlog, never accepted.
class AcceptingEndpoint {
 public:
  AcceptingEndpoint() : listener_(test::Listener::OnLoopback(0, 64)) {}
  [[nodiscard]] NetworkEndpoint Endpoint() const { return {"127.0.0.1", listener_.Port()}; }

 private:
  test::Listener listener_;
};

// A loopback port on which nothing listens, held until the process ends so that no server the
// test starts later is given it.
[[nodiscard]] NetworkEndpoint RefusedEndpoint();
// A name that no resolver knows.
[[nodiscard]] inline NetworkEndpoint UnknownHostEndpoint() {
  return {"travik-test.invalid", 81};
}

// What the window asked of the dialogs and the taskbar; they are recorded, never shown.
struct Recorded {
  std::vector<std::wstring> error_boxes;
  std::vector<SaveDialogSettings> save_dialogs;
  std::optional<std::wstring> save_answer;  // what the save dialog returns
  std::vector<bool> taskbar_busy;           // each SetBusy call
};

// Every TCP endpoint is `tcp`, the FTP server `ftp_port` on loopback; 8 GiB of memory,
// 100 GiB free, an administrator, Windows 10 x64.
[[nodiscard]] ProgramSetup LoopbackSetup(const NetworkEndpoint& tcp, std::uint16_t ftp_port,
                                         std::shared_ptr<Recorded> recorded);

// The program's own theme (KORVENA), whose colours differ from every system colour.
[[nodiscard]] const Theme& ProgramTheme();

// The longest verdict, with no name look-ups: a non-administrator with too little memory and disk,
// every endpoint refused (entries of three lines each), the FTP probe failed.
void MakeEverythingFail(ProgramSetup& setup);

[[nodiscard]] std::unique_ptr<TFrmTravik> OpenWindow(ProgramSetup setup);

// Tells `window` that it is now on a monitor of `dpi` (WM_DPICHANGED), suggesting the designed
// client size at that DPI in the frame the system draws for it. Under Wine, whose DPI is the
// same for every window, the frame stays as it was.
void MoveToDpi(HWND window, UINT dpi);

// The system's colours replaced for as long as it lives, as a high-contrast theme replaces them
// (SetSysColors; the system tells every window with WM_SYSCOLORCHANGE). High Contrast Black's
// colours by default.
class SystemColours {
 public:
  struct Entry {
    int index;
    COLORREF colour;
  };
  static const std::vector<Entry> kHighContrastBlack;
  explicit SystemColours(const std::vector<Entry>& entries = kHighContrastBlack);
  ~SystemColours();
  SystemColours(const SystemColours&) = delete;
  SystemColours& operator=(const SystemColours&) = delete;

 private:
  std::vector<int> indexes_;
  std::vector<COLORREF> previous_;
};

// A child of `window` (at any depth) by its control id; null when there is none.
[[nodiscard]] HWND FindControl(HWND window, int id);
void Click(HWND window, int id);

// Handles this thread's messages until `done` holds or `limit_ms` has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int limit_ms = 30000);
// Presses "COMEÇAR" and handles messages until "Próximo" is enabled (the run's end).
bool RunChecks(HWND window);
// The page that is shown (0, 1, 2), or -1.
[[nodiscard]] int VisiblePage(HWND window);

// Where a window is, in screen coordinates.
[[nodiscard]] RECT ScreenRect(HWND window);
// The part of a window that can be seen: its rectangle cut by the client area of each window it
// lies in (screen coordinates; empty when nothing of it shows).
[[nodiscard]] RECT VisiblePart(HWND window);

// What `window` shows at `point` of its client area.
[[nodiscard]] COLORREF PixelAt(HWND window, POINT point);
// Handles messages until the pixel is `colour` (painting done) or a few seconds have passed;
// returns the pixel last read.
COLORREF WaitForPixel(HWND window, POINT point, COLORREF colour);
// How many pixels of `rect` (client coordinates of `window`) show `colour`.
[[nodiscard]] int CountPixels(HWND window, const RECT& rect, COLORREF colour);

// A RichEdit's paragraphs with their colours (`uniform` false when one mixes colours).
struct ColouredLine {
  std::wstring text;
  COLORREF colour;
  bool uniform;
  CHARFORMAT2W format;  // the paragraph's character format; dwMask has what is the same throughout
};
[[nodiscard]] std::vector<ColouredLine> ReadRichEdit(HWND edit);

// A new folder under the temporary folder, named after `prefix`, this process and the time.
[[nodiscard]] std::filesystem::path NewTempFolder(const std::wstring& prefix);

[[nodiscard]] std::string ReadBytes(const std::filesystem::path& path);
// An RTF file as an independent RichEdit reads it: its paragraphs with their formats.
[[nodiscard]] std::vector<ColouredLine> ReadRtfFile(const std::filesystem::path& path);
[[nodiscard]] std::vector<std::wstring> LogLines(HWND window);
// Lines of the log in red (the issue colour).
[[nodiscard]] std::vector<std::wstring> RedLines(HWND window);

// Handles this thread's messages until `window` and all of its children have painted what they
// had to and no message is waiting for them (bounded by `limit_ms`); returns whether they had.
// For tests that read the window's pixels.
bool PumpUntilPainted(HWND window, int limit_ms = 30000);

}  // namespace travik::test
