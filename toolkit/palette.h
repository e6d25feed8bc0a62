#pragma once
// The window's colours, from the theme or, without one, from the system; with the brushes they
// need, made once and kept as long as the palette.
#include <windows.h>

#include "platform/win_handles.h"
#include "toolkit/theme.h"

namespace travik {

struct Colours {
  COLORREF page, panel, text, button, button_pressed, button_border, button_text, button_disabled,
      button_disabled_text, focus, log;
  bool themed;
};

// The theme's colours, each falling back to the default look's; the default look when null.
// Without a theme the log keeps a dark background of its own so that its white text stays
// readable.
[[nodiscard]] Colours ColoursOf(const Theme* theme);

class Palette {
 public:
  explicit Palette(const Theme* theme);
  [[nodiscard]] const Colours& colours() const { return colours_; }
  [[nodiscard]] HBRUSH page() const { return page_.get(); }
  [[nodiscard]] HBRUSH panel() const { return panel_.get(); }
  [[nodiscard]] HBRUSH button(bool disabled, bool pressed) const;
  [[nodiscard]] HBRUSH frame(bool focused) const;

 private:
  Colours colours_;
  UniqueBrush page_, panel_, button_, button_pressed_, button_disabled_, border_, focus_;
};

}  // namespace travik
