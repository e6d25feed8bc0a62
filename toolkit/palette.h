#pragma once
// The window's colours, from the theme or, without one, from the system, or, while high contrast
// is on, from the system's colours whatever the theme says; with the brushes they need, made once
// and kept as long as the palette.
#include <windows.h>

#include "platform/win_handles.h"
#include "toolkit/theme.h"

namespace travik {

struct Colours {
  COLORREF page, panel, text, button, button_pressed, button_pressed_text, button_border,
      button_text, button_disabled, button_disabled_text, focus;
  COLORREF log, log_text, log_issue;  // the check log: background, plain lines, issue lines
  bool flat;  // buttons drawn flat in these colours; false: the system's own push buttons
};

// The theme's colours, each falling back to the default look's; the default look when null.
// Without a theme the log keeps a dark background of its own so that its white text stays
// readable. The log's lines are white and its issue lines red (RichLog's colours) either way.
[[nodiscard]] Colours ColoursOf(const Theme* theme);

// The system's colours, as high-contrast themes define them: window colours for the pages, the
// labels and the log, button colours for the buttons and the strip, the highlight for the focus
// and a pressed button, the hyperlink colour for the log's issue lines.
[[nodiscard]] Colours HighContrastColours();

// Whether the user has high contrast on (SPI_GETHIGHCONTRAST).
[[nodiscard]] bool SystemHighContrast();

class Palette {
 public:
  // The theme's colours; the system's while high contrast is on.
  Palette(const Theme* theme, bool high_contrast);
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
