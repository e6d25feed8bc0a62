#pragma once
// What one check run found, as data: everything a front end shows or writes (the log, the two
// issue lists, the verdict, the report, the JSON result) is derived from it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_line.h"

namespace travik::core {

// One entry of the check log as the log's operations count them: the text of one append, its
// line breaks kept (a lone CR or CR LF each start a new line on screen), in red when `issue`.
struct LogLine {
  std::string text;
  bool issue = false;
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

// Memory or disk space: the byte count, its GB figure and whether it meets the minimum.
struct Measurement {
  std::int64_t bytes = 0;  // disk: -1 when the query failed
  double figure = 0.0;     // ToGB(bytes)
  std::string shown;       // the figure as logged, with the user's decimal separator
  double minimum_gb = 0.0;
  bool ok = false;
};

enum class ProbeGroup { kBroadcast, kInternational };

// An error the network layer raised: the Windows Sockets number (0 for an error that has none)
// and its text ("Host not found.").
struct ProbeError {
  int code = 0;
  std::string text;
  friend bool operator==(const ProbeError&, const ProbeError&) = default;
};

struct TcpProbeResult {
  ProbeGroup group = ProbeGroup::kBroadcast;
  std::string host;
  std::uint16_t port = 0;
  bool ok = false;
  // Null when the connect succeeded, and when it returned without an error but the peer had
  // already closed the connection.
  std::optional<ProbeError> error;
  std::int64_t elapsed_ms = 0;
};

enum class FtpOutcome {
  kLoggedIn,       // the test account was accepted
  kLoginRejected,  // an error whose text begins "login": the server was reached and answered
  kFailed,
};

struct FtpReplyInfo {
  int code = 0;
  std::string text;  // the reply's lines as an error shows them, joined by CR LF, no final break
  friend bool operator==(const FtpReplyInfo&, const FtpReplyInfo&) = default;
};

struct FtpProbeResult {
  std::string host;
  std::uint16_t port = 0;
  FtpOutcome outcome = FtpOutcome::kFailed;
  std::optional<FtpReplyInfo> reply;  // the deciding reply, when there was one
  std::optional<std::string> error;   // the error's text, when the connect raised one
  std::int64_t elapsed_ms = 0;
};

struct CheckResult {
  std::vector<LogLine> log;                   // in order, before any report section
  std::vector<std::string> errors;            // FError: the impediments, in order
  std::vector<std::string> secondary_errors;  // FSecondaryError, in order
  OsFacts os;
  std::string os_line;
  Measurement memory;
  Measurement disk;
  bool administrator = false;
  std::vector<TcpProbeResult> probes;  // in probing order
  std::optional<FtpProbeResult> ftp;
  bool completed = false;  // false when the run was abandoned half-way

  // No impediment found.
  [[nodiscard]] bool Ready() const { return errors.empty(); }
};

}  // namespace travik::core
