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

// A loopback port on which nothing listens.
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

[[nodiscard]] std::unique_ptr<TFrmTravik> OpenWindow(ProgramSetup setup);

// A child of `window` (at any depth) by its control id; null when there is none.
[[nodiscard]] HWND FindControl(HWND window, int id);
void Click(HWND window, int id);

// Handles this thread's messages until `done` holds or `limit_ms` has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int limit_ms = 30000);
// Presses "COMEÇAR" and handles messages until "Próximo" is enabled (the run's end).
bool RunChecks(HWND window);
// The page that is shown (0, 1, 2), or -1.
[[nodiscard]] int VisiblePage(HWND window);

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
