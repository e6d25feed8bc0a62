#pragma once
// A scroll box: one child, its content, shown at its own size through a fixed view. Content that
// fits shows exactly as it would without the box. Taller content scrolls vertically: a scroll bar,
// the mouse wheel and, while (and only while) it scrolls, the box is a tab stop that draws a focus
// band around the view, scrolls with the arrow keys, Page Up/Down, Home and End, and copies the
// content's text with Ctrl+C (or WM_COPY).
#include <windows.h>

#include "toolkit/widgets.h"
#include "toolkit/window_base.h"

namespace travik {

class ScrollBox : public WindowBase<ScrollBox> {
 public:
  // `background` fills the box, `focus` its focus band; both brushes are the caller's and must
  // outlive their use here (the palette's).
  bool Create(HINSTANCE instance, const ControlArgs& args, HBRUSH background, HBRUSH focus);
  void SetColours(HBRUSH background, HBRUSH focus);

  // The window to create the content in.
  [[nodiscard]] HWND ContentParent() const { return clip_.Handle(); }
  // From now on the box follows the content's size (a label that sizes itself to its text).
  void SetContent(HWND content);
  // Places the box in its parent so that the content shows in `view`, with `margin` around it for
  // the focus band (and the scroll bar on the right when it is needed).
  void Place(const RECT& view, int margin);

  // Scrolls as near to `position` as the content allows.
  void ScrollTo(int position);

 private:
  friend class WindowBase<ScrollBox>;
  LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l);
  void OnUncaughtError(const char*) {}
  static LRESULT CALLBACK ContentProc(HWND hwnd, UINT message, WPARAM w, LPARAM l, UINT_PTR,
                                      DWORD_PTR box);

  void Arrange();  // the view inside the margin, then Refresh
  void Refresh();  // the scroll range, the bar, the tab stop and the position, for the content
  [[nodiscard]] int ViewHeight() const;
  [[nodiscard]] int ContentHeight() const;
  [[nodiscard]] int LineHeight() const;
  void OnScrollBar(int request);
  void OnKey(WPARAM key);
  void Copy() const;

  Panel clip_;  // the view: the content's parent, inside the margin
  HWND content_ = nullptr;
  HBRUSH background_ = nullptr, focus_ = nullptr;
  int margin_ = 0;
  int position_ = 0;
  bool scrolls_ = false;
};

}  // namespace travik
