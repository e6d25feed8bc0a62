#include "toolkit/widgets.h"

#include <commctrl.h>

#include "toolkit/dpi.h"
#include "toolkit/gdi.h"

namespace travik {
namespace {

constexpr wchar_t kPanelClass[] = L"TravikPanel";

HMENU AsMenu(int id) {
  return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
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

}  // namespace

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

bool Panel::Create(HINSTANCE instance, const ControlArgs& args, HBRUSH background,
                   Painter painter) {
  background_ = background;
  painter_ = std::move(painter);
  if (!Register(instance, kPanelClass, nullptr)) return false;
  const DWORD style =
      WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (args.visible ? WS_VISIBLE : 0);
  return CreateAs(kPanelClass, WS_EX_CONTROLPARENT, args.text, style, RECT{}, args.parent, args.id,
                  instance) != nullptr;
}

void Panel::SetBackground(HBRUSH background) {
  background_ = background;
  if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT Panel::HandleMessage(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd_, &r);
      FillRect(reinterpret_cast<HDC>(w), &r,
               background_ != nullptr ? background_ : GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      if (painter_) {
        RECT r;
        GetClientRect(hwnd_, &r);
        painter_(dc, r);
      }
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_MOUSEWHEEL:
      // The wheel turned over the page or with the focus on one of its buttons.
      if (wheel_target_ != nullptr) return SendMessageW(wheel_target_, message, w, l);
      return DefWindowProcW(hwnd_, message, w, l);
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_NOTIFY: {
      HWND root = GetAncestor(hwnd_, GA_ROOT);
      return root != hwnd_ ? SendMessageW(root, message, w, l) : 0;
    }
    default:
      return DefWindowProcW(hwnd_, message, w, l);
  }
}

HWND CreateThemedButton(HINSTANCE instance, const ControlArgs& args) {
  HWND button = CreateWindowExW(
      0, WC_BUTTONW, args.text,
      WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS | BS_OWNERDRAW | (args.visible ? WS_VISIBLE : 0), 0,
      0, 0, 0, args.parent, AsMenu(args.id), instance, nullptr);
  if (button != nullptr) {
    SetWindowPos(button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return button;
}

void DrawThemedButton(const DRAWITEMSTRUCT& item, const Palette& palette, HFONT font, int dpi) {
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  const Colours& colours = palette.colours();
  RECT r = item.rcItem;
  HDC dc = item.hDC;
  if (colours.flat) {
    FillRect(dc, &r, palette.button(disabled, pressed));
    FrameRect(dc, &r, palette.frame(focused));
    if (focused) {
      RECT inner = r;
      InflateRect(&inner, -1, -1);
      FrameRect(dc, &inner, palette.frame(true));
    }
    SetTextColor(dc, disabled  ? colours.button_disabled_text
                     : pressed ? colours.button_pressed_text
                               : colours.button_text);
  } else {
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    if (focused) {
      RECT inner = r;
      const int inset = ScaleForDpi(3, static_cast<UINT>(dpi));
      InflateRect(&inner, -inset, -inset);
      DrawFocusRect(dc, &inner);
    }
  }
  if (pressed) OffsetRect(&r, 1, 1);
  const std::wstring text = WindowText(item.hwndItem);
  SetBkMode(dc, TRANSPARENT);
  const SelectedObject selected(dc, font);
  DrawTextW(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

HWND CreateLabel(HINSTANCE instance, const ControlArgs& args) {
  return CreateWindowExW(0, WC_STATICW, args.text,
                         WS_CHILD | WS_CLIPSIBLINGS | SS_NOPREFIX | (args.visible ? WS_VISIBLE : 0),
                         0, 0, 0, 0, args.parent, AsMenu(args.id), instance, nullptr);
}

void SetLabelText(HWND label, const std::wstring& text) {
  SetWindowTextW(label, WithCrLfBreaks(text).c_str());
  FitLabel(label);
}

void FitLabel(HWND label) {
  // Labels take the size of their text and do not wrap.
  const std::wstring text = WindowText(label);
  RECT r{0, 0, 0, 0};
  {
    const WindowDC dc(label);
    if (!dc) return;
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    DrawTextW(dc.get(), text.empty() ? L" " : text.c_str(), -1, &r,
              DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
  }
  SetWindowPos(label, nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(label, nullptr, TRUE);
}

}  // namespace travik
