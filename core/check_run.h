#pragma once
// The check run: the host checks, the TCP probes of the fixed endpoints and the FTP login
// probe, in their fixed order, writing the check log as it goes and recording every problem in
// one of the two issue lists. Portable: it knows nothing of windows; a front end hands it the
// host's facts, the probes and a sink for the log, and gets a CheckResult back.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/check_result.h"
#include "core/probes.h"
#include "platform/ftp_client.h"
#include "platform/os_line.h"

namespace travik::core {

struct NetworkEndpoint {
  std::string host;
  std::uint16_t port = 0;
};

// The host's facts. The OS values and the decimal separator are read before the run; the three
// queries are asked when their check runs.
struct HostFacts {
  OsFacts os;
  std::string decimal_separator = ".";
  std::function<std::uint64_t()> total_memory;  // bytes
  std::function<std::int64_t()> free_disk;      // bytes free to the user, -1 on failure
  std::function<bool()> is_admin;               // the token lists the Administrators group
};

// Where the network checks go.
struct NetworkTargets {
  std::array<NetworkEndpoint, 2> broadcast;      // failures are secondary errors
  std::array<NetworkEndpoint, 4> international;  // failures are impediments
  net::FtpSettings ftp;
};

// What a run is given: the host's facts and where its network checks go.
struct RunInputs {
  HostFacts host;
  NetworkTargets targets;
};

// What the run does to the log, in order. Called on the thread that runs the check.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Clear() = 0;
  virtual void Append(const LogLine& line) = 0;
  // The last line appended is replaced by this one (a probe line and its outcome).
  virtual void ReplaceLast(const LogLine& line) = 0;
};

class CheckRun {
 public:
  // Everything given is used only during Run(), on the calling thread; `cancel` may be set from
  // any thread to abandon the run (its steps stop and its waits end).
  CheckRun(const HostFacts& host, const NetworkTargets& targets, TcpProbeClient& tcp,
           FtpProbeClient& ftp, LogSink& sink, const CancelFlag& cancel);

  // The whole run, from clearing the log to the closing banner. Never raises for a failed check.
  [[nodiscard]] CheckResult Run();

 private:
  // Every problem with a visible line goes through here: the line in red, then the list.
  void AddIssue(const std::string& text, bool primary);
  void ReplaceProbeLineWithIssue(const std::string& text, bool primary);
  void Append(const std::string& text);
  void ReplaceLast(const LogLine& line);
  [[nodiscard]] bool Cancelled() const;

  void CheckMemory();
  void CheckDiskSpace();
  [[nodiscard]] bool IsUserAdmin();
  void CheckAdministrator();
  void CheckBroadcastServers();
  void CheckInternationalServers();
  bool TestConnection(const NetworkEndpoint& endpoint, ProbeGroup group, bool primary);
  void CheckFtpServer();

  const HostFacts& host_;
  const NetworkTargets& targets_;
  TcpProbeClient& IdTCPClient1;
  FtpProbeClient& IdFTP1;
  LogSink& sink_;
  const CancelFlag& cancel_;
  CheckResult result_;
};

// The text of the verdict page for these impediments (lines broken by CR).
[[nodiscard]] std::string VerdictText(const std::vector<std::string>& errors);

// The lines a report export appends to the log: each non-empty list under its heading.
[[nodiscard]] std::vector<std::string> ReportSections(
    const std::vector<std::string>& errors, const std::vector<std::string>& secondary_errors);

inline constexpr char kSupportAddress[] = "suporte@korvena.com.br";

}  // namespace travik::core
