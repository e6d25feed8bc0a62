#pragma once
// The small widgets the window is built from: panels (the page container, the pages, the
// strips, the picture), themed owner-drawn buttons and self-sizing labels.
#include <windows.h>

#include <functional>
#include <string>

#include "toolkit/palette.h"
#include "toolkit/window_base.h"

namespace travik {

// Where a child control goes: its parent, its control id and its text.
struct ControlArgs {
  HWND parent = nullptr;
  int id = 0;
  const wchar_t* text = L"";
  bool visible = true;
};

// A plain window that fills itself with a brush and can paint something of its own. The
// notifications of its children (commands, owner drawing, colours) go on to the top-level
// window, which owns the look; the mouse wheel goes to the wheel target when it has one.
class Panel : public WindowBase<Panel> {
 public:
  using Painter = std::function<void(HDC dc, const RECT& client)>;

  bool Create(HINSTANCE instance, const ControlArgs& args, HBRUSH background, Painter painter = {});
  // The brush is the caller's and must outlive its use here (the palette's).
  void SetBackground(HBRUSH background);
  // The wheel goes to `target`, which must keep it (not hand it back to its parent).
  void SetWheelTarget(HWND target) { wheel_target_ = target; }

 private:
  friend class WindowBase<Panel>;
  LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l);
  void OnUncaughtError(const char*) {}
  HBRUSH background_ = nullptr;  // owned by the palette
  Painter painter_;
  HWND wheel_target_ = nullptr;
};

// A push button drawn in the palette's colours (the system's look without a theme). It is kept
// above its siblings, so that a label that grows under it never paints over it.
HWND CreateThemedButton(HINSTANCE instance, const ControlArgs& args);
void DrawThemedButton(const DRAWITEMSTRUCT& item, const Palette& palette, HFONT font, int dpi);

// A window's text (a control's caption or contents).
[[nodiscard]] std::wstring WindowText(HWND window);

// A static text that takes the size of its text and breaks lines at a lone CR or a CR LF.
HWND CreateLabel(HINSTANCE instance, const ControlArgs& args);
void SetLabelText(HWND label, const std::wstring& text);
void FitLabel(HWND label);

}  // namespace travik
