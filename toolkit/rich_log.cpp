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
    format.crTextColor = colour;
    SendMessageW(control_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(inserted.c_str()));
    last_start_ = last_start;
    length += static_cast<LONG>(inserted.size());
    first = next;
  }
}

void RichLog::ReplaceLast(const std::wstring& text, COLORREF colour) {
  if (last_start_ >= 0) {
    Select(last_start_, Length());
    SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  }
  Append(text, colour);
}

void RichLog::SaveToFile(const std::wstring& path) const {
  const UniqueHandle file = CreateOutputFile(path);
  StreamTarget target{file.get(), false};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&target);
  stream.pfnCallback = WriteToFile;
  SendMessageW(control_, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  if (target.failed || stream.dwError != 0) throw Error("Failed to Save Stream");
}

void SetUpLogControl(HWND control, COLORREF background) {
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
