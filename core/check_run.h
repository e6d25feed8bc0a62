#pragma once
// The check run: the host checks, the TCP probes of the fixed endpoints and the FTP login
// probe, in their fixed order, writing the check log as it goes and recording every problem in
// one of the two issue lists. Portable: it knows nothing of windows; a front end hands it the
// host's facts, the probes and a sink for the log, and gets a CheckResult back.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
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
  static constexpr std::size_t kBroadcast = 2;
  static constexpr std::size_t kInternational = 4;
  static constexpr std::size_t kTcpEndpoints = kBroadcast + kInternational;

  std::array<NetworkEndpoint, kBroadcast> broadcast;          // failures are secondary errors
  std::array<NetworkEndpoint, kInternational> international;  // failures are impediments
  net::FtpSettings ftp;

  // TCP endpoint `index` in probing order: the broadcast servers, then the international ones.
  [[nodiscard]] const NetworkEndpoint& Tcp(std::size_t index) const {
    return index < kBroadcast ? broadcast.at(index) : international.at(index - kBroadcast);
  }
  [[nodiscard]] NetworkEndpoint& Tcp(std::size_t index) {
    return index < kBroadcast ? broadcast.at(index) : international.at(index - kBroadcast);
  }
};

// What a run is given: the host's facts, where its network checks go, and how names are looked
// up (the system's resolver unless a test says otherwise).
struct RunInputs {
  HostFacts host;
  NetworkTargets targets;
  net::LookUp look_up = net::SystemLookUp;
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

class ParallelProbes;

class CheckRun {
 public:
  // Everything given is used only during Run(), on the calling thread and on the probes' threads,
  // which Run() joins before it returns. A stop requested on `stop`, from any thread, abandons
  // the run: its steps stop and its waits end.
  CheckRun(const RunInputs& inputs, const ProbeClients& clients, LogSink& sink,
           std::stop_token stop);
  // Ends the FTP session of a login that succeeded.
  ~CheckRun();
  CheckRun(const CheckRun&) = delete;
  CheckRun& operator=(const CheckRun&) = delete;

  // The whole run, from clearing the log to the closing banner. Never raises for a failed check;
  // raises what a step met that no check expects (std::bad_alloc, say).
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
  // The network checks, written in their fixed order as the probes' outcomes come in.
  void CheckBroadcastServers(ParallelProbes& probes);
  void CheckInternationalServers(ParallelProbes& probes);
  bool TestConnection(ParallelProbes& probes, std::size_t index, ProbeGroup group, bool primary);
  void CheckFtpServer(ParallelProbes& probes);

  const RunInputs& inputs_;
  const ProbeClients& clients_;
  LogSink& sink_;
  std::stop_token stop_;
  std::unique_ptr<FtpProbeClient> IdFTP1;  // outlives the run: a login that succeeded stays open
  CheckResult result_;
};

// The text of the verdict page for these impediments (lines broken by CR), whose end asks for the
// report at `support_address`.
[[nodiscard]] std::string VerdictText(const std::vector<std::string>& errors,
                                      const std::string& support_address);

// The lines a report export appends to the log: each non-empty list under its heading.
[[nodiscard]] std::vector<std::string> ReportSections(
    const std::vector<std::string>& errors, const std::vector<std::string>& secondary_errors);

// The minimums, in GB figures: a figure passes when it is at least its minimum.
inline constexpr double kMinimumMemoryGb = 2.0;
inline constexpr double kMinimumDiskGb = 1.0;

}  // namespace travik::core
