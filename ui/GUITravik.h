#pragma once
// TFrmTravik: the program's one window, a three-page wizard. Its handlers are the program's
// logic: the check run with the host and network checks, the verdict and the report export.
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ftp_client.h"
#include "platform/os_line.h"
#include "platform/tcp_client.h"
#include "platform/win_handles.h"
#include "toolkit/banner.h"
#include "toolkit/dialogs.h"
#include "toolkit/rich_log.h"
#include "toolkit/theme.h"

namespace travik {

struct NetworkEndpoint {
  std::string host;
  std::uint16_t port = 0;
};

// What the window is given when it is built. ProductSetup() holds the program's own values;
// tests replace what they cannot use as it is (endpoints, host figures, dialogs).
struct TravikSetup {
  OsFacts os;                             // read once at start-up
  std::wstring decimal_separator = L".";  // read at start-up
  const Theme* theme = nullptr;           // null: the default look
  std::array<NetworkEndpoint, 2> broadcast;
  std::array<NetworkEndpoint, 4> international;
  net::FtpSettings ftp;
  std::function<std::uint64_t()> total_memory;
  std::function<std::int64_t()> free_disk;
  std::function<bool()> is_admin;
  std::function<std::wstring()> read_decimal_separator;  // again when regional settings change
  std::function<std::optional<std::wstring>(HWND, const SaveDialogSettings&)> save_dialog;
  std::function<void(HWND, const std::wstring&)> error_box;
  bool quit_on_close = true;  // the main window ends the program when it is closed
  // For tests: runs between a TCP probe's connect and its open check.
  std::function<void()> before_open_check;
};

[[nodiscard]] TravikSetup ProductSetup();

class TFrmTravik {
 public:
  enum class Control {
    nbPages,
    btnStart,
    btnNext,
    mList,
    lblResult,
    btnExport,
    btnClose,
    Label1,
    Label2,
    Image1,
    Panel1
  };

  explicit TFrmTravik(TravikSetup setup);
  ~TFrmTravik();
  TFrmTravik(const TFrmTravik&) = delete;
  TFrmTravik& operator=(const TFrmTravik&) = delete;

  // Builds the window with its layout, runs FormCreate and shows it. False when it failed.
  bool Create(HINSTANCE instance, int show_command);
  [[nodiscard]] HWND Handle() const { return hwnd_; }

  // What a test or an accessibility tool reads back.
  [[nodiscard]] HWND ControlHandle(Control control) const;
  [[nodiscard]] int CurrentPage() const { return current_page_; }
  [[nodiscard]] const RichLog& Log() const { return mList; }
  [[nodiscard]] const std::vector<std::wstring>& Errors() const { return FError; }
  [[nodiscard]] const std::vector<std::wstring>& SecondaryErrors() const { return FSecondaryError; }
  [[nodiscard]] const std::wstring& ResultText() const { return result_text_; }
  [[nodiscard]] const std::wstring& DecimalSeparator() const { return setup_.decimal_separator; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l);

  // Event handlers.
  void FormCreate();
  void btnStartClick();
  void btnNextClick();
  void btnExportClick();
  void btnCloseClick();

  // The checks.
  void AddIssue(const std::wstring& text, bool primary);
  void CheckMemory();
  void CheckDiskSpace();
  bool IsUserAdmin();
  void CheckBroadcastServers();
  void CheckInternationalServers();
  bool TestConnection(const std::string& host, std::uint16_t port, bool primary);
  void CheckFtpServer();

  // The window's plumbing.
  bool BuildLayout();
  void ApplyDpi(UINT dpi);
  void Layout();
  void ShowPage(int index);
  void SetLabelText(HWND label, const std::wstring& text);
  void FitLabel(HWND label);
  [[nodiscard]] int Scale(int pixels_at_96_dpi) const;
  [[nodiscard]] HBRUSH BrushFor(HWND panel) const;
  void PaintPanel(HWND panel, HDC dc);
  void DrawButton(const DRAWITEMSTRUCT& item);
  void OnCommand(int id, int code);
  template <typename Handler>
  void Guarded(Handler&& handler);

  TravikSetup setup_;
  HINSTANCE instance_ = nullptr;
  HWND hwnd_ = nullptr;
  UINT dpi_ = 96;
  int current_page_ = 2;
  HWND last_focus_ = nullptr;  // the focused control when the window was last deactivated

  // Controls, owned by the window (destroyed with it).
  HWND nbPages = nullptr;
  std::array<HWND, 3> pages_{};
  HWND Image1 = nullptr;
  HWND Label1 = nullptr;
  HWND btnStart = nullptr;
  HWND Panel1 = nullptr;
  HWND btnNext = nullptr;
  RichLog mList;
  HWND Label2 = nullptr;
  HWND lblResult = nullptr;
  HWND btnExport = nullptr;
  HWND btnClose = nullptr;
  std::wstring result_text_ = L"-";

  SaveDialogSettings SaveDialog1;
  net::TcpClient IdTCPClient1;
  net::FtpClient IdFTP1;

  std::vector<std::wstring> FError;           // impediments
  std::vector<std::wstring> FSecondaryError;  // secondary errors

  // Look: colours from the theme (or the default look), with the brushes and fonts they need.
  struct Palette {
    COLORREF page, panel, text, button, button_pressed, button_border, button_text, button_disabled,
        button_disabled_text, focus, log;
    bool themed;
  };
  Palette palette_{};
  UniqueBrush page_brush_, panel_brush_;
  UniqueFont font_, heading_font_;
  UniqueIcon icon_big_, icon_small_;
  Picture banner_;
};

}  // namespace travik
