// TRAVIK: checks, before installation, whether this PC meets the prerequisites of the
// KORVENA DUVIVER market-data platform.
#include <windows.h>

#include "app/product_setup.h"
#include "app/program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  // The OS version values and the number format are read once, here.
  return travik::RunProgram(instance, show_command, travik::ProductSetup());
}
