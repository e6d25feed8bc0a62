#include "ui/GUITravik.h"

#include <commctrl.h>
#include <richedit.h>

#include <exception>
#include <utility>

#include "assets/resource_ids.h"
#include "platform/endpoints.h"
#include "platform/gb_figure.h"
#include "platform/host_windows.h"
#include "toolkit/dpi.h"
#include "toolkit/text.h"

namespace travik {
namespace {

constexpr wchar_t kWindowClass[] = L"TFrmTravik";
constexpr wchar_t kPanelClass[] = L"TravikPanel";
constexpr wchar_t kSupportAddress[] = L"suporte@korvena.com.br";
constexpr COLORREF kIssueColour = 0x0000FF;  // pure red, BGR

// Layout at 96 dpi.
namespace layout {
constexpr SIZE kClient{558, 270};
constexpr int kBannerHeight = 57;
constexpr SIZE kBanner{269, 64};
constexpr POINT kLabel1{80, 128};
constexpr RECT kBtnStart{240, 216, 97, 34};  // left, top, width, height
constexpr int kPanelHeight = 35;
constexpr RECT kBtnNext{479, 5, 75, 25};
constexpr POINT kLabel2{16, 16};
constexpr POINT kLblResult{24, 64};
constexpr RECT kBtnExport{375, 232, 75, 25};
constexpr RECT kBtnClose{456, 232, 75, 25};
constexpr int kFontHeight = 11;     // Tahoma 8 pt
constexpr int kHeadingHeight = 19;  // Label2
constexpr int kLogFontTwips = 160;  // 8 pt
}  // namespace layout

enum ControlId : int {
  kIdNbPages = 100,
  kIdPage0,
  kIdPage1,
  kIdPage2,
  kIdImage1,
  kIdLabel1,
  kIdBtnStart,
  kIdPanel1,
  kIdBtnNext,
  kIdMList,
  kIdLabel2,
  kIdLblResult,
  kIdBtnExport,
  kIdBtnClose,
};

// Panels (the page container, the pages, the strips) ask their top-level window for their
// background and their painting, and pass the notifications of their children up to it.
constexpr UINT kMsgPanelBrush = WM_APP + 1;
constexpr UINT kMsgPanelPaint = WM_APP + 2;

LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  HWND root = GetAncestor(hwnd, GA_ROOT);
  switch (message) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      auto brush = reinterpret_cast<HBRUSH>(
          SendMessageW(root, kMsgPanelBrush, reinterpret_cast<WPARAM>(hwnd), 0));
      FillRect(reinterpret_cast<HDC>(w), &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      SendMessageW(root, kMsgPanelPaint, reinterpret_cast<WPARAM>(hwnd),
                   reinterpret_cast<LPARAM>(dc));
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_NOTIFY:
      return root != hwnd ? SendMessageW(root, message, w, l) : 0;
    default:
      return DefWindowProcW(hwnd, message, w, l);
  }
}

bool RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW panel{};
  panel.cbSize = sizeof panel;
  panel.lpfnWndProc = PanelProc;
  panel.hInstance = instance;
  panel.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  WNDCLASSEXW existing{};
  return GetClassInfoExW(instance, kPanelClass, &existing) || RegisterClassExW(&panel) != 0;
}

// Lone CR and CR LF each break a label's line; the static control wants CR LF.
std::wstring WithCrLfBreaks(const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      out += L"\r\n";
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

COLORREF ThemeColour(const Theme& theme, const char* key, COLORREF fallback) {
  const auto rgb = theme.Colour(key);
  if (!rgb) return fallback;
  return RGB((*rgb >> 16) & 0xFF, (*rgb >> 8) & 0xFF, *rgb & 0xFF);
}

std::vector<NetworkEndpoint> ToEndpoints(const auto& constants) {
  std::vector<NetworkEndpoint> out;
  for (const Endpoint& e : constants) out.push_back({std::string(e.host), e.port});
  return out;
}

}  // namespace

TravikSetup ProductSetup() {
  TravikSetup setup;
  const auto broadcast = ToEndpoints(kBroadcastServers);
  const auto international = ToEndpoints(kInternationalServers);
  std::copy(broadcast.begin(), broadcast.end(), setup.broadcast.begin());
  std::copy(international.begin(), international.end(), setup.international.begin());
  setup.ftp.host = std::string(kFtpServer.host);
  setup.ftp.port = kFtpServer.port;
  setup.total_memory = TotalPhysicalMemory;
  setup.free_disk = FreeDiskBytes;
  setup.is_admin = travik::IsUserAdmin;
  setup.read_decimal_separator = UserDecimalSeparator;
  setup.save_dialog = ShowSaveDialog;
  setup.error_box = ShowStandardErrorBox;
  return setup;
}

TFrmTravik::TFrmTravik(TravikSetup setup) : setup_(std::move(setup)) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  // The default look: system colours, but the log keeps a dark background of its own so that
  // its white text stays readable without a theme.
  palette_ = {face,
              face,
              GetSysColor(COLOR_BTNTEXT),
              face,
              face,
              GetSysColor(COLOR_BTNSHADOW),
              GetSysColor(COLOR_BTNTEXT),
              face,
              GetSysColor(COLOR_GRAYTEXT),
              GetSysColor(COLOR_HIGHLIGHT),
              RGB(32, 32, 32),
              false};
  if (const Theme* t = setup_.theme) {
    palette_ = {ThemeColour(*t, "page", palette_.page),
                ThemeColour(*t, "panel", palette_.panel),
                ThemeColour(*t, "text", palette_.text),
                ThemeColour(*t, "button", palette_.button),
                ThemeColour(*t, "button_pressed", palette_.button_pressed),
                ThemeColour(*t, "button_border", palette_.button_border),
                ThemeColour(*t, "button_text", palette_.button_text),
                ThemeColour(*t, "button_disabled", palette_.button_disabled),
                ThemeColour(*t, "button_disabled_text", palette_.button_disabled_text),
                ThemeColour(*t, "focus", palette_.focus),
                ThemeColour(*t, "log", palette_.log),
                true};
  }
  page_brush_.reset(CreateSolidBrush(palette_.page));
  panel_brush_.reset(CreateSolidBrush(palette_.panel));
}

TFrmTravik::~TFrmTravik() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool TFrmTravik::Create(HINSTANCE instance, int show_command) {
  instance_ = instance;
  if (!RegisterClasses(instance)) return false;
  WNDCLASSEXW existing{};
  if (!GetClassInfoExW(instance, kWindowClass, &existing)) {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = WindowProc;
    form.hInstance = instance;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&form)) return false;
  }
  // The size is set from the monitor's DPI once the window exists (WM_CREATE).
  if (CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, kWindowClass, L"TRAVIK",
                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this) == nullptr) {
    return false;
  }
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  return true;
}

HWND TFrmTravik::ControlHandle(Control control) const {
  switch (control) {
    case Control::nbPages:
      return nbPages;
    case Control::btnStart:
      return btnStart;
    case Control::btnNext:
      return btnNext;
    case Control::mList:
      return mList.Handle();
    case Control::lblResult:
      return lblResult;
    case Control::btnExport:
      return btnExport;
    case Control::btnClose:
      return btnClose;
    case Control::Label1:
      return Label1;
    case Control::Label2:
      return Label2;
    case Control::Image1:
      return Image1;
    case Control::Panel1:
      return Panel1;
  }
  return nullptr;
}

int TFrmTravik::Scale(int pixels) const {
  return MulDiv(pixels, static_cast<int>(dpi_), 96);
}

LRESULT CALLBACK TFrmTravik::WindowProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TFrmTravik*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TFrmTravik*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, w, l);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, message, w, l);
  }
  return self->HandleMessage(message, w, l);
}

template <typename Handler>
void TFrmTravik::Guarded(Handler&& handler) {
  // An error that escapes a handler is shown; the window stays open and keeps its state.
  try {
    handler();
  } catch (const std::exception& e) {
    setup_.error_box(hwnd_, Widen(e.what()));
  } catch (...) {
    setup_.error_box(hwnd_, L"Unexpected error");
  }
}

LRESULT TFrmTravik::HandleMessage(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CREATE: {
      ApplyDpi(WindowDpi(hwnd_));
      if (!BuildLayout()) return -1;
      RECT r{0, 0, Scale(layout::kClient.cx), Scale(layout::kClient.cy)};
      AdjustWindowRectForDpi(&r, WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, dpi_);
      SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      Guarded([this] { FormCreate(); });
      return 0;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_DPICHANGED: {
      ApplyDpi(HIWORD(w));
      const auto* suggested = reinterpret_cast<const RECT*>(l);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_SETTINGCHANGE:
      if (l != 0 && lstrcmpiW(reinterpret_cast<const wchar_t*>(l), L"intl") == 0 &&
          setup_.read_decimal_separator) {
        setup_.decimal_separator = setup_.read_decimal_separator();
      }
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(w), HIWORD(w));
      return 0;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(w);
      SetTextColor(dc, palette_.text);
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(page_brush_.get());
    }
    case kMsgPanelBrush:
      return reinterpret_cast<LRESULT>(BrushFor(reinterpret_cast<HWND>(w)));
    case kMsgPanelPaint:
      PaintPanel(reinterpret_cast<HWND>(w), reinterpret_cast<HDC>(l));
      return 0;
    case WM_ACTIVATE:
      // Like a dialog, give the focus back to the control that had it (after a message box or
      // the save dialog, for instance).
      if (LOWORD(w) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) last_focus_ = focus;
      } else if (last_focus_ != nullptr && IsWindow(last_focus_) && IsWindowVisible(last_focus_)) {
        SetFocus(last_focus_);
        return 0;
      }
      return DefWindowProcW(hwnd_, message, w, l);
    case WM_CLOSE:
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      IdFTP1.Disconnect();  // a login that succeeded kept its connection until now
      if (setup_.quit_on_close) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, w, l);
  }
}

void TFrmTravik::OnCommand(int id, int code) {
  if (id == IDOK) {
    // Enter presses the focused button.
    HWND focus = GetFocus();
    if (focus == btnStart || focus == btnNext || focus == btnExport || focus == btnClose) {
      SendMessageW(focus, BM_CLICK, 0, 0);
    }
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case kIdBtnStart:
      Guarded([this] { btnStartClick(); });
      break;
    case kIdBtnNext:
      Guarded([this] { btnNextClick(); });
      break;
    case kIdBtnExport:
      Guarded([this] { btnExportClick(); });
      break;
    case kIdBtnClose:
      Guarded([this] { btnCloseClick(); });
      break;
    default:
      break;
  }
}

// ---- Layout and look -------------------------------------------------------------------------

bool TFrmTravik::BuildLayout() {
  auto panel = [this](HWND parent, int id, DWORD extra_style = 0) {
    return CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"",
                           WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | extra_style, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                           nullptr);
  };
  auto button = [this](HWND parent, int id, const wchar_t* text) {
    return CreateWindowExW(0, WC_BUTTONW, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                           0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           instance_, nullptr);
  };
  auto label = [this](HWND parent, int id, const wchar_t* text) {
    return CreateWindowExW(0, WC_STATICW, text, WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                           nullptr);
  };

  nbPages = panel(hwnd_, kIdNbPages, WS_VISIBLE);
  for (int i = 0; i < 3; ++i) pages_[i] = panel(nbPages, kIdPage0 + i);

  // Page 0, "Splash".
  Image1 = panel(pages_[0], kIdImage1, WS_VISIBLE);
  Label1 = label(pages_[0], kIdLabel1,
                 L"Verificador de dependências para instalação da plataforma KORVENA DUVIVER");
  btnStart = button(pages_[0], kIdBtnStart, L"COMEÇAR");

  // Page 1, "Analyze": the strip first, so that "Próximo" comes first in the tab order.
  Panel1 = panel(pages_[1], kIdPanel1, WS_VISIBLE);
  btnNext = button(Panel1, kIdBtnNext, L"Próximo");
  HWND log = CreateWindowExW(
      0, MSFTEDIT_CLASS, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0, 0,
      pages_[1], reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdMList)), instance_, nullptr);

  // Page 2, "Finished".
  Label2 = label(pages_[2], kIdLabel2, L"Verificação concluída");
  lblResult = label(pages_[2], kIdLblResult, L"-");
  btnExport = button(pages_[2], kIdBtnExport, L"Exportar");
  btnClose = button(pages_[2], kIdBtnClose, L"Fechar");

  for (HWND h : {nbPages, pages_[0], pages_[1], pages_[2], Image1, Label1, btnStart, Panel1,
                 btnNext, log, Label2, lblResult, btnExport, btnClose}) {
    if (h == nullptr) return false;
  }
  mList.Attach(log);
  // The log: Tahoma 8 pt in white on the theme's background, wrapping at its width.
  SendMessageW(log, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(palette_.log));
  SendMessageW(log, EM_SETTARGETDEVICE, 0, 0);
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_CHARSET | CFM_BOLD | CFM_ITALIC |
                  CFM_UNDERLINE | CFM_STRIKEOUT | CFM_BACKCOLOR;
  format.dwEffects = 0;  // regular weight, whatever the control's own default
  // Every character carries the log's background as well, so that the report file, read on
  // white paper, keeps the white text readable as the screen shows it.
  format.crBackColor = palette_.log;
  format.yHeight = layout::kLogFontTwips;
  format.crTextColor = RichLog::kDefaultColour;
  format.bCharSet = DEFAULT_CHARSET;
  lstrcpynW(format.szFaceName, L"Tahoma", LF_FACESIZE);
  SendMessageW(log, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  SendMessageW(log, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  mList.Append(L"mList");

  icon_big_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TRAVIK), IMAGE_ICON,
                                                SystemMetricForDpi(SM_CXICON, dpi_),
                                                SystemMetricForDpi(SM_CYICON, dpi_), 0)));
  icon_small_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TRAVIK),
                                                  IMAGE_ICON, SystemMetricForDpi(SM_CXSMICON, dpi_),
                                                  SystemMetricForDpi(SM_CYSMICON, dpi_), 0)));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big_.get()));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_.get()));

  ApplyDpi(dpi_);
  ShowPage(2);  // the page the layout is stored with; FormCreate shows the first
  return true;
}

void TFrmTravik::ApplyDpi(UINT dpi) {
  dpi_ = dpi == 0 ? 96 : dpi;
  auto tahoma = [this](int height) {
    return CreateFontW(-Scale(height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  };
  font_.reset(tahoma(layout::kFontHeight));
  heading_font_.reset(tahoma(layout::kHeadingHeight));
  banner_ = LoadPngResource(instance_, IDR_BANNER,
                            SIZE{Scale(layout::kBanner.cx), Scale(layout::kBanner.cy)});
  for (HWND h : {Label1, btnStart, btnNext, lblResult, btnExport, btnClose}) {
    if (h != nullptr) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  }
  if (Label2 != nullptr) {
    SendMessageW(Label2, WM_SETFONT, reinterpret_cast<WPARAM>(heading_font_.get()), TRUE);
  }
}

void TFrmTravik::Layout() {
  if (nbPages == nullptr) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  const int width = client.right, height = client.bottom;
  auto place = [](HWND h, int x, int y, int cx, int cy) {
    SetWindowPos(h, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  auto place_rect = [&](HWND h, const RECT& r) {
    place(h, Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom));
  };
  place(nbPages, 0, 0, width, height);
  for (HWND page : pages_) place(page, 0, 0, width, height);
  // The strips and the log follow the window; the other controls keep their places.
  place(Image1, 0, 0, width, Scale(layout::kBannerHeight));
  place(Label1, Scale(layout::kLabel1.x), Scale(layout::kLabel1.y), 0, 0);
  FitLabel(Label1);
  place_rect(btnStart, layout::kBtnStart);
  const int panel_height = Scale(layout::kPanelHeight);
  place(Panel1, 0, height - panel_height, width, panel_height);
  place_rect(btnNext, layout::kBtnNext);
  place(mList.Handle(), 0, 0, width, height - panel_height);
  place(Label2, Scale(layout::kLabel2.x), Scale(layout::kLabel2.y), 0, 0);
  FitLabel(Label2);
  place(lblResult, Scale(layout::kLblResult.x), Scale(layout::kLblResult.y), 0, 0);
  FitLabel(lblResult);
  place_rect(btnExport, layout::kBtnExport);
  place_rect(btnClose, layout::kBtnClose);
  InvalidateRect(Image1, nullptr, TRUE);
}

void TFrmTravik::SetLabelText(HWND label, const std::wstring& text) {
  if (label == lblResult) result_text_ = text;
  SetWindowTextW(label, WithCrLfBreaks(text).c_str());
  FitLabel(label);
}

void TFrmTravik::FitLabel(HWND label) {
  // Labels take the size of their text and do not wrap.
  const int length = GetWindowTextLengthW(label);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(label, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  HDC dc = GetDC(label);
  if (dc == nullptr) return;
  auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
  HGDIOBJ previous = SelectObject(dc, font != nullptr ? font : font_.get());
  RECT r{0, 0, 0, 0};
  DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
  SelectObject(dc, previous);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(label, nullptr, TRUE);
}

HBRUSH TFrmTravik::BrushFor(HWND panel) const {
  return panel == Panel1 ? panel_brush_.get() : page_brush_.get();
}

void TFrmTravik::PaintPanel(HWND panel, HDC dc) {
  if (panel != Image1) return;
  // The banner at its own size, centred in the strip; the offsets are halved and truncated
  // toward zero, so a picture taller than the strip loses rows at its top and bottom.
  RECT strip;
  GetClientRect(Image1, &strip);
  const int x = (strip.right - banner_.size.cx) / 2;
  const int y = (strip.bottom - banner_.size.cy) / 2;
  DrawPicture(dc, banner_, x, y);
}

void TFrmTravik::DrawButton(const DRAWITEMSTRUCT& item) {
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  RECT r = item.rcItem;
  HDC dc = item.hDC;
  if (palette_.themed) {
    const COLORREF face = disabled  ? palette_.button_disabled
                          : pressed ? palette_.button_pressed
                                    : palette_.button;
    UniqueBrush fill(CreateSolidBrush(face));
    FillRect(dc, &r, fill.get());
    UniqueBrush frame(CreateSolidBrush(focused ? palette_.focus : palette_.button_border));
    FrameRect(dc, &r, frame.get());
    if (focused) {
      RECT inner = r;
      InflateRect(&inner, -1, -1);
      FrameRect(dc, &inner, frame.get());
    }
    SetTextColor(dc, disabled ? palette_.button_disabled_text : palette_.button_text);
  } else {
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    if (focused) {
      RECT inner = r;
      InflateRect(&inner, -Scale(3), -Scale(3));
      DrawFocusRect(dc, &inner);
    }
  }
  if (pressed) OffsetRect(&r, 1, 1);
  wchar_t text[64] = {};
  GetWindowTextW(item.hwndItem, text, 64);
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ previous = SelectObject(dc, font_.get());
  DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, previous);
}

void TFrmTravik::ShowPage(int index) {
  current_page_ = index;
  for (int i = 0; i < 3; ++i) ShowWindow(pages_[i], i == index ? SW_SHOW : SW_HIDE);
  UpdateWindow(pages_[index]);
}

// ---- Handlers ---------------------------------------------------------------------------------

void TFrmTravik::FormCreate() {
  ShowPage(0);
  EnableWindow(btnNext, FALSE);
  FError.clear();
  FSecondaryError.clear();
  SetFocus(btnStart);
}

void TFrmTravik::btnCloseClick() {
  SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void TFrmTravik::AddIssue(const std::wstring& text, bool primary) {
  mList.SetInsertionColour(kIssueColour);
  mList.Append(text);
  (primary ? FError : FSecondaryError).push_back(text);
}

void TFrmTravik::btnStartClick() {
  ShowPage(1);
  mList.Clear();
  mList.Append(L"--------- Iniciando verificação ---------");
  mList.Append(Widen(OsDescriptionLine(setup_.os)));
  CheckMemory();
  CheckDiskSpace();
  if (IsUserAdmin()) {
    mList.Append(L"Usuário possui privilégios de administrador");
  } else {
    AddIssue(L"Usuário não possui privilégios de administrador", true);
  }
  CheckBroadcastServers();
  CheckInternationalServers();
  CheckFtpServer();
  mList.Append(L"--------- Verificação finalizada ---------");
  EnableWindow(btnNext, TRUE);
  SetFocus(btnNext);
}

void TFrmTravik::CheckMemory() {
  const double figure = ToGB(static_cast<double>(setup_.total_memory()));
  mList.Append(L"RAM: " + Widen(FormatFixed2(figure, Narrow(setup_.decimal_separator))) + L"GB");
  if (!MeetsMinimum(figure, kMinimumMemoryGb)) {
    AddIssue(L"Memória RAM inferior à recomendada (2GB).", true);
  }
}

void TFrmTravik::CheckDiskSpace() {
  const double figure = ToGB(static_cast<double>(setup_.free_disk()));
  mList.Append(L"Espaço livre em disco: " +
               Widen(FormatFixed2(figure, Narrow(setup_.decimal_separator))) + L"GB");
  if (!MeetsMinimum(figure, kMinimumDiskGb)) {
    AddIssue(L"Espaço em disco insuficiente. Mínimo exigido: 1GB.", true);
  }
}

bool TFrmTravik::IsUserAdmin() {
  return setup_.is_admin();
}

void TFrmTravik::CheckBroadcastServers() {
  mList.Append(L">>> Teste de conexão com difusores");
  const bool first = TestConnection(setup_.broadcast[0].host, setup_.broadcast[0].port, false);
  const bool second = TestConnection(setup_.broadcast[1].host, setup_.broadcast[1].port, false);
  if (!first && !second) {
    // Only the loss of both is an impediment; it has no line of its own in the log.
    FError.push_back(L"Não foi possível estabelecer conexão com os servidores de difusão.");
  }
}

void TFrmTravik::CheckInternationalServers() {
  mList.Append(L">>> Teste de conexão internacional");
  for (const NetworkEndpoint& endpoint : setup_.international) {
    TestConnection(endpoint.host, endpoint.port, true);
  }
}

bool TFrmTravik::TestConnection(const std::string& host, std::uint16_t port, bool primary) {
  mList.Append(L"Testando conexão em " + Widen(host) + L":" + std::to_wstring(port) + L"...");
  std::optional<std::wstring> error;
  try {
    IdTCPClient1.Connect(host, port);
  } catch (const Error& e) {
    error = Widen(e.Message());
  }
  if (setup_.before_open_check) setup_.before_open_check();
  const bool ok = IdTCPClient1.Connected();
  const int last = mList.Count() - 1;
  const std::wstring text = mList.Line(last) + (ok ? L"OK" : L"Falha");
  mList.Delete(last);
  if (ok) {
    mList.Append(text);
  } else if (error) {
    AddIssue(text + L"\r" + *error, primary);
  } else {
    AddIssue(text, primary);
  }
  IdTCPClient1.Disconnect();
  return ok;
}

void TFrmTravik::CheckFtpServer() {
  mList.Append(L">>> Verificando conexão com servidor FTP");
  try {
    IdFTP1.Connect(setup_.ftp);
  } catch (const Error& e) {
    // The server's rejection of the test login shows that it was reached and answered.
    if (net::IsLoginRejection(e.Message())) {
      mList.Append(L"Conexão FTP estabelecida.");
    } else {
      AddIssue(L"Não foi possível conectar ao FTP.", true);
    }
  }
}

void TFrmTravik::btnNextClick() {
  ShowPage(2);
  if (FError.empty()) {
    SetLabelText(lblResult, L"O sistema está pronto para ser instalado.");
    SetFocus(btnClose);
    return;
  }
  std::wstring text = L"Alguns impedimentos foram encontrados:\r";
  for (const std::wstring& entry : FError) text += entry + L"\r";
  text += std::wstring(L"\rPara maiores informações, envie o relatório para ") + kSupportAddress;
  SetLabelText(lblResult, text);
  SetFocus(btnExport);
}

void TFrmTravik::btnExportClick() {
  SaveDialog1.file_name.clear();
  SaveDialog1.filter = L"Text File|*.txt";
  SaveDialog1.default_extension = L"*.txt";
  const std::optional<std::wstring> path = setup_.save_dialog(hwnd_, SaveDialog1);
  if (!path) return;
  if (!FError.empty()) {
    mList.Append(L">>>Impedimentos encontrados:");
    for (const std::wstring& entry : FError) mList.Append(entry);
  }
  if (!FSecondaryError.empty()) {
    mList.Append(L">>>Erros encontrados:");
    for (const std::wstring& entry : FSecondaryError) mList.Append(entry);
  }
  mList.SaveToFile(*path);
}

}  // namespace travik
