#include "platform/output_file.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <random>
#include <utility>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/text.h"

namespace travik {
namespace {

[[noreturn]] void Raise(const wchar_t* what, const std::wstring& full_path, DWORD error) {
  throw Error(Narrow(std::wstring(what) + L" \"" + full_path + L"\". " + SystemErrorText(error)));
}

// The pauses between tries are random, up to a bound that doubles from the first to the last, so
// that writers that met once do not meet again at every try.
constexpr int kFirstPauseMaxMs = 10;
constexpr int kLastPauseMaxMs = 250;

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Holds the lock of the appending writers on an open file.
class WritersLock {
 public:
  // Takes the lock, or gives nothing at once when someone holds it (GetLastError() says why).
  static std::optional<WritersLock> TryTake(HANDLE file) {
    OVERLAPPED at = At(kAppendLockOffset);
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, kAppendLockLength,
                    0, &at)) {
      return std::nullopt;
    }
    return WritersLock(file);
  }
  ~WritersLock() {
    if (file_ == nullptr) return;
    OVERLAPPED at = At(kAppendLockOffset);
    UnlockFileEx(file_, 0, kAppendLockLength, 0, &at);
  }
  WritersLock(WritersLock&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
  WritersLock& operator=(WritersLock&&) = delete;
  WritersLock(const WritersLock&) = delete;
  WritersLock& operator=(const WritersLock&) = delete;

 private:
  explicit WritersLock(HANDLE file) : file_(file) {}
  HANDLE file_;
};

// Someone else has the file: it is worth trying again.
bool Held(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Up to `count` bytes from `offset` on, fewer at the end of the file. False when a read fails.
bool ReadAt(HANDLE file, std::uint64_t offset, std::size_t count, std::string& bytes) {
  bytes.assign(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    OVERLAPPED at = At(offset + got);
    DWORD n = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(count - got, 1 << 20));
    if (!ReadFile(file, bytes.data() + got, want, &n, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return true;
}

// The part of AppendUnderLock done while the lock is held.
AppendResult AppendLocked(HANDLE file, const std::wstring& full_path, std::size_t head_bytes,
                          const AppendDecision& decide) {
  FileStart start;
  LARGE_INTEGER size{};
  std::string last;
  if (!GetFileSizeEx(file, &size) ||
      !ReadAt(file, 0, std::min<std::uint64_t>(head_bytes, size.QuadPart), start.head) ||
      (size.QuadPart > 0 && !ReadAt(file, size.QuadPart - 1, 1, last))) {
    const DWORD error = GetLastError();
    Raise(L"Cannot read file", full_path, error);
  }
  start.size = static_cast<std::uint64_t>(size.QuadPart);
  start.ends_with_line_feed = last == "\n";
  const std::optional<std::string> bytes = decide(start);
  if (!bytes) return AppendResult::kLeftAlone;
  if (!SetFilePointerEx(file, size, nullptr, FILE_BEGIN) || !WriteAll(file, *bytes)) {
    const DWORD error = GetLastError();
    // No half row stays behind for the next writer to append to.
    if (SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) SetEndOfFile(file);
    Raise(L"Cannot write file", full_path, error);
  }
  if (!FlushFileBuffers(file)) {
    const DWORD error = GetLastError();
    Raise(L"Cannot write file", full_path, error);
  }
  return AppendResult::kAppended;
}

// Seeded apart in every process, so that writers started together pause differently.
std::minstd_rand PauseRandomness() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  std::seed_seq seed{static_cast<std::uint32_t>(GetCurrentProcessId()),
                     static_cast<std::uint32_t>(counter.LowPart),
                     static_cast<std::uint32_t>(counter.HighPart)};
  return std::minstd_rand(seed);
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

AppendResult AppendUnderLock(const std::wstring& path, std::size_t head_bytes,
                             const AppendDecision& decide, std::chrono::milliseconds wait) {
  const std::wstring full_path = FullPath(path);
  const Clock::time_point deadline = Clock::now() + wait;
  std::minstd_rand randomness = PauseRandomness();
  int pause_max_ms = kFirstPauseMaxMs;
  for (;;) {
    DWORD error = NO_ERROR;
    {
      // Shared for reading and writing: the other writers open it too, and wait for the lock.
      const UniqueHandle file(CreateFileW(full_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
      error = file ? NO_ERROR : GetLastError();
      if (file) {
        if (const std::optional<WritersLock> lock = WritersLock::TryTake(file.get())) {
          return AppendLocked(file.get(), full_path, head_bytes, decide);
        }
        error = GetLastError();
      }
    }  // closed while pausing: a writer that waits holds nothing
    const long long left = MillisecondsLeft(deadline);
    if (!Held(error) || left <= 0) Raise(L"Cannot create file", full_path, error);
    const int pause_ms = std::uniform_int_distribution<int>(1, pause_max_ms)(randomness);
    Sleep(static_cast<DWORD>(std::min<std::int64_t>(pause_ms, left)));
    pause_max_ms = std::min(2 * pause_max_ms, kLastPauseMaxMs);
  }
}

}  // namespace travik
