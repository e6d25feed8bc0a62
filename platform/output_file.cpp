#include "platform/output_file.h"

#include <algorithm>
#include <iterator>

#include "platform/error.h"
#include "platform/text.h"

namespace travik {
namespace {

[[noreturn]] void Raise(const wchar_t* what, const std::wstring& full_path, DWORD error) {
  throw Error(Narrow(std::wstring(what) + L" \"" + full_path + L"\". " + SystemErrorText(error)));
}

}  // namespace

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 4] = {};
  const DWORD n =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
  return n > 0 && n < std::size(full) ? std::wstring(full, n) : path;
}

UniqueHandle CreateOutputFile(const std::wstring& path) {
  const std::wstring full_path = FullPath(path);
  UniqueHandle file(CreateFileW(full_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    Raise(L"Cannot create file", full_path, error);
  }
  return file;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), n, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

void WriteOutputFile(const std::wstring& path, std::string_view bytes) {
  const UniqueHandle file = CreateOutputFile(path);
  if (!WriteAll(file.get(), bytes)) {
    const DWORD error = GetLastError();
    Raise(L"Cannot write file", FullPath(path), error);
  }
}

}  // namespace travik
