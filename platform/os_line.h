#pragma once
// The one-line description of the operating system, built from version values read once at
// start-up.
#include <cstdint>
#include <string>

namespace travik {

inline constexpr std::uint8_t kProductTypeWorkstation = 1;

struct OsFacts {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t service_pack = 0;  // major service-pack number
  // Product type from the extended version record (1: workstation); it names 5.2 to 6.2.
  std::uint8_t product_type = 0;
  // What the version verifier confirms (product type equal to 1); it names 6.3 and 10.0.
  bool verified_workstation = false;
  bool native_x64 = false;  // native processor architecture is x64 (asked from 5.1 on)
  bool server_r2 = false;   // the system metric for Windows Server 2003 R2
};

[[nodiscard]] std::string OsName(const OsFacts& facts);

// "<name> (Version M.m, Build b, <edition>)", or with " Service Pack <sp>" after the name.
[[nodiscard]] std::string OsDescriptionLine(const OsFacts& facts);

}  // namespace travik
