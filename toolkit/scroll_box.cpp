#include "toolkit/scroll_box.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/win_handles.h"
#include "toolkit/gdi.h"

namespace travik {
namespace {

constexpr wchar_t kScrollBoxClass[] = L"TravikScrollBox";
constexpr UINT_PTR kContentSubclassId = 1;

// OpenClipboard / CloseClipboard.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != 0) {}
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  [[nodiscard]] explicit operator bool() const { return open_; }

 private:
  bool open_;
};

}  // namespace

bool ScrollBox::Create(HINSTANCE instance, const ControlArgs& args, HBRUSH background,
                       HBRUSH focus) {
  background_ = background;
  focus_ = focus;
  if (!Register(instance, kScrollBoxClass, nullptr)) return false;
  const DWORD style =
      WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (args.visible ? WS_VISIBLE : 0);
  if (CreateAs(kScrollBoxClass, 0, args.text, style, RECT{}, args.parent, args.id, instance) ==
      nullptr) {
    return false;
  }
  return clip_.Create(instance, ControlArgs{hwnd_, 0, L"", true}, background);
}

void ScrollBox::SetColours(HBRUSH background, HBRUSH focus) {
  background_ = background;
  focus_ = focus;
  clip_.SetBackground(background);
  if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, FALSE);
}

void ScrollBox::SetContent(HWND content) {
  content_ = content;
  SetWindowSubclass(content, ContentProc, kContentSubclassId, reinterpret_cast<DWORD_PTR>(this));
  Refresh();
}

void ScrollBox::Place(const RECT& view, int margin) {
  margin_ = margin;
  SetWindowPos(hwnd_, nullptr, view.left - margin, view.top - margin,
               view.right - view.left + 2 * margin, view.bottom - view.top + 2 * margin,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Arrange();  // also when the size stayed and only the margin changed
}

void ScrollBox::Arrange() {
  RECT client;
  GetClientRect(hwnd_, &client);
  SetWindowPos(clip_.Handle(), nullptr, margin_, margin_,
               std::max(0, static_cast<int>(client.right) - 2 * margin_),
               std::max(0, static_cast<int>(client.bottom) - 2 * margin_),
               SWP_NOZORDER | SWP_NOACTIVATE);
  Refresh();
}

int ScrollBox::ViewHeight() const {
  RECT r;
  GetClientRect(clip_.Handle(), &r);
  return r.bottom;
}

int ScrollBox::ContentHeight() const {
  RECT r;
  GetWindowRect(content_, &r);
  return r.bottom - r.top;
}

int ScrollBox::LineHeight() const {
  TEXTMETRICW metrics{};
  const WindowDC dc(content_);
  if (dc) {
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HGDIOBJ>(SendMessageW(content_, WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc.get(), &metrics);
  }
  return metrics.tmHeight > 0 ? metrics.tmHeight : 1;
}

void ScrollBox::Refresh() {
  if (hwnd_ == nullptr || content_ == nullptr) return;
  const int view = ViewHeight();
  const int content = ContentHeight();
  const bool scrolls = view > 0 && content > view;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE;
  info.nMax = scrolls ? content - 1 : 0;
  info.nPage = scrolls ? static_cast<UINT>(view) : 0;
  SetScrollInfo(hwnd_, SB_VERT, &info, TRUE);
  ShowScrollBar(hwnd_, SB_VERT, scrolls);
  if (scrolls != scrolls_) {
    scrolls_ = scrolls;
    const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    SetWindowLongPtrW(hwnd_, GWL_STYLE, scrolls ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    if (!scrolls && GetFocus() == hwnd_) {
      // No longer a stop: the focus moves on as Tab would move it.
      HWND root = GetAncestor(hwnd_, GA_ROOT);
      HWND next = GetNextDlgTabItem(root, hwnd_, FALSE);
      SetFocus(next != nullptr && next != hwnd_ ? next : root);
    }
    InvalidateRect(hwnd_, nullptr, FALSE);
  }
  ScrollTo(position_);
}

void ScrollBox::ScrollTo(int position) {
  if (content_ == nullptr) return;
  const int last = std::max(0, ContentHeight() - ViewHeight());
  position_ = std::clamp(position, 0, scrolls_ ? last : 0);
  SetScrollPos(hwnd_, SB_VERT, position_, TRUE);
  SetWindowPos(content_, nullptr, 0, -position_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ScrollBox::OnScrollBar(int request) {
  const int line = LineHeight(), page = ViewHeight();
  switch (request) {
    case SB_LINEUP:
      ScrollTo(position_ - line);
      break;
    case SB_LINEDOWN:
      ScrollTo(position_ + line);
      break;
    case SB_PAGEUP:
      ScrollTo(position_ - page);
      break;
    case SB_PAGEDOWN:
      ScrollTo(position_ + page);
      break;
    case SB_TOP:
      ScrollTo(0);
      break;
    case SB_BOTTOM:
      ScrollTo(ContentHeight());
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_TRACKPOS;
      if (GetScrollInfo(hwnd_, SB_VERT, &info)) ScrollTo(info.nTrackPos);
      break;
    }
    default:
      break;
  }
}

void ScrollBox::OnKey(WPARAM key) {
  switch (key) {
    case VK_UP:
      OnScrollBar(SB_LINEUP);
      break;
    case VK_DOWN:
      OnScrollBar(SB_LINEDOWN);
      break;
    case VK_PRIOR:
      OnScrollBar(SB_PAGEUP);
      break;
    case VK_NEXT:
      OnScrollBar(SB_PAGEDOWN);
      break;
    case VK_HOME:
      OnScrollBar(SB_TOP);
      break;
    case VK_END:
      OnScrollBar(SB_BOTTOM);
      break;
    case 'C':
    case VK_INSERT:
      if (GetKeyState(VK_CONTROL) < 0) Copy();
      break;
    default:
      break;
  }
}

void ScrollBox::Copy() const {
  if (content_ == nullptr) return;
  const std::wstring text = WindowText(content_);
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return;
  void* locked = GlobalLock(memory.get());
  if (locked == nullptr) return;
  std::memcpy(locked, text.c_str(), bytes);
  GlobalUnlock(memory.get());
  const OpenedClipboard clipboard(hwnd_);
  if (!clipboard || !EmptyClipboard()) return;
  if (SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) {
    (void)memory.release();  // the clipboard owns it now
  }
}

LRESULT CALLBACK ScrollBox::ContentProc(HWND hwnd, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                        DWORD_PTR box) {
  const LRESULT result = DefSubclassProc(hwnd, message, w, l);
  if (message == WM_WINDOWPOSCHANGED &&
      (reinterpret_cast<const WINDOWPOS*>(l)->flags & SWP_NOSIZE) == 0) {
    reinterpret_cast<ScrollBox*>(box)->Refresh();
  } else if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, ContentProc, kContentSubclassId);
    reinterpret_cast<ScrollBox*>(box)->content_ = nullptr;
  }
  return result;
}

LRESULT ScrollBox::HandleMessage(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_SIZE:
      if (clip_.Handle() != nullptr) Arrange();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills the band around the view
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      RECT r;
      GetClientRect(hwnd_, &r);
      const HBRUSH band = GetFocus() == hwnd_ ? focus_ : background_;
      FillRect(dc, &r, band != nullptr ? band : GetSysColorBrush(COLOR_BTNFACE));
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;  // the arrows scroll; Tab still moves on
    case WM_KEYDOWN:
      OnKey(w);
      return 0;
    case WM_COPY:
      Copy();
      return 0;
    case WM_VSCROLL:
      OnScrollBar(LOWORD(w));
      return 0;
    case WM_MOUSEWHEEL: {
      // Always taken here: the page hands the wheel to the box, and a box that passed it on to
      // its parent would have it back.
      UINT lines = 3;
      SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
      const int step =
          lines == WHEEL_PAGESCROLL ? ViewHeight() : static_cast<int>(lines) * LineHeight();
      ScrollTo(position_ - MulDiv(GET_WHEEL_DELTA_WPARAM(w), step, WHEEL_DELTA));
      return 0;
    }
    case WM_LBUTTONDOWN:
      if (scrolls_) SetFocus(hwnd_);
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, w, l);
  }
}

}  // namespace travik
