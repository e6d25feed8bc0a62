#pragma once
// The result of a check run as one JSON object (UTF-8), for the tools that start the program
// without a window on many PCs and read what it found. Its layout is named by "schema"; a
// change that removes or renames a field takes a new schema number.
#include <chrono>
#include <cstdint>
#include <string>

#include "core/check_result.h"

namespace travik::core {

inline constexpr char kResultSchema[] = "travik-result/1";
inline constexpr char kToolName[] = "TRAVIK";

// What the runner measured around the check run.
struct RunMetadata {
  std::string version;   // the program's file version, "1.0.0.0"
  std::string computer;  // the computer's name
  std::string user;      // DOMAIN\user
  std::chrono::system_clock::time_point started;
  std::int64_t duration_ms = 0;
};

// The whole object, indented, with a final line break. Text that is not valid UTF-8 has its bad
// bytes replaced by U+FFFD.
[[nodiscard]] std::string ResultJson(const CheckResult& result, const RunMetadata& metadata);

// "logged_in", "login_rejected" or "failed", as the JSON and the CSV name the FTP probe's outcome.
[[nodiscard]] const char* FtpOutcomeName(FtpOutcome outcome);

// "2026-12-10T04:17:27.123Z": UTC, to the millisecond.
[[nodiscard]] std::string UtcTimestamp(std::chrono::system_clock::time_point time);

}  // namespace travik::core
