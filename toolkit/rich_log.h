#pragma once
// The check log: a read-only RichEdit used as an ordered list of lines, each piece of text in its
// own colour. A lone CR or a CR LF inside an appended text starts a new line. Lines are the
// control's paragraphs (logical lines, not wrapped display lines).
#include <windows.h>

#include <string>
#include <vector>

namespace travik {

class RichLog {
 public:
  static constexpr COLORREF kDefaultColour = RGB(255, 255, 255);

  // The control itself is created by the window; this wraps it.
  void Attach(HWND control) { control_ = control; }
  [[nodiscard]] HWND Handle() const { return control_; }

  void Clear();
  // Adds `text` at the end as a new line, in the insertion colour. The insertion colour then
  // returns to the default: only the line it was set for takes it.
  void Append(const std::wstring& text);
  [[nodiscard]] int Count() const;
  [[nodiscard]] std::wstring Line(int index) const;
  void Delete(int index);
  void SetInsertionColour(COLORREF colour) { insertion_colour_ = colour; }

  // The whole content as Rich Text Format. Raises Error "Cannot create file "<full path>".
  // <system text>" when the file cannot be created, "Failed to Save Stream" when writing fails.
  void SaveToFile(const std::wstring& path) const;

  // Each line with its colour (`uniform` false when it mixes colours), for the window's tests.
  struct ColouredLine {
    std::wstring text;
    COLORREF colour;
    bool uniform;
  };
  [[nodiscard]] std::vector<ColouredLine> Lines() const;
  [[nodiscard]] std::wstring Text() const;  // paragraphs separated by CR

 private:
  [[nodiscard]] LONG Length() const;
  void Select(LONG from, LONG to) const;
  HWND control_ = nullptr;
  COLORREF insertion_colour_ = kDefaultColour;
};

}  // namespace travik
