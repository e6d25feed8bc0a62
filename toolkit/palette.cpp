#include "toolkit/palette.h"

namespace travik {
namespace {

COLORREF ThemeColour(const Theme& theme, const char* key, COLORREF fallback) {
  const auto rgb = theme.Colour(key);
  if (!rgb) return fallback;
  return RGB((*rgb >> 16) & 0xFF, (*rgb >> 8) & 0xFF, *rgb & 0xFF);
}

}  // namespace

Colours ColoursOf(const Theme* theme) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  Colours c{face,
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
  if (theme == nullptr) return c;
  const Theme& t = *theme;
  return {ThemeColour(t, "page", c.page),
          ThemeColour(t, "panel", c.panel),
          ThemeColour(t, "text", c.text),
          ThemeColour(t, "button", c.button),
          ThemeColour(t, "button_pressed", c.button_pressed),
          ThemeColour(t, "button_border", c.button_border),
          ThemeColour(t, "button_text", c.button_text),
          ThemeColour(t, "button_disabled", c.button_disabled),
          ThemeColour(t, "button_disabled_text", c.button_disabled_text),
          ThemeColour(t, "focus", c.focus),
          ThemeColour(t, "log", c.log),
          true};
}

Palette::Palette(const Theme* theme)
    : colours_(ColoursOf(theme)),
      page_(CreateSolidBrush(colours_.page)),
      panel_(CreateSolidBrush(colours_.panel)),
      button_(CreateSolidBrush(colours_.button)),
      button_pressed_(CreateSolidBrush(colours_.button_pressed)),
      button_disabled_(CreateSolidBrush(colours_.button_disabled)),
      border_(CreateSolidBrush(colours_.button_border)),
      focus_(CreateSolidBrush(colours_.focus)) {}

HBRUSH Palette::button(bool disabled, bool pressed) const {
  if (disabled) return button_disabled_.get();
  return pressed ? button_pressed_.get() : button_.get();
}

HBRUSH Palette::frame(bool focused) const {
  return focused ? focus_.get() : border_.get();
}

}  // namespace travik
