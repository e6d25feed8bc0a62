#include "platform/os_line.h"

#include <gtest/gtest.h>

namespace travik {
namespace {

OsFacts Facts(std::uint32_t major, std::uint32_t minor, bool workstation) {
  OsFacts f;
  f.major = major;
  f.minor = minor;
  f.build = 1;
  f.product_type = workstation ? 1 : 3;
  f.verified_workstation = workstation;
  return f;
}

TEST(OsName, NamesEveryVersionForWorkstationAndServer) {
  struct Case {
    std::uint32_t major, minor;
    const char* workstation;
    const char* server;
  };
  const Case cases[] = {
      {5, 0, "Windows 2000", "Windows 2000"},
      {5, 1, "Windows XP", "Windows XP"},
      {5, 2, "Windows Server 2003", "Windows Server 2003"},  // 32-bit, no R2
      {6, 0, "Windows Vista", "Windows Server 2008"},
      {6, 1, "Windows 7", "Windows Server 2008 R2"},
      {6, 2, "Windows 8", "Windows Server 2012"},
      {6, 3, "Windows 8.1", "Windows Server 2012 R2"},
      {10, 0, "Windows 10", "Windows Server 2016"},
      {4, 0, "Windows", "Windows"},
      {6, 4, "Windows", "Windows"},
      {11, 0, "Windows", "Windows"},
      {0, 0, "Windows", "Windows"},  // failed version query
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
    EXPECT_EQ(OsName(Facts(c.major, c.minor, true)), c.workstation);
    EXPECT_EQ(OsName(Facts(c.major, c.minor, false)), c.server);
  }
}

TEST(OsName, WindowsXpX64AndServer2003R2) {
  OsFacts f = Facts(5, 2, true);
  f.native_x64 = true;
  EXPECT_EQ(OsName(f), "Windows XP");
  f.server_r2 = true;
  EXPECT_EQ(OsName(f), "Windows XP");
  f.product_type = 3;
  EXPECT_EQ(OsName(f), "Windows Server 2003 R2");
  f.server_r2 = false;
  EXPECT_EQ(OsName(f), "Windows Server 2003");
}

TEST(OsName, WorkstationSourceDependsOnVersion) {
  // 6.2 trusts the version record; 6.3 and 10.0 trust the verifier.
  OsFacts f = Facts(6, 2, true);
  f.verified_workstation = false;
  EXPECT_EQ(OsName(f), "Windows 8");
  f = Facts(10, 0, true);
  f.product_type = 3;
  EXPECT_EQ(OsName(f), "Windows 10");
  f.verified_workstation = false;
  f.product_type = 1;
  EXPECT_EQ(OsName(f), "Windows Server 2016");
}

TEST(OsDescriptionLine, BothPatterns) {
  OsFacts f = Facts(10, 0, true);
  f.build = 19045;
  f.native_x64 = true;
  EXPECT_EQ(OsDescriptionLine(f), "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)");
  f = Facts(6, 1, true);
  f.build = 7601;
  f.service_pack = 1;
  EXPECT_EQ(OsDescriptionLine(f),
            "Windows 7 Service Pack 1 (Version 6.1, Build 7601, 32-bit Edition)");
  EXPECT_EQ(OsDescriptionLine(OsFacts{}), "Windows (Version 0.0, Build 0, 32-bit Edition)");
}

}  // namespace
}  // namespace travik
