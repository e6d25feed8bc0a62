#pragma once
// The program's own setup: the platform's servers, this machine's facts and the real dialogs.
#include "ui/travik_setup.h"

namespace travik {

// Reads the OS version values and the decimal separator (once, at start-up).
[[nodiscard]] TravikSetup ProductSetup();

}  // namespace travik
