#pragma once
// What the window's tests, the showcase and the benchmarks share: a window built with loopback
// endpoints and fixed host figures, and ways to press its buttons and read it back.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "ui/GUITravik.h"

namespace travik::test {

// An accepting listener on loopback; connections wait in its backlog, never accepted.
class AcceptingEndpoint {
 public:
  AcceptingEndpoint() : listener_(net::Listener::OnLoopback(0, 64)) {}
  [[nodiscard]] NetworkEndpoint Endpoint() const { return {"127.0.0.1", listener_.Port()}; }

 private:
  net::Listener listener_;
};

// A loopback port on which nothing listens.
[[nodiscard]] NetworkEndpoint RefusedEndpoint();
// A name that no resolver knows.
[[nodiscard]] inline NetworkEndpoint UnknownHostEndpoint() {
  return {"travik-test.invalid", 81};
}

// Every TCP endpoint is `tcp`, the FTP server `ftp_port` on loopback; 8 GiB of memory,
// 100 GiB free, an administrator, Windows 10 x64; the dialogs are recorded, never shown.
struct Recorded {
  std::vector<std::wstring> error_boxes;
  std::vector<SaveDialogSettings> save_dialogs;
  std::optional<std::wstring> save_answer;  // what the save dialog returns
};
[[nodiscard]] TravikSetup LoopbackSetup(const NetworkEndpoint& tcp, std::uint16_t ftp_port,
                                        std::shared_ptr<Recorded> recorded);

[[nodiscard]] std::unique_ptr<TFrmTravik> OpenWindow(TravikSetup setup);

void Click(const TFrmTravik& form, TFrmTravik::Control control);

[[nodiscard]] std::vector<std::wstring> LogLines(const TFrmTravik& form);
// Lines of the log in red (the issue colour).
[[nodiscard]] std::vector<std::wstring> RedLines(const TFrmTravik& form);

[[nodiscard]] std::wstring WindowText(HWND window);

}  // namespace travik::test
