// What the host checks ask of Windows, against the real system (Wine's, in the test run).
#include "platform/host_windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "platform/win_handles.h"

namespace travik {
namespace {

TEST(HostWindows, ReadsTheRealFigures) {
  EXPECT_GT(TotalPhysicalMemory(), 0u);
  EXPECT_GE(FreeDiskBytes(), 0);
  // The test user under Wine belongs to the Administrators group.
  EXPECT_TRUE(IsUserAdmin());
}

TEST(HostWindows, DecimalSeparatorFollowsTheUsersLocale) {
  // The test run starts this program once more under a Portuguese locale, naming the separator
  // it expects.
  const char* expected = std::getenv("TRAVIK_EXPECTED_DECIMAL_SEPARATOR");
  EXPECT_EQ(UserDecimalSeparator(), Widen(expected != nullptr ? expected : "."));
}

// A TOKEN_GROUPS record of `count` groups, the Administrators group at `admin_at` (or nowhere).
class GroupsRecord {
 public:
  GroupsRecord(DWORD count, DWORD admin_at) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                             0, 0, 0, admins_.put());
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0,
                             0, 0, 0, users_.put());
    bytes_.resize(offsetof(TOKEN_GROUPS, Groups) + count * sizeof(SID_AND_ATTRIBUTES));
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(bytes_.data());
    groups->GroupCount = count;
    for (DWORD i = 0; i < count; ++i) {
      groups->Groups[i].Sid = i == admin_at ? admins_.get() : users_.get();
      // A deny-only entry, as in a token filtered by User Account Control.
      groups->Groups[i].Attributes = i == admin_at ? SE_GROUP_USE_FOR_DENY_ONLY : 0;
    }
  }
  [[nodiscard]] const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  UniqueSid admins_, users_;
  std::vector<std::uint8_t> bytes_;
};

TEST(HostWindows, ManyGroupsAreReadWhateverTheirSize) {
  const GroupsRecord record(400, 399);  // far more than fits into 1024 bytes
  ASSERT_GT(record.Bytes().size(), 1024u);
  int calls = 0;
  const auto groups = ReadTokenGroups([&](void* buffer, DWORD size, DWORD* needed) -> BOOL {
    ++calls;
    *needed = static_cast<DWORD>(record.Bytes().size());
    if (size < record.Bytes().size()) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    std::memcpy(buffer, record.Bytes().data(), record.Bytes().size());
    return TRUE;
  });
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(GroupsIncludeAdministrators(groups));
}

TEST(HostWindows, GroupMembershipIgnoresAttributesAndStaysInsideTheBuffer) {
  EXPECT_TRUE(GroupsIncludeAdministrators(GroupsRecord(8, 0).Bytes()));
  EXPECT_FALSE(GroupsIncludeAdministrators(GroupsRecord(8, 99).Bytes()));
  EXPECT_FALSE(GroupsIncludeAdministrators({}));
  // A count larger than the buffer holds is not followed past its end.
  GroupsRecord lying(4, 99);
  std::vector<std::uint8_t> bytes = lying.Bytes();
  reinterpret_cast<TOKEN_GROUPS*>(bytes.data())->GroupCount = 100000;
  EXPECT_FALSE(GroupsIncludeAdministrators(bytes));
}

TEST(HostWindows, FailedQueryGivesNoGroups) {
  const auto groups = ReadTokenGroups([](void*, DWORD, DWORD* needed) -> BOOL {
    *needed = 0;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  });
  EXPECT_TRUE(groups.empty());
  EXPECT_FALSE(GroupsIncludeAdministrators(groups));
}

}  // namespace
}  // namespace travik
