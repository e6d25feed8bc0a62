#include "platform/host_windows.h"

#include <lm.h>

#include <cwchar>
#include <optional>

#include "platform/win_handles.h"

namespace travik {
namespace {

// The SDK's own names, with the numbers the checks are defined by.
static_assert(PROCESSOR_ARCHITECTURE_AMD64 == 9);
static_assert(sizeof(MEMORYSTATUSEX) == 64);
static_assert(TOKEN_QUERY == 8);

bool Above(const OsFacts& f, DWORD major, DWORD minor) {
  return f.major > major || (f.major == major && f.minor > minor);
}

// A file's version resource, as VerQueryValueW reads it; empty when it has none.
std::vector<std::uint8_t> VersionResource(const wchar_t* file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  if (size == 0) return {};
  std::vector<std::uint8_t> data(size);
  if (!GetFileVersionInfoW(file, 0, size, data.data())) return {};
  return data;
}

// The fixed part of a file's version resource.
std::optional<VS_FIXEDFILEINFO> FixedFileInfo(const wchar_t* file) {
  std::vector<std::uint8_t> data = VersionResource(file);
  if (data.empty()) return std::nullopt;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  return *info;
}

// A text of a version resource's first language ("ProductVersion"); empty when there is none.
std::wstring VersionText(std::vector<std::uint8_t>& data, const wchar_t* name) {
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      translations == nullptr || length < sizeof(Translation)) {
    return {};
  }
  // The block is named by the language and code page in eight hex digits: "041604b0" (by hand:
  // the C library's formatting would add some 10 KB to the program for it).
  DWORD key = (DWORD{translations->language} << 16) | translations->code_page;
  std::wstring digits(8, L'0');
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, key >>= 4) {
    *digit = L"0123456789abcdef"[key & 0xF];
  }
  const std::wstring block = L"\\StringFileInfo\\" + digits + L"\\" + name;
  wchar_t* text = nullptr;
  if (!VerQueryValueW(data.data(), block.c_str(), reinterpret_cast<void**>(&text), &length) ||
      text == nullptr || length == 0) {
    return {};
  }
  std::wstring value(text, length);
  value.resize(std::wcslen(value.c_str()));  // the length counts the closing NUL
  return value;
}

// The product version of kernel32.dll, which tells the real version whatever the compatibility
// settings of the program make GetVersionExW say.
bool ReadKernelProductVersion(OsFacts& f) {
  const std::optional<VS_FIXEDFILEINFO> info = FixedFileInfo(L"kernel32.dll");
  if (!info) return false;
  f.major = HIWORD(info->dwProductVersionMS);
  f.minor = LOWORD(info->dwProductVersionMS);
  f.build = HIWORD(info->dwProductVersionLS);
  return true;
}

// netapi32.dll is loaded here, for this fallback alone: imported, it and the name-resolution
// DLLs it brings in would be loaded and started with every start of the program.
void ReadWorkstationVersion(OsFacts& f) {
  using NetWkstaGetInfoFn = NET_API_STATUS(NET_API_FUNCTION*)(LMSTR, DWORD, LPBYTE*);
  using NetApiBufferFreeFn = NET_API_STATUS(NET_API_FUNCTION*)(LPVOID);
  const UniqueLibrary netapi(LoadLibraryW(L"netapi32.dll"));
  if (!netapi) return;
  const auto get_info = reinterpret_cast<NetWkstaGetInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(netapi.get(), "NetWkstaGetInfo")));
  const auto free_buffer = reinterpret_cast<NetApiBufferFreeFn>(
      reinterpret_cast<void*>(GetProcAddress(netapi.get(), "NetApiBufferFree")));
  if (get_info == nullptr || free_buffer == nullptr) return;
  struct NetBuffer {
    NetApiBufferFreeFn release;
    LPBYTE raw = nullptr;
    ~NetBuffer() {
      if (raw != nullptr) release(raw);
    }
  } buffer{free_buffer};
  if (get_info(nullptr, 100, &buffer.raw) != NERR_Success || buffer.raw == nullptr) return;
  const auto* info = reinterpret_cast<const WKSTA_INFO_100*>(buffer.raw);
  f.major = info->wki100_ver_major;
  f.minor = info->wki100_ver_minor;
}

bool VerifiedWorkstation() {
  OSVERSIONINFOEXW wanted{};
  wanted.dwOSVersionInfoSize = sizeof wanted;
  wanted.wProductType = VER_NT_WORKSTATION;
  const DWORDLONG mask = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
  return VerifyVersionInfoW(&wanted, VER_PRODUCT_TYPE, mask) != FALSE;
}

}  // namespace

OsFacts ReadOsFacts() {
  OsFacts f;
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  // Deprecated, but with the compatibility manifest it reports the version the program needs.
#ifdef __GNUC__
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));  // on failure the zeros stand
#ifdef __GNUC__
#pragma GCC diagnostic pop
#endif
  f.major = version.dwMajorVersion;
  f.minor = version.dwMinorVersion;
  f.build = version.dwBuildNumber;
  f.service_pack = version.wServicePackMajor;
  f.product_type = version.wProductType;
  if (f.major > 5 || (f.major == 5 && f.minor >= 1)) {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    f.native_x64 = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  }
  if (Above(f, 6, 1) && !ReadKernelProductVersion(f)) ReadWorkstationVersion(f);
  f.verified_workstation = VerifiedWorkstation();
  f.server_r2 = GetSystemMetrics(SM_SERVERR2) != 0;
  return f;
}

std::uint64_t TotalPhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  GlobalMemoryStatusEx(&status);  // a failure leaves the record zeroed
  return status.ullTotalPhys;
}

std::int64_t FreeDiskBytes() {
  ULARGE_INTEGER available{}, total{}, free{};
  if (!GetDiskFreeSpaceExW(nullptr, &available, &total, &free)) return -1;
  return static_cast<std::int64_t>(available.QuadPart);
}

std::wstring UserDecimalSeparator() {
  wchar_t buffer[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) <= 1) return L".";
  return buffer;
}

std::wstring UserListSeparator() {
  wchar_t buffer[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SLIST, buffer, 8) <= 1) return L",";
  return buffer;
}

std::vector<std::uint8_t> ReadTokenGroups(const TokenInformationQuery& query) {
  // Sized by what the call asks for: a token of a domain user can hold many groups, and a fixed
  // buffer would report a real administrator as none.
  constexpr DWORD kFirstTry = 1024;
  constexpr int kAttempts = 4;  // the groups can change between two calls; don't chase forever
  std::vector<std::uint8_t> buffer(kFirstTry);
  for (int i = 0; i < kAttempts; ++i) {
    DWORD needed = 0;
    if (query(buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) return buffer;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) break;
    buffer.assign(needed, 0);
  }
  return {};
}

bool GroupsIncludeAdministrators(const std::vector<std::uint8_t>& buffer) {
  if (buffer.size() < sizeof(TOKEN_GROUPS)) return false;
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  UniqueSid administrators;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, administrators.put())) {
    return false;
  }
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  // Never walk past the buffer, whatever count it states.
  const std::size_t fits =
      (buffer.size() - offsetof(TOKEN_GROUPS, Groups)) / sizeof(SID_AND_ATTRIBUTES);
  const std::size_t count = std::min<std::size_t>(groups->GroupCount, fits);
  for (std::size_t i = 0; i < count; ++i) {
    // The attributes are not looked at: a deny-only entry counts as a match.
    if (EqualSid(groups->Groups[i].Sid, administrators.get())) return true;
  }
  return false;
}

bool IsUserAdmin() {
  UniqueHandle token;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  }
  const std::vector<std::uint8_t> groups =
      ReadTokenGroups([&token](void* buffer, DWORD size, DWORD* needed) {
        return GetTokenInformation(token.get(), TokenGroups, buffer, size, needed);
      });
  token.reset();
  return GroupsIncludeAdministrators(groups);
}

std::wstring ProgramVersion() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  if (n == 0 || n >= std::size(path)) return {};
  std::vector<std::uint8_t> data = VersionResource(path);
  return data.empty() ? std::wstring() : VersionText(data, L"ProductVersion");
}

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  return GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

std::wstring AccountName() {
  UniqueHandle token;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    // A TOKEN_USER holds one SID, whose size has a fixed ceiling.
    alignas(TOKEN_USER) std::uint8_t buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD needed = 0;
    if (GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &needed)) {
      const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid;
      std::wstring name(256, L'\0'), domain(256, L'\0');
      for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD domain_size = static_cast<DWORD>(domain.size());
        SID_NAME_USE use;
        if (LookupAccountSidW(nullptr, sid, name.data(), &name_size, domain.data(), &domain_size,
                              &use)) {
          name.resize(name_size);
          domain.resize(domain_size);
          return domain.empty() ? name : domain + L"\\" + name;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        name.assign(name_size, L'\0');  // the sizes the call asked for
        domain.assign(domain_size, L'\0');
      }
    }
  }
  wchar_t user[257] = {};  // UNLEN + 1
  DWORD size = static_cast<DWORD>(std::size(user));
  return GetUserNameW(user, &size) && size > 0 ? std::wstring(user, size - 1) : std::wstring();
}

}  // namespace travik
