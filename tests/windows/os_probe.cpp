// Prints the OS description line as travik.exe builds it from the real system queries, with the
// same manifest; os_versions.sh runs it under each Windows version that Wine can report.
#include <cstdio>

#include "platform/host_windows.h"
#include "platform/os_line.h"

int main() {
  std::printf("%s\n", travik::OsDescriptionLine(travik::ReadOsFacts()).c_str());
  return 0;
}
