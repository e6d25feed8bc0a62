#pragma once
// What the host checks ask of Windows. Nothing here raises: failures give the values that the
// checks report as failures.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/os_line.h"

namespace travik {

// The version values of the OS description line, read once at start-up.
[[nodiscard]] OsFacts ReadOsFacts();

// Total physical memory in bytes (0 when the query fails).
[[nodiscard]] std::uint64_t TotalPhysicalMemory();

// Bytes free for the calling user on the drive of the current directory, -1 on failure.
[[nodiscard]] std::int64_t FreeDiskBytes();

// The user's decimal separator from the regional settings ("." when it cannot be read).
[[nodiscard]] std::wstring UserDecimalSeparator();

// The user's list separator from the regional settings, which Excel splits a double-clicked CSV
// file at ("," when it cannot be read).
[[nodiscard]] std::wstring UserListSeparator();

// True when the access token of the thread (or else of the process) lists the built-in
// Administrators group, whatever that group's attributes (a deny-only entry counts too).
[[nodiscard]] bool IsUserAdmin();

// The token's groups as GetTokenInformation returns them, in a buffer as large as the call asks
// for. `query` stands for GetTokenInformation(token, TokenGroups, ...). Empty on failure.
using TokenInformationQuery = std::function<BOOL(void* buffer, DWORD size, DWORD* needed)>;
[[nodiscard]] std::vector<std::uint8_t> ReadTokenGroups(const TokenInformationQuery& query);

// Whether the groups in `buffer` (a TOKEN_GROUPS record) include the Administrators group.
[[nodiscard]] bool GroupsIncludeAdministrators(const std::vector<std::uint8_t>& buffer);

// The running program's version as its version resource gives it (ProductVersion,
// "1.1.0+g1a2b3c4"); empty without one.
[[nodiscard]] std::wstring ProgramVersion();

// The computer's NetBIOS name; empty when it cannot be read.
[[nodiscard]] std::wstring ComputerName();

// The account the process runs as, "DOMAIN\user" (the computer's name for a local account); the
// bare user name when the account cannot be looked up.
[[nodiscard]] std::wstring AccountName();

}  // namespace travik
