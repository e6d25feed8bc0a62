#pragma once
// What the program starts with: the check run's inputs and the window's hooks. ProductSetup()
// gives the program's own (the platform's servers, this machine's facts, the real dialogs); the
// loopback build used by tests hands in loopback endpoints and fixed facts instead.
#include "app/unattended.h"
#include "core/check_run.h"
#include "ui/window_hooks.h"

namespace travik {

struct ProgramSetup {
  core::RunInputs run;
  WindowHooks window;
  UnattendedSettings unattended;
};

// Reads the OS version values and the decimal separator (once, at start-up).
[[nodiscard]] ProgramSetup ProductSetup();

}  // namespace travik
