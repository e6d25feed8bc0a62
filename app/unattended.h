#pragma once
// The command line: an unattended check run that writes a JSON result, the RTF report and a row
// of the fleet's CSV table, as asked, and exits with a code an IT department's tools can read;
// or the usage, or the version. In this mode no window, no dialog and no message box is ever
// shown (but the usage or version box of a program started without a console), and every error
// ends in an exit code.
#include <chrono>
#include <optional>

#include "core/check_run.h"

namespace travik {

// What the unattended run is given besides the check run's inputs.
struct UnattendedSettings {
  // How long, in all, the row of /csv waits for its file while other writers have it locked or
  // someone has it open without write sharing.
  std::chrono::milliseconds table_wait{0};
};

// Does what the process's command line asks. Returns the exit code, or nothing when the command
// line is empty and the wizard is to start.
[[nodiscard]] std::optional<int> RunFromCommandLine(const core::RunInputs& inputs,
                                                    const UnattendedSettings& settings);

}  // namespace travik
