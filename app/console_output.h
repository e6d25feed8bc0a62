#pragma once
// Text output of a GUI-subsystem program started from a command line. A standard handle is used
// when it is valid (redirected to a file or a pipe, or handed over by the parent); otherwise the
// program attaches to its parent's console, when it has one. A console is written UTF-16 with
// WriteConsoleW, anything else gets UTF-8.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win_handles.h"

namespace travik {

class ConsoleOutput {
 public:
  enum class Stream { kOutput, kError };

  // Whether text written to `stream` goes anywhere.
  [[nodiscard]] bool Available(Stream stream);
  // False when there is nowhere to write it or writing failed.
  bool Write(Stream stream, std::string_view utf8);

 private:
  [[nodiscard]] HANDLE Target(Stream stream);
  bool attach_tried_ = false;
  UniqueHandle console_;  // the parent's console, once attached
};

}  // namespace travik
