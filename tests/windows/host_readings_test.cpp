// The host queries against this machine's own readings, taken outside Windows. Under Wine the
// physical memory is Linux's: /proc/meminfo, which the test reads through drive Z:. The free
// space is that of the folder the current drive maps to: statvfs, read natively by
// with_host_readings.sh just before this program starts (CTest runs it so). On any working
// machine the total and the available figures are far enough apart that a query answering with
// the other one fails.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/host_windows.h"

namespace travik {
namespace {

// Wine reports the physical memory a page short of MemTotal.
constexpr std::uint64_t kPage = 4096;
// Other programs write and delete files meanwhile: between the native reading and the query the
// free space may move by this much (a Wine prefix being made or removed is a few hundred MB).
constexpr std::int64_t kDiskDrift = std::int64_t{1} << 30;

struct MemInfo {
  std::optional<std::uint64_t> total;      // MemTotal, bytes
  std::optional<std::uint64_t> available;  // MemAvailable, bytes
};

MemInfo ReadMemInfo() {
  MemInfo info;
  std::ifstream in("Z:\\proc\\meminfo");
  std::string name;
  std::uint64_t kib = 0;
  std::string unit;
  while (in >> name >> kib) {
    std::getline(in, unit);
    if (name == "MemTotal:") info.total = kib * 1024;
    if (name == "MemAvailable:") info.available = kib * 1024;
  }
  return info;
}

TEST(HostQueries, TotalPhysicalMemoryIsTheTotalNotWhatIsAvailable) {
  const MemInfo info = ReadMemInfo();
  ASSERT_TRUE(info.total && info.available) << "Z:\\proc\\meminfo (Linux's) cannot be read";
  ASSERT_GT(*info.total - *info.available, 16 * kPage) << "the two figures cannot be told apart";
  const std::uint64_t total = TotalPhysicalMemory();
  EXPECT_LE(total, *info.total);
  EXPECT_GE(total, *info.total - kPage)
      << "MemTotal " << *info.total << ", MemAvailable " << *info.available;
}

TEST(HostQueries, FreeDiskBytesIsTheSpaceAvailableToTheUserOnTheCurrentDrive) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, folder), 2u);
  ASSERT_EQ(folder[1], L':') << "the current folder is on no drive letter";
  const char letter = static_cast<char>(std::towupper(folder[0]));
  const std::string variable = std::string("TRAVIK_STATVFS_") + letter;
  const char* reading = std::getenv(variable.c_str());
  ASSERT_NE(reading, nullptr) << "no native reading of drive " << letter << ": in " << variable
                              << "; run this program through tests/windows/with_host_readings.sh"
                                 " (CTest does)";
  std::int64_t available = -1, total = -1;
  std::istringstream(reading) >> available >> total;
  ASSERT_GE(available, 0) << reading;
  ASSERT_GT(total - available, 2 * kDiskDrift)
      << "drive " << letter << ": has too little in use to tell what is available from its total";

  const std::int64_t free = FreeDiskBytes();
  EXPECT_LE(std::llabs(free - available), kDiskDrift)
      << "queried " << free << ", statvfs: available " << available << " of " << total;
}

}  // namespace
}  // namespace travik
