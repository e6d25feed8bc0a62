#include "platform/os_line.h"

namespace travik {
namespace {

struct NamedVersion {
  std::uint32_t major;
  std::uint32_t minor;
  const char* workstation;
  const char* server;
};

constexpr NamedVersion kNames[] = {
    {5, 0, "Windows 2000", "Windows 2000"},         {5, 1, "Windows XP", "Windows XP"},
    {5, 2, "Windows XP", "Windows Server 2003"},  // refined in OsName
    {6, 0, "Windows Vista", "Windows Server 2008"}, {6, 1, "Windows 7", "Windows Server 2008 R2"},
    {6, 2, "Windows 8", "Windows Server 2012"},     {6, 3, "Windows 8.1", "Windows Server 2012 R2"},
    {10, 0, "Windows 10", "Windows Server 2016"},
};

bool IsWorkstation(const OsFacts& f) {
  const bool verified = (f.major == 6 && f.minor == 3) || (f.major == 10 && f.minor == 0);
  return verified ? f.verified_workstation : f.product_type == kProductTypeWorkstation;
}

}  // namespace

std::string OsName(const OsFacts& f) {
  if (f.major == 5 && f.minor == 2) {
    if (IsWorkstation(f) && f.native_x64) return "Windows XP";
    return f.server_r2 ? "Windows Server 2003 R2" : "Windows Server 2003";
  }
  for (const NamedVersion& v : kNames) {
    if (v.major == f.major && v.minor == f.minor) {
      return IsWorkstation(f) ? v.workstation : v.server;
    }
  }
  return "Windows";
}

std::string OsDescriptionLine(const OsFacts& f) {
  const std::string edition = f.native_x64 ? "64-bit Edition" : "32-bit Edition";
  const std::string version = "(Version " + std::to_string(f.major) + "." +
                              std::to_string(f.minor) + ", Build " + std::to_string(f.build) +
                              ", " + edition + ")";
  if (f.service_pack == 0) return OsName(f) + " " + version;
  return OsName(f) + " Service Pack " + std::to_string(f.service_pack) + " " + version;
}

}  // namespace travik
