#pragma once
// Files the program writes its results to.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
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

// What an appending writer sees of the file while it holds the lock.
struct FileStart {
  std::string head;  // the first bytes, as many as asked for or all of them
  std::uint64_t size = 0;
  bool ends_with_line_feed = false;  // the last byte is LF
};

// Given the file as it is, the bytes to append to it, or nothing to leave it as it is.
using AppendDecision = std::function<std::optional<std::string>(const FileStart&)>;

enum class AppendResult { kAppended, kLeftAlone };

// The range that every appending writer locks, this release and every other: one byte at 2^62,
// past the end of any table, so that the lock never covers a byte anyone reads or writes
// (Windows' byte-range locks are mandatory).
inline constexpr std::uint64_t kAppendLockOffset = std::uint64_t{1} << 62;
inline constexpr DWORD kAppendLockLength = 1;

// Appends to a file that many processes, on many PCs, append to at once (a table on a share),
// creating it when it does not exist. Each writer takes an exclusive lock on one fixed byte range
// far past any content (LockFileEx, which SMB shares honour), so that the writers go one at a
// time and readers are never blocked; under it, it reads the file's first `head_bytes` bytes and
// its size, asks `decide`, writes what it says in one write at the end and flushes, then unlocks.
// A file that is locked, or open elsewhere without write sharing (Excel holds what it shows that
// way), is tried again after random pauses for at most `wait` in all. Raises Error
// "Cannot create file "<full path>". <system text>" when the file cannot be opened or locked in
// that time (the last error's text), "Cannot read file ..." when the file cannot be read, and
// "Cannot write file ..." when writing or flushing fails (what was written is cut off again).
// No temporary file and rename: on a share, a rename would lose the rows that others appended in
// between.
[[nodiscard]] AppendResult AppendUnderLock(const std::wstring& path, std::size_t head_bytes,
                                           const AppendDecision& decide,
                                           std::chrono::milliseconds wait);

}  // namespace travik
