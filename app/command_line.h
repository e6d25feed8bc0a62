#pragma once
// The program's command line, read the Windows way: options start with "/", "-" or "--", their
// names are matched without regard to letter case, and a value follows as the next argument or
// after ":" or "=" ("/report FILE", "/report:FILE", "--report=FILE"). The argument after an
// option that takes a value is always that value, whatever it starts with. Portable: it works on
// the arguments as the system split them (argv[0] left out).
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace travik::cli {

// The process's exit codes.
inline constexpr int kExitReady = 0;        // the check ran and found no impediment
inline constexpr int kExitImpediments = 1;  // the check ran and found impediments
// A bad command line, or something asked for (a file, standard output) could not be written.
inline constexpr int kExitFailure = 2;

// The value of /json that means standard output.
inline constexpr wchar_t kStandardOutput[] = L"-";

// What the command line asks for. Nothing at all: the wizard.
struct Request {
  bool help = false;
  bool version = false;                // print "TRAVIK <version>" and exit
  std::optional<std::wstring> report;  // the RTF report's path
  std::optional<std::wstring> json;    // the JSON result's path, or kStandardOutput
  std::optional<std::wstring> csv;     // the table file that the run's row is appended to
  // A check run without a window: an output was asked for.
  [[nodiscard]] bool Unattended() const {
    return report.has_value() || json.has_value() || csv.has_value();
  }
  friend bool operator==(const Request&, const Request&) = default;
};

// What is wrong with a command line, naming the option or argument as it was written.
struct UsageError {
  std::wstring message;
  friend bool operator==(const UsageError&, const UsageError&) = default;
};

[[nodiscard]] std::variant<Request, UsageError> ParseArguments(
    const std::vector<std::wstring>& arguments);

// The exit code of an unattended run: an output that could not be written outweighs what the
// check found.
[[nodiscard]] inline int RunExitCode(bool ready, bool every_output_written) {
  if (!every_output_written) return kExitFailure;
  return ready ? kExitReady : kExitImpediments;
}

// What /version prints: "TRAVIK 1.1.0+g1a2b3c4".
[[nodiscard]] std::wstring VersionText(const std::wstring& version);

// The text /? prints, headed by the version.
[[nodiscard]] std::wstring UsageText(const std::wstring& version);

}  // namespace travik::cli
