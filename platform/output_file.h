#pragma once
// Files the program writes its results to.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win_handles.h"

namespace travik {

// `path` made absolute against the current folder, as messages about it show it.
[[nodiscard]] std::wstring FullPath(const std::wstring& path);

// Creates the file, or empties it when it exists, for writing. Raises Error
// "Cannot create file "<full path>". <system text>" when it cannot.
[[nodiscard]] UniqueHandle CreateOutputFile(const std::wstring& path);

// Writes every byte to `file` (a file or a pipe). False when a write fails, GetLastError() telling
// why.
[[nodiscard]] bool WriteAll(HANDLE file, std::string_view bytes);

// Creates the file and writes `bytes` into it. Raises Error as CreateOutputFile does, and
// "Cannot write file "<full path>". <system text>" when writing fails.
void WriteOutputFile(const std::wstring& path, std::string_view bytes);

}  // namespace travik
