#include "gui_test_support.h"

#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "app/product_setup.h"
#include "app/startup.h"
#include "platform/error.h"
#include "platform/text.h"
#include "toolkit/dpi.h"
#include "ui/layout.h"

namespace travik::test {
namespace {

class RecordingTaskbar final : public TaskbarProgress {
 public:
  explicit RecordingTaskbar(std::shared_ptr<Recorded> recorded) : recorded_(std::move(recorded)) {}
  void SetBusy(HWND, bool busy) noexcept override { recorded_->taskbar_busy.push_back(busy); }

 private:
  std::shared_ptr<Recorded> recorded_;
};

struct Search {
  int id;
  HWND found;
};

BOOL CALLBACK MatchId(HWND hwnd, LPARAM l) {
  auto* search = reinterpret_cast<Search*>(l);
  if (GetDlgCtrlID(hwnd) != search->id) return TRUE;
  search->found = hwnd;
  return FALSE;
}

}  // namespace

NetworkEndpoint RefusedEndpoint() {
  // Each port stays held until the process ends, so that no server started later is given it.
  static std::mutex mutex;
  static std::vector<test::Listener> held;
  const std::lock_guard<std::mutex> lock(mutex);
  held.push_back(test::Listener::RefusingOnLoopback());
  return {"127.0.0.1", held.back().Port()};
}

ProgramSetup LoopbackSetup(const NetworkEndpoint& tcp, std::uint16_t ftp_port,
                           std::shared_ptr<Recorded> recorded) {
  ProgramSetup setup = ProductSetup();
  for (NetworkEndpoint& e : setup.run.targets.broadcast) e = tcp;
  for (NetworkEndpoint& e : setup.run.targets.international) e = tcp;
  setup.run.targets.ftp.host = "127.0.0.1";
  setup.run.targets.ftp.port = ftp_port;
  setup.run.targets.ftp.connect_timeout_ms = 2000;
  setup.run.targets.ftp.read_timeout_ms = 2000;
  OsFacts& os = setup.run.host.os;
  os = {};
  os.major = 10;
  os.build = 19045;
  os.product_type = 1;
  os.verified_workstation = true;
  os.native_x64 = true;
  setup.run.host.total_memory = [] { return std::uint64_t{8} << 30; };
  setup.run.host.free_disk = [] { return std::int64_t{100} << 30; };
  setup.run.host.is_admin = [] { return true; };
  // Tests name hosts under .invalid for "host not found"; none is ever sent to a name server.
  setup.run.look_up = [](const std::string&) -> std::optional<net::Ipv4Address> {
    return std::nullopt;
  };
  setup.run.host.decimal_separator = ".";
  setup.window.read_decimal_separator = [] { return std::wstring(L"."); };
  setup.window.error_box = [recorded](HWND, const std::wstring& text) {
    recorded->error_boxes.push_back(text);
  };
  setup.window.missing_theme_box = [recorded](const std::wstring& name) {
    recorded->error_boxes.push_back(L"missing theme " + name);
  };
  setup.window.save_dialog = [recorded](HWND, const SaveDialogSettings& settings) {
    recorded->save_dialogs.push_back(settings);
    return recorded->save_answer;
  };
  setup.window.taskbar = [recorded]() -> std::unique_ptr<TaskbarProgress> {
    return std::make_unique<RecordingTaskbar>(recorded);
  };
  return setup;
}

const Theme& ProgramTheme() {
  static const ThemeStore themes = LoadThemeStore(GetModuleHandleW(nullptr));
  const Theme* theme = themes.Find(Narrow(kThemeName));
  if (theme == nullptr) throw Error("the program's theme is missing from the resources");
  return *theme;
}

void MakeEverythingFail(ProgramSetup& setup) {
  const NetworkEndpoint refused = RefusedEndpoint();
  for (NetworkEndpoint& e : setup.run.targets.broadcast) e = refused;
  for (NetworkEndpoint& e : setup.run.targets.international) e = refused;
  setup.run.targets.ftp.port = refused.port;
  setup.run.host.is_admin = [] { return false; };
  setup.run.host.total_memory = [] { return std::uint64_t{1} << 30; };
  setup.run.host.free_disk = [] { return std::int64_t{1} << 29; };
}

std::unique_ptr<TFrmTravik> OpenWindow(ProgramSetup setup) {
  auto form = std::make_unique<TFrmTravik>(std::move(setup.run), std::move(setup.window));
  if (!form->Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE)) return nullptr;
  return form;
}

void MoveToDpi(HWND window, UINT dpi) {
  RECT r{0, 0, ScaleForDpi(layout::kClient.cx, dpi), ScaleForDpi(layout::kClient.cy, dpi)};
  AdjustWindowRectForDpi(&r, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)),
                         static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)),
                         WindowDpi(window));
  RECT now;
  GetWindowRect(window, &now);
  OffsetRect(&r, now.left - r.left, now.top - r.top);
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
}

const std::vector<SystemColours::Entry> SystemColours::kHighContrastBlack = {
    {COLOR_WINDOW, RGB(0, 0, 0)},          {COLOR_WINDOWTEXT, RGB(255, 255, 255)},
    {COLOR_BTNFACE, RGB(0, 0, 0)},         {COLOR_BTNTEXT, RGB(255, 255, 255)},
    {COLOR_HIGHLIGHT, RGB(26, 235, 255)},  {COLOR_HIGHLIGHTTEXT, RGB(0, 0, 0)},
    {COLOR_HOTLIGHT, RGB(255, 255, 0)},    {COLOR_GRAYTEXT, RGB(63, 242, 63)},
    {COLOR_BTNSHADOW, RGB(255, 255, 255)}, {COLOR_SCROLLBAR, RGB(0, 0, 0)},
};

SystemColours::SystemColours(const std::vector<Entry>& entries) {
  std::vector<COLORREF> colours;
  for (const Entry& e : entries) {
    indexes_.push_back(e.index);
    previous_.push_back(GetSysColor(e.index));
    colours.push_back(e.colour);
  }
  SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), colours.data());
}

SystemColours::~SystemColours() {
  SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), previous_.data());
}

HWND FindControl(HWND window, int id) {
  Search search{id, nullptr};
  EnumChildWindows(window, MatchId, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Click(HWND window, int id) {
  SendMessageW(FindControl(window, id), BM_CLICK, 0, 0);
}

bool PumpUntil(const std::function<bool()>& done, int limit_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

bool RunChecks(HWND window) {
  Click(window, ids::kBtnStart);
  return PumpUntil([window] { return IsWindowEnabled(FindControl(window, ids::kBtnNext)) != 0; });
}

int VisiblePage(HWND window) {
  for (int i = 0; i < 3; ++i) {
    if (IsWindowVisible(FindControl(window, ids::kPage0 + i))) return i;
  }
  return -1;
}

RECT ScreenRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

RECT VisiblePart(HWND window) {
  RECT visible = ScreenRect(window);
  for (HWND parent = GetParent(window); parent != nullptr; parent = GetParent(parent)) {
    RECT client;
    GetClientRect(parent, &client);
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&client), 2);
    if (!IntersectRect(&visible, &visible, &client)) return RECT{};
    if ((GetWindowLongPtrW(parent, GWL_STYLE) & WS_CHILD) == 0) break;
  }
  return visible;
}

COLORREF PixelAt(HWND window, POINT point) {
  HDC dc = GetDC(window);
  const COLORREF colour = GetPixel(dc, point.x, point.y);
  ReleaseDC(window, dc);
  return colour;
}

COLORREF WaitForPixel(HWND window, POINT point, COLORREF colour) {
  COLORREF last = CLR_INVALID;
  PumpUntil(
      [&] {
        last = PixelAt(window, point);
        return last == colour;
      },
      3000);
  return last;
}

int CountPixels(HWND window, const RECT& rect, COLORREF colour) {
  HDC dc = GetDC(window);
  int count = 0;
  for (LONG y = rect.top; y < rect.bottom; ++y) {
    for (LONG x = rect.left; x < rect.right; ++x) count += GetPixel(dc, x, y) == colour;
  }
  ReleaseDC(window, dc);
  return count;
}

std::vector<ColouredLine> ReadRichEdit(HWND edit) {
  std::vector<ColouredLine> lines;
  if (edit == nullptr) return lines;
  GETTEXTLENGTHEX length_query{GTL_NUMCHARS | GTL_PRECISE, 1200};
  const auto length =
      SendMessageW(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length_query), 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  query.flags = GT_DEFAULT;
  query.codepage = 1200;
  text.resize(
      static_cast<std::size_t>(SendMessageW(edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                            reinterpret_cast<LPARAM>(text.data()))));
  if (text.empty()) return lines;
  CHARRANGE saved{};
  SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&saved));
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find(L'\r', start), text.size());
    CHARRANGE range{static_cast<LONG>(start), static_cast<LONG>(end)};
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    lines.push_back({text.substr(start, end - start), format.crTextColor,
                     (format.dwMask & CFM_COLOR) != 0, format});
    if (end == text.size()) break;
    start = end + 1;
  }
  SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&saved));
  return lines;
}

std::filesystem::path NewTempFolder(const std::wstring& prefix) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::filesystem::path folder =
      std::filesystem::path(temp) /
      (prefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()));
  std::filesystem::create_directories(folder);
  return folder;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<ColouredLine> ReadRtfFile(const std::filesystem::path& path) {
  std::string rtf = ReadBytes(path);
  const UniqueLibrary rich_edit(LoadLibraryW(L"msftedit.dll"));
  HWND edit = CreateWindowExW(0, MSFTEDIT_CLASS, L"", ES_MULTILINE, 0, 0, 2000, 2000, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  // The control's own default is the bold system font; regular, so that only the file's own
  // weight shows.
  CHARFORMAT2W regular{};
  regular.cbSize = sizeof regular;
  regular.dwMask = CFM_BOLD;
  SendMessageW(edit, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&regular));
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&rtf);
  stream.pfnCallback = [](DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* read) -> DWORD {
    auto* rest = reinterpret_cast<std::string*>(cookie);
    const auto n = std::min<std::size_t>(rest->size(), static_cast<std::size_t>(size));
    std::copy_n(rest->data(), n, buffer);
    rest->erase(0, n);
    *read = static_cast<LONG>(n);
    return 0;
  };
  SendMessageW(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  auto lines = ReadRichEdit(edit);
  DestroyWindow(edit);
  // The RTF writer ends the last paragraph with a mark of its own.
  if (!lines.empty() && lines.back().text.empty()) lines.pop_back();
  return lines;
}

std::vector<std::wstring> LogLines(HWND window) {
  std::vector<std::wstring> lines;
  for (const ColouredLine& line : ReadRichEdit(FindControl(window, ids::kMList))) {
    lines.push_back(line.text);
  }
  return lines;
}

std::vector<std::wstring> RedLines(HWND window) {
  std::vector<std::wstring> lines;
  for (const ColouredLine& line : ReadRichEdit(FindControl(window, ids::kMList))) {
    if (line.uniform && line.colour == RGB(255, 0, 0)) lines.push_back(line.text);
  }
  return lines;
}

namespace {

bool HasUpdateRegion(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return true;
  bool found = false;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM l) -> BOOL {
        if (!GetUpdateRect(child, nullptr, FALSE)) return TRUE;
        *reinterpret_cast<bool*>(l) = true;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

bool PumpUntilPainted(HWND window, int limit_ms) {
  return PumpUntil(
      [window] {
        // What is to be painted now is painted now, the children's too; then nothing may be left,
        // nor a message that could make more.
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        const DWORD waiting = HIWORD(GetQueueStatus(QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE));
        return waiting == 0 && !HasUpdateRegion(window);
      },
      limit_ms);
}

}  // namespace travik::test
