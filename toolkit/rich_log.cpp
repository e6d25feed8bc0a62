#include "toolkit/rich_log.h"

#include <richedit.h>

#include <algorithm>
#include <iterator>

#include "platform/error.h"
#include "platform/win_handles.h"
#include "toolkit/text.h"

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

std::wstring RichLog::Text() const {
  const LONG length = Length();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GETTEXTEX query{};
  query.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  query.flags = GT_DEFAULT;
  query.codepage = 1200;
  const auto got = SendMessageW(control_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

void RichLog::Clear() {
  SetWindowTextW(control_, L"");
  insertion_colour_ = kDefaultColour;
}

void RichLog::Append(const std::wstring& text) {
  const LONG length = Length();
  Select(length, length);
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.crTextColor = insertion_colour_;
  SendMessageW(control_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  const std::wstring inserted = (length > 0 ? L"\r" : L"") + WithLoneCrBreaks(text);
  SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(inserted.c_str()));
  insertion_colour_ = kDefaultColour;
  SendMessageW(control_, EM_SCROLLCARET, 0, 0);
  UpdateWindow(control_);  // the check run holds the message loop; show progress as it goes
}

int RichLog::Count() const {
  const std::wstring text = Text();
  if (text.empty()) return 0;
  int count = 1;
  for (wchar_t c : text) count += c == L'\r' ? 1 : 0;
  return count;
}

std::wstring RichLog::Line(int index) const {
  const std::wstring text = Text();
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) {
    start = text.find(L'\r', start);
    if (start == std::wstring::npos) return {};
    ++start;
  }
  const std::size_t end = text.find(L'\r', start);
  return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

void RichLog::Delete(int index) {
  const std::wstring text = Text();
  if (text.empty()) return;
  std::vector<LONG> starts{0};
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') starts.push_back(static_cast<LONG>(i + 1));
  }
  const auto count = static_cast<int>(starts.size());
  if (index < 0 || index >= count) return;
  const auto length = static_cast<LONG>(text.size());
  if (count == 1) {
    Select(0, length);
  } else if (index == count - 1) {
    Select(starts[index] - 1, length);  // with the break before it
  } else {
    Select(starts[index], starts[index + 1]);  // with the break after it
  }
  SendMessageW(control_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void RichLog::SaveToFile(const std::wstring& path) const {
  wchar_t full[MAX_PATH * 4] = {};
  const DWORD n =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
  const std::wstring full_path = n > 0 && n < std::size(full) ? std::wstring(full, n) : path;
  UniqueHandle file(CreateFileW(full_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    throw Error(Narrow(L"Cannot create file \"" + full_path + L"\". " + SystemErrorText(error)));
  }
  StreamTarget target{file.get(), false};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&target);
  stream.pfnCallback = WriteToFile;
  SendMessageW(control_, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  if (target.failed || stream.dwError != 0) throw Error("Failed to Save Stream");
}

std::vector<RichLog::ColouredLine> RichLog::Lines() const {
  std::vector<ColouredLine> lines;
  const std::wstring text = Text();
  if (text.empty()) return lines;
  CHARRANGE saved{};
  SendMessageW(control_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&saved));
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find(L'\r', start), text.size());
    Select(static_cast<LONG>(start), static_cast<LONG>(end));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(control_, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    lines.push_back(
        {text.substr(start, end - start), format.crTextColor, (format.dwMask & CFM_COLOR) != 0});
    if (end == text.size()) break;
    start = end + 1;
  }
  SendMessageW(control_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&saved));
  return lines;
}

}  // namespace travik
