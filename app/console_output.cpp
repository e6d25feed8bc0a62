#include "app/console_output.h"

#include <algorithm>

#include "platform/output_file.h"
#include "platform/text.h"

namespace travik {
namespace {

// Null in a program started without handles (a double click); a closed or bogus handle has no
// file type.
bool Usable(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  SetLastError(NO_ERROR);
  return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

bool WriteToConsole(HANDLE console, std::wstring_view text) {
  constexpr std::size_t kChunk = 8192;  // older consoles refuse large single writes
  while (!text.empty()) {
    const auto n = static_cast<DWORD>(std::min(text.size(), kChunk));
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data(), n, &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  return true;
}

}  // namespace

HANDLE ConsoleOutput::Target(Stream stream) {
  const HANDLE standard =
      GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (Usable(standard)) return standard;
  if (!attach_tried_) {
    attach_tried_ = true;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
      console_.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    }
  }
  return console_ ? console_.get() : nullptr;
}

bool ConsoleOutput::Available(Stream stream) {
  return Target(stream) != nullptr;
}

bool ConsoleOutput::Write(Stream stream, std::string_view utf8) {
  const HANDLE target = Target(stream);
  if (target == nullptr) return false;
  DWORD mode = 0;
  if (GetConsoleMode(target, &mode)) return WriteToConsole(target, Widen(utf8));
  return WriteAll(target, utf8);
}

}  // namespace travik
