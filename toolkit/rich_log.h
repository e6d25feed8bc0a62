#pragma once
// The check log: a read-only RichEdit used as an ordered list of lines, each in its own colour.
// A lone CR or a CR LF inside an appended text starts a new line on screen. The screen can show
// the lines in other colours (high contrast) while they keep their own for the report.
#include <windows.h>

#include <string>
#include <vector>

namespace travik {

class RichLog {
 public:
  static constexpr COLORREF kDefaultColour = RGB(255, 255, 255);
  static constexpr COLORREF kIssueColour = RGB(255, 0, 0);  // every issue line, pure red
  [[nodiscard]] static constexpr COLORREF LineColour(bool issue) {
    return issue ? kIssueColour : kDefaultColour;
  }

  // The control itself is created by its owner; this sets it up as the check log (Tahoma 8 pt,
  // regular, white, wrapping at its width, with `background` behind it) and wraps it. Every
  // character carries the background as well, so that the report file, read on white paper,
  // keeps the white text readable as the screen shows it.
  void Attach(HWND control, COLORREF background);
  [[nodiscard]] HWND Handle() const { return control_; }

  // Colours the screen shows instead of the lines' own: the background, the plain lines and the
  // issue lines (those whose own colour is kIssueColour).
  struct ScreenColours {
    COLORREF background, text, issue;
    bool operator==(const ScreenColours&) const = default;
  };
  // The lines' own colours on the background given to Attach.
  [[nodiscard]] ScreenColours OwnColours() const;
  // Shows every line, those there and those to come, in `colours`; OwnColours() shows them as
  // they are again.
  void ShowIn(const ScreenColours& colours);

  void Clear();
  // Adds `text` at the end as a new line, in `colour`.
  void Append(const std::wstring& text, COLORREF colour = kDefaultColour);
  // Adds lines at the end, each as Append would, with one change of the control for each run of
  // lines of one colour.
  struct Line {
    std::wstring text;
    COLORREF colour = kDefaultColour;
  };
  void AppendLines(const std::vector<Line>& lines);
  // Replaces what the last Append (or the last line of AppendLines) added: a probe line by its
  // outcome.
  void ReplaceLast(const std::wstring& text, COLORREF colour = kDefaultColour);

  // The whole content as Rich Text Format, in the lines' own colours whatever the screen shows.
  // Raises Error "Cannot create file "<full path>". <system text>" when the file cannot be
  // created, "Failed to Save Stream" when writing fails.
  void SaveToFile(const std::wstring& path);

 private:
  // A stretch of text in one own colour, from `start` to the next run's start or the end.
  struct Run {
    LONG start;
    COLORREF colour;
  };
  [[nodiscard]] LONG Length() const;
  void Select(LONG from, LONG to) const;
  [[nodiscard]] COLORREF Shown(COLORREF own) const;
  // Gives every character its colour in `colours`, the view and the selection kept.
  void Paint(const ScreenColours& colours);

  HWND control_ = nullptr;
  LONG last_start_ = -1;  // where the last Append began, its line break included
  COLORREF background_ = RGB(0, 0, 0);
  ScreenColours screen_{};
  std::vector<Run> runs_;
};

}  // namespace travik
