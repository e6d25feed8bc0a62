#pragma once
// The check log: a read-only RichEdit used as an ordered list of lines, each in its own colour.
// A lone CR or a CR LF inside an appended text starts a new line on screen.
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

  // The control itself is created by its owner; this wraps it.
  void Attach(HWND control) { control_ = control; }
  [[nodiscard]] HWND Handle() const { return control_; }

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

  // The whole content as Rich Text Format. Raises Error "Cannot create file "<full path>".
  // <system text>" when the file cannot be created, "Failed to Save Stream" when writing fails.
  void SaveToFile(const std::wstring& path) const;

 private:
  [[nodiscard]] LONG Length() const;
  void Select(LONG from, LONG to) const;
  HWND control_ = nullptr;
  LONG last_start_ = -1;  // where the last Append began, its line break included
};

// Sets a RichEdit up as the check log: Tahoma 8 pt, regular, white on `background`, wrapping at
// its width. Every character carries the background as well, so that the report file, read on
// white paper, keeps the white text readable as the screen shows it.
void SetUpLogControl(HWND control, COLORREF background);

}  // namespace travik
