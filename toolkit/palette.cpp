#include "toolkit/palette.h"

#include "toolkit/rich_log.h"

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
  Colours c{};
  c.page = face;
  c.panel = face;
  c.text = GetSysColor(COLOR_BTNTEXT);
  c.button = face;
  c.button_pressed = face;
  c.button_border = GetSysColor(COLOR_BTNSHADOW);
  c.button_text = GetSysColor(COLOR_BTNTEXT);
  c.button_disabled = face;
  c.button_disabled_text = GetSysColor(COLOR_GRAYTEXT);
  c.focus = GetSysColor(COLOR_HIGHLIGHT);
  c.log = RGB(32, 32, 32);
  c.flat = theme != nullptr;
  if (theme != nullptr) {
    const Theme& t = *theme;
    c.page = ThemeColour(t, "page", c.page);
    c.panel = ThemeColour(t, "panel", c.panel);
    c.text = ThemeColour(t, "text", c.text);
    c.button = ThemeColour(t, "button", c.button);
    c.button_pressed = ThemeColour(t, "button_pressed", c.button_pressed);
    c.button_border = ThemeColour(t, "button_border", c.button_border);
    c.button_text = ThemeColour(t, "button_text", c.button_text);
    c.button_disabled = ThemeColour(t, "button_disabled", c.button_disabled);
    c.button_disabled_text = ThemeColour(t, "button_disabled_text", c.button_disabled_text);
    c.focus = ThemeColour(t, "focus", c.focus);
    c.log = ThemeColour(t, "log", c.log);
  }
  c.button_pressed_text = c.button_text;
  c.log_text = RichLog::kDefaultColour;
  c.log_issue = RichLog::kIssueColour;
  return c;
}

Colours HighContrastColours() {
  Colours c{};
  c.page = GetSysColor(COLOR_WINDOW);
  c.panel = GetSysColor(COLOR_BTNFACE);
  c.text = GetSysColor(COLOR_WINDOWTEXT);
  c.button = GetSysColor(COLOR_BTNFACE);
  c.button_pressed = GetSysColor(COLOR_HIGHLIGHT);
  c.button_pressed_text = GetSysColor(COLOR_HIGHLIGHTTEXT);
  c.button_border = GetSysColor(COLOR_BTNTEXT);
  c.button_text = GetSysColor(COLOR_BTNTEXT);
  c.button_disabled = GetSysColor(COLOR_BTNFACE);
  c.button_disabled_text = GetSysColor(COLOR_GRAYTEXT);
  c.focus = GetSysColor(COLOR_HIGHLIGHT);
  c.log = GetSysColor(COLOR_WINDOW);
  c.log_text = GetSysColor(COLOR_WINDOWTEXT);
  c.log_issue = GetSysColor(COLOR_HOTLIGHT);
  // A scheme whose hyperlink colour is its text colour still keeps the issue lines apart.
  if (c.log_issue == c.log_text) c.log_issue = GetSysColor(COLOR_HIGHLIGHT);
  c.flat = true;
  return c;
}

bool SystemHighContrast() {
  HIGHCONTRASTW setting{};
  setting.cbSize = sizeof setting;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0) &&
         (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

Palette::Palette(const Theme* theme, bool high_contrast)
    : colours_(high_contrast ? HighContrastColours() : ColoursOf(theme)),
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
