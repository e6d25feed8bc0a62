#include "ui/GUITravik.h"

#include <commctrl.h>
#include <richedit.h>

#include <iterator>
#include <utility>

#include "assets/resource_ids.h"
#include "platform/error.h"
#include "platform/text.h"
#include "toolkit/dpi.h"
#include "ui/control_ids.h"
#include "ui/layout.h"
#include "ui/report_export.h"

namespace travik {
namespace {

constexpr wchar_t kWindowClass[] = L"TFrmTravik";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
constexpr UINT_PTR kLogSubclassId = 1;
constexpr UINT_PTR kPrepareLogTimer = 1;
constexpr UINT kPrepareLogDelayMs = 100;
constexpr UINT kMsgRunWake = WM_APP + 1;     // the run has queued something; carries no data
constexpr UINT kMsgQueryBusy = WM_APP + 10;  // answers whether a check is running

// The log sets its own cursor; while the check runs it shows the busy arrow like the rest.
LRESULT CALLBACK LogSubclassProc(HWND hwnd, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
  if (message == WM_SETCURSOR && LOWORD(l) == HTCLIENT &&
      SendMessageW(GetAncestor(hwnd, GA_ROOT), kMsgQueryBusy, 0, 0) != 0) {
    SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    return TRUE;
  }
  return DefSubclassProc(hwnd, message, w, l);
}

// Has the control under the mouse pointer set its cursor again (the run began or ended).
void RefreshCursor() {
  POINT cursor;
  if (!GetCursorPos(&cursor)) return;
  HWND under = WindowFromPoint(cursor);
  DWORD process = 0;
  if (under == nullptr || GetWindowThreadProcessId(under, &process) != GetCurrentThreadId()) return;
  SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

}  // namespace

TFrmTravik::TFrmTravik(core::RunInputs run, WindowHooks hooks)
    : inputs_(std::move(run)),
      hooks_(std::move(hooks)),
      high_contrast_(hooks_.high_contrast && hooks_.high_contrast()),
      palette_(hooks_.theme, high_contrast_) {}

TFrmTravik::~TFrmTravik() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool TFrmTravik::Create(HINSTANCE instance, int show_command) {
  instance_ = instance;
  if (!Register(instance, kWindowClass, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1))) return false;
  // The size is set from the monitor's DPI once the window exists (WM_CREATE).
  if (CreateAs(kWindowClass, kWindowExStyle, L"TRAVIK", kWindowStyle,
               RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, nullptr, 0,
               instance) == nullptr) {
    return false;
  }
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  // The log page's control is made once the first page is up, while the user reads it.
  SetTimer(hwnd_, kPrepareLogTimer, kPrepareLogDelayMs, nullptr);
  return true;
}

int TFrmTravik::Scale(int pixels) const {
  return ScaleForDpi(pixels, dpi_);
}

SIZE TFrmTravik::DesignedWindowSize() const {
  // The client area at the layout's DPI, in the frame the system draws for the window.
  RECT r{0, 0, Scale(layout::kClient.cx), Scale(layout::kClient.cy)};
  AdjustWindowRectForDpi(&r, kWindowStyle, kWindowExStyle, WindowDpi(hwnd_));
  return {r.right - r.left, r.bottom - r.top};
}

void TFrmTravik::OnUncaughtError(const char* what) {
  // An error that escapes a handler is shown; the window stays open and keeps its state.
  hooks_.error_box(hwnd_, Widen(what));
}

LRESULT TFrmTravik::HandleMessage(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CREATE: {
      dpi_ = WindowDpi(hwnd_);
      if (!BuildLayout()) return -1;
      ApplyDpi(dpi_);
      // The client area at the designed size; WM_SIZE lays the controls out.
      const SIZE size = DesignedWindowSize();
      SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      FormCreate();
      return 0;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      // Never smaller than the designed client area, which every control needs.
      const SIZE size = DesignedWindowSize();
      reinterpret_cast<MINMAXINFO*>(l)->ptMinTrackSize = {size.cx, size.cy};
      return 0;
    }
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
          hooks_.read_decimal_separator) {
        inputs_.host.decimal_separator = Narrow(hooks_.read_decimal_separator());
      }
      FollowSystemLook(false);
      return 0;
    case WM_SYSCOLORCHANGE:
      FollowSystemLook(true);
      return 0;
    case WM_TIMER:
      if (w == kPrepareLogTimer) {
        KillTimer(hwnd_, kPrepareLogTimer);
        CreateLog();  // or when "COMEÇAR" is pressed, if that comes first
        return 0;
      }
      return DefWindowProcW(hwnd_, message, w, l);
    case kMsgQueryBusy:
      return Busy() ? 1 : 0;
    case WM_SETCURSOR:
      if (Busy() && LOWORD(l) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        return TRUE;
      }
      return DefWindowProcW(hwnd_, message, w, l);
    case WM_COMMAND:
      OnCommand(LOWORD(w), HIWORD(w));
      return 0;
    case WM_DRAWITEM:
      DrawThemedButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(l), palette_, font_.get(),
                       static_cast<int>(dpi_));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(w);
      SetTextColor(dc, palette_.colours().text);
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(palette_.page());
    }
    case kMsgRunWake:
      OnRunWake();
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
      ReleaseRun();
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, w, l);
  }
}

void TFrmTravik::OnCommand(int id, int code) {
  if (id == IDOK) {
    // Enter presses the focused button.
    HWND focus = GetFocus();
    if ((focus == btnStart || focus == btnNext || focus == btnExport || focus == btnClose) &&
        IsWindowEnabled(focus)) {
      SendMessageW(focus, BM_CLICK, 0, 0);
    }
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case ids::kBtnStart:
      btnStartClick();
      break;
    case ids::kBtnNext:
      btnNextClick();
      break;
    case ids::kBtnExport:
      btnExportClick();
      break;
    case ids::kBtnClose:
      btnCloseClick();
      break;
    default:
      break;
  }
}

// ---- Layout and look -------------------------------------------------------------------------

bool TFrmTravik::BuildLayout() {
  const auto at = [](HWND parent, int id, const wchar_t* text = L"", bool visible = true) {
    return ControlArgs{parent, id, text, visible};
  };
  if (!nbPages.Create(instance_, at(hwnd_, ids::kNbPages), palette_.page())) return false;
  for (int i = 0; i < 3; ++i) {
    if (!pages_[i].Create(instance_, at(nbPages.Handle(), ids::kPage0 + i, L"", false),
                          palette_.page())) {
      return false;
    }
  }

  // Page 0, "Splash".
  if (!Image1.Create(instance_, at(pages_[0].Handle(), ids::kImage1), palette_.page(),
                     [this](HDC dc, const RECT& strip) { PaintBanner(dc, strip); })) {
    return false;
  }
  Label1 = CreateLabel(
      instance_, at(pages_[0].Handle(), ids::kLabel1,
                    L"Verificador de dependências para instalação da plataforma KORVENA DUVIVER"));
  btnStart = CreateThemedButton(instance_, at(pages_[0].Handle(), ids::kBtnStart, L"COMEÇAR"));

  // Page 1, "Analyze": the strip with "Próximo"; the log comes when the check starts.
  if (!Panel1.Create(instance_, at(pages_[1].Handle(), ids::kPanel1), palette_.panel())) {
    return false;
  }
  btnNext = CreateThemedButton(instance_, at(Panel1.Handle(), ids::kBtnNext, L"Próximo"));

  // Page 2, "Finished".
  Label2 = CreateLabel(instance_, at(pages_[2].Handle(), ids::kLabel2, L"Verificação concluída"));
  if (!ScrollBox1.Create(instance_, at(pages_[2].Handle(), ids::kScrollBox1), palette_.page(),
                         palette_.frame(true))) {
    return false;
  }
  lblResult = CreateLabel(instance_, at(ScrollBox1.ContentParent(), ids::kLblResult, L"-"));
  btnExport = CreateThemedButton(instance_, at(pages_[2].Handle(), ids::kBtnExport, L"Exportar"));
  btnClose = CreateThemedButton(instance_, at(pages_[2].Handle(), ids::kBtnClose, L"Fechar"));
  if (lblResult != nullptr) ScrollBox1.SetContent(lblResult);
  // The tab order: "Exportar", "Fechar", then the scroll box while it scrolls.
  SetWindowPos(btnExport, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(btnClose, btnExport, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(ScrollBox1.Handle(), btnClose, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // The focus is on a button; the wheel scrolls the verdict.
  pages_[2].SetWheelTarget(ScrollBox1.Handle());

  for (HWND h : {Label1, btnStart, btnNext, Label2, lblResult, btnExport, btnClose}) {
    if (h == nullptr) return false;
  }

  icon_big_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TRAVIK), IMAGE_ICON,
                                                SystemMetricForDpi(SM_CXICON, dpi_),
                                                SystemMetricForDpi(SM_CYICON, dpi_), 0)));
  icon_small_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TRAVIK),
                                                  IMAGE_ICON, SystemMetricForDpi(SM_CXSMICON, dpi_),
                                                  SystemMetricForDpi(SM_CYSMICON, dpi_), 0)));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big_.get()));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_.get()));

  ShowPage(2);  // the page the layout is stored with; FormCreate shows the first
  return true;
}

bool TFrmTravik::CreateLog() {
  if (mList.Handle() != nullptr) return true;
  if (!rich_edit_library_) rich_edit_library_.reset(LoadLibraryW(L"msftedit.dll"));
  // Read-only, wrapping, no scroll bars; second in the page's tab order, after "Próximo".
  HWND log = CreateWindowExW(0, MSFTEDIT_CLASS, L"",
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | ES_MULTILINE |
                                 ES_READONLY | ES_AUTOVSCROLL,
                             0, 0, 0, 0, pages_[1].Handle(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kMList)), instance_,
                             nullptr);
  if (log == nullptr) return false;
  SetWindowPos(log, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowSubclass(log, LogSubclassProc, kLogSubclassId, 0);
  // The log's own colours are the theme's, for the report; the screen's follow the palette.
  mList.Attach(log, ColoursOf(hooks_.theme).log);
  mList.ShowIn(LogScreenColours());
  // Deliberate: the log is made holding the one line its layout names it by, which the run's
  // first step clears.
  mList.Append(L"mList");
  Layout();
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
  if (nbPages.Handle() == nullptr) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  const int width = client.right, height = client.bottom;
  auto place = [](HWND h, int x, int y, int cx, int cy) {
    if (h != nullptr) SetWindowPos(h, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  auto place_rect = [&](HWND h, const RECT& r) {
    place(h, Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom));
  };
  auto place_label = [&](HWND h, const POINT& p) {
    place(h, Scale(p.x), Scale(p.y), 0, 0);
    FitLabel(h);
  };
  place(nbPages.Handle(), 0, 0, width, height);
  for (const Panel& page : pages_) place(page.Handle(), 0, 0, width, height);
  // The strips and the log follow the window; the other controls keep their places.
  place(Image1.Handle(), 0, 0, width, Scale(layout::kBannerHeight));
  place_label(Label1, layout::kLabel1);
  place_rect(btnStart, layout::kBtnStart);
  const int panel_height = Scale(layout::kPanelHeight);
  place(Panel1.Handle(), 0, height - panel_height, width, panel_height);
  place_rect(btnNext, layout::kBtnNext);
  place(mList.Handle(), 0, 0, width, height - panel_height);
  place_label(Label2, layout::kLabel2);
  const RECT& view = layout::kScrollBox1;
  ScrollBox1.Place(RECT{Scale(view.left), Scale(view.top), Scale(view.left + view.right),
                        Scale(view.top + view.bottom)},
                   Scale(layout::kScrollBoxFocusBand));
  FitLabel(lblResult);  // the box places it
  place_rect(btnExport, layout::kBtnExport);
  place_rect(btnClose, layout::kBtnClose);
  InvalidateRect(Image1.Handle(), nullptr, TRUE);
}

void TFrmTravik::PaintBanner(HDC dc, const RECT& strip) const {
  // The banner at its own size, centred in the strip; the offsets are halved and truncated
  // toward zero, so a picture taller than the strip loses rows at its top and bottom.
  const int x = (strip.right - banner_.size.cx) / 2;
  const int y = (strip.bottom - banner_.size.cy) / 2;
  DrawPicture(dc, banner_, x, y);
}

RichLog::ScreenColours TFrmTravik::LogScreenColours() const {
  const Colours& c = palette_.colours();
  return {c.log, c.log_text, c.log_issue};
}

void TFrmTravik::FollowSystemLook(bool colours_changed) {
  const bool on = hooks_.high_contrast && hooks_.high_contrast();
  // The system's colours are the default look's and high contrast's, so any change of them
  // counts; a theme's colours change with neither.
  if (on == high_contrast_ && !colours_changed) return;
  high_contrast_ = on;
  ApplyPalette();
}

void TFrmTravik::ApplyPalette() {
  palette_ = Palette(hooks_.theme, high_contrast_);
  nbPages.SetBackground(palette_.page());
  for (Panel& page : pages_) page.SetBackground(palette_.page());
  Image1.SetBackground(palette_.page());
  Panel1.SetBackground(palette_.panel());
  ScrollBox1.SetColours(palette_.page(), palette_.frame(true));
  if (mList.Handle() != nullptr) mList.ShowIn(LogScreenColours());
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TFrmTravik::ShowPage(int index) {
  for (int i = 0; i < 3; ++i) ShowWindow(pages_[i].Handle(), i == index ? SW_SHOW : SW_HIDE);
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

void TFrmTravik::btnStartClick() {
  if (run_ != nullptr) return;  // the check runs once per start of the program
  ShowPage(1);
  if (!CreateLog()) throw Error("The check log could not be created");
  EnableWindow(btnStart, FALSE);
  run_finished_ = run_ended_ = false;
  if (hooks_.taskbar) taskbar_ = hooks_.taskbar();
  if (taskbar_ != nullptr) taskbar_->SetBusy(hwnd_, true);
  // The run owns its probes' clients and queues what it writes; the wake-up carries no data.
  const HWND window = hwnd_;
  run_ =
      std::make_unique<core::BackgroundRun>(inputs_, core::SocketProbeClients(inputs_.look_up),
                                            [window] { PostMessageW(window, kMsgRunWake, 0, 0); });
  SetFocus(mList.Handle());
  RefreshCursor();
}

void TFrmTravik::OnRunWake() {
  if (run_ == nullptr) return;
  std::vector<core::RunEvent> events = run_->Take();
  // The lines are shown together; the result or the failure, when it has come, is the last item.
  auto last_word = events.end();
  if (!events.empty() && events.back().IsLastWord()) last_word = std::prev(events.end());
  ShowRunLines(events.begin(), last_word);
  if (last_word == events.end()) return;
  if (last_word->kind == core::RunEvent::Kind::kFinished) {
    OnRunFinished(std::move(*last_word->result));
  } else {
    OnRunFailed(last_word->failure);
  }
}

void TFrmTravik::ShowRunLines(std::vector<core::RunEvent>::iterator first,
                              std::vector<core::RunEvent>::iterator last) {
  // Lines that a later operation of the same batch replaces never reach the control, and the
  // rest go in by runs of one colour: the run is quicker than the control's handling of each line.
  std::vector<RichLog::Line> pending;
  for (auto event = first; event != last; ++event) {
    RichLog::Line line{Widen(event->line.text), RichLog::LineColour(event->line.issue)};
    switch (event->kind) {
      case core::RunEvent::Kind::kClear:
        pending.clear();
        mList.Clear();
        break;
      case core::RunEvent::Kind::kAppend:
        pending.push_back(std::move(line));
        break;
      case core::RunEvent::Kind::kReplaceLast:
        if (pending.empty()) {
          mList.ReplaceLast(line.text, line.colour);
        } else {
          pending.back() = std::move(line);
        }
        break;
      default:
        break;
    }
  }
  if (pending.empty()) return;
  mList.AppendLines(pending);
  SendMessageW(mList.Handle(), EM_SCROLLCARET, 0, 0);
}

void TFrmTravik::OnRunFinished(core::CheckResult result) {
  // The lines are on screen already; the window keeps the two lists.
  FError = std::move(result.errors);
  FSecondaryError = std::move(result.secondary_errors);
  run_finished_ = true;
  EndRunOnScreen();
  EnableWindow(btnNext, TRUE);
  SetFocus(btnNext);
}

void TFrmTravik::OnRunFailed(const std::string& failure) {
  // A partial run has no verdict: the log keeps its lines and "Próximo" stays disabled.
  EndRunOnScreen();
  hooks_.error_box(hwnd_, Widen(failure));
}

void TFrmTravik::EndRunOnScreen() {
  run_ended_ = true;
  if (taskbar_ != nullptr) taskbar_->SetBusy(hwnd_, false);
  RefreshCursor();
}

void TFrmTravik::ReleaseRun() {
  if (run_ == nullptr) return;
  // Nothing is posted to this window from now on, and what is still queued goes with the run.
  run_->StopWaking();
  (void)run_->Take();
  if (taskbar_ != nullptr) taskbar_->SetBusy(hwnd_, false);
  run_.reset();  // cancels a run still going, joins it, ends a login that succeeded with QUIT
}

void TFrmTravik::btnNextClick() {
  if (!run_finished_) return;
  ShowPage(2);
  SetLabelText(lblResult, Widen(core::VerdictText(FError, hooks_.support_address)));
  SetFocus(FError.empty() ? btnClose : btnExport);
}

void TFrmTravik::btnExportClick() {
  SaveDialog1.file_name.clear();
  // Deliberate: the report is offered as a text file although it is written as Rich Text Format,
  // and the default extension keeps its "*." as the program has always given it.
  SaveDialog1.filter = L"Text File|*.txt";
  SaveDialog1.default_extension = L"*.txt";
  const std::optional<std::wstring> path = hooks_.save_dialog(hwnd_, SaveDialog1);
  if (!path) return;
  ExportReport(mList, FError, FSecondaryError, *path);
}

}  // namespace travik
