#pragma once
// The command line: an unattended check run that writes a JSON result and/or the RTF report and
// exits with a code an IT department's tools can read, or the usage. In this mode no window, no
// dialog and no message box is ever shown, and every error ends in an exit code.
#include <optional>

#include "core/check_run.h"

namespace travik {

// Does what the process's command line asks. Returns the exit code, or nothing when the command
// line is empty and the wizard is to start.
[[nodiscard]] std::optional<int> RunFromCommandLine(const core::RunInputs& inputs);

}  // namespace travik
