#pragma once
// The program from its entry on: the unattended run when the command line asks for one, the
// wizard otherwise. travik.exe calls it with ProductSetup(); the loopback build used by tests and
// benchmarks calls it with loopback endpoints, so that both run the same code.
#include <windows.h>

#include "app/product_setup.h"

namespace travik {

// Returns the process's exit code.
[[nodiscard]] int RunProgram(HINSTANCE instance, int show_command, ProgramSetup setup);

}  // namespace travik
