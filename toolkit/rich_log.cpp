#include "toolkit/rich_log.h"

#include <richedit.h>

#include <iterator>

#include "platform/error.h"
#include "platform/output_file.h"
#include "platform/text.h"
#include "platform/win_handles.h"

namespace travik {
namespace {

// RichEdit keeps paragraphs apart with a lone CR; a CR LF pair is one break as well.
std::wstring WithLoneCrBreaks(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
  }
  return out;
}

constexpr LONG kLogFontTwips = 160;  // Tahoma 8 pt

struct StreamTarget {
  HANDLE file;
  bool failed;
};

DWORD CALLBACK WriteToFile(DWORD_PTR cookie, LPBYTE data, LONG size, LONG* written) {
  auto* target = reinterpret_cast<StreamTarget*>(cookie);
  DWORD done = 0;
  if (!WriteFile(target->file, data, static_cast<DWORD>(size), &done, nullptr) ||
      done != static_cast<DWORD>(size)) {
    target->failed = true;
    *written = static_cast<LONG>(done);
    return 1;  // stops the stream
  }
  *written = static_cast<LONG>(done);
  return 0;
}

}  // namespace

LONG RichLog::Length() const {
  GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
  return static_cast<LONG>(
      SendMessageW(control_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

void RichLog::Select(LONG from, LONG to) const {
  CHARRANGE range{from, to};
  SendMessageW(control_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void RichLog::Clear() {
  SetWindowTextW(control_, L"");
  last_start_ = -1;
  runs_.clear();
}

void RichLog::Append(const std::wstring& text, COLORREF colour) {
  AppendLines({{text, colour}});
}

void RichLog::AppendLines(const std::vector<Line>& lines) {
  LONG length = Length();
  for (std::size_t first = 0; first < lines.size();) {
    // One run: the lines up to the next change of colour.
    const COLORREF colour = lines[first].colour;
    std::wstring inserted;
    LONG last_start = length;
    std::size_t next = first;
    for (; next < lines.size() && lines[next].colour == colour; ++next) {
      last_start = length + static_cast<LONG>(inserted.size());
      if (length > 0 || !inserted.empty()) inserted += L'\r';
      inserted += WithLoneCrBreaks(lines[next].text);
    }
    Select(length, length);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = Shown(colour);
    SendMessageW(control_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(inserted.c_str()));
    if (runs_.empty() || runs_.back().colour != colour) runs_.push_back({length, colour});
    last_start_ = last_start;
    length += static_cast<LONG>(inserted.size());
    first = next;
  }
}

void RichLog::ReplaceLast(const std::wstring& text, COLORREF colour) {
  if (last_start_ >= 0) {
    Select(last_start_, Length());
    SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    while (!runs_.empty() && runs_.back().start >= last_start_) runs_.pop_back();
  }
  Append(text, colour);
}

RichLog::ScreenColours RichLog::OwnColours() const {
  return {background_, kDefaultColour, kIssueColour};
}

COLORREF RichLog::Shown(COLORREF own) const {
  if (screen_ == OwnColours()) return own;
  return own == kIssueColour ? screen_.issue : screen_.text;
}

void RichLog::ShowIn(const ScreenColours& colours) {
  if (colours != screen_) Paint(colours);
}

void RichLog::Paint(const ScreenColours& colours) {
  screen_ = colours;  // Shown() maps to these from now on
  if (control_ == nullptr) return;
  SendMessageW(control_, WM_SETREDRAW, FALSE, 0);
  CHARRANGE selection{};
  SendMessageW(control_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  POINT view{};
  SendMessageW(control_, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view));

  SendMessageW(control_, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(colours.background));
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_BACKCOLOR | CFM_COLOR;
  format.crBackColor = colours.background;
  format.crTextColor = Shown(kDefaultColour);
  SendMessageW(control_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  format.dwMask = CFM_BACKCOLOR;
  SendMessageW(control_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  const LONG length = Length();
  format.dwMask = CFM_COLOR;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    Select(runs_[i].start, i + 1 < runs_.size() ? runs_[i + 1].start : length);
    format.crTextColor = Shown(runs_[i].colour);
    SendMessageW(control_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }

  SendMessageW(control_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  SendMessageW(control_, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&view));
  SendMessageW(control_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(control_, nullptr, TRUE);
}

void RichLog::SaveToFile(const std::wstring& path) {
  const UniqueHandle file = CreateOutputFile(path);
  // The report is read by the support team, not on this screen: the lines' own colours.
  const ScreenColours screen = screen_;
  const bool repaint = screen != OwnColours();
  if (repaint) Paint(OwnColours());
  StreamTarget target{file.get(), false};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&target);
  stream.pfnCallback = WriteToFile;
  SendMessageW(control_, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  if (repaint) Paint(screen);
  if (target.failed || stream.dwError != 0) throw Error("Failed to Save Stream");
}

void RichLog::Attach(HWND control, COLORREF background) {
  control_ = control;
  background_ = background;
  screen_ = OwnColours();
  SendMessageW(control, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(background));
  SendMessageW(control, EM_SETTARGETDEVICE, 0, 0);  // wrap at the control's width
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_CHARSET | CFM_BOLD | CFM_ITALIC |
                  CFM_UNDERLINE | CFM_STRIKEOUT | CFM_BACKCOLOR;
  format.dwEffects = 0;  // regular weight, whatever the control's own default
  format.crBackColor = background;
  format.yHeight = kLogFontTwips;
  format.crTextColor = RichLog::kDefaultColour;
  format.bCharSet = DEFAULT_CHARSET;
  lstrcpynW(format.szFaceName, L"Tahoma", LF_FACESIZE);
  SendMessageW(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  SendMessageW(control, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

}  // namespace travik
