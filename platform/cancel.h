#pragma once
// Abandoning a wait from another thread. The thread that runs a check hands its clients a
// CancelFlag; another thread (the window, when it closes) sets it, and every wait that looks at the
// flag ends within a few tens of milliseconds, raising CancelledError. The flag is never cleared
// by the code that looks at it.
#include <atomic>

#include "platform/error.h"

namespace travik::net {

using CancelFlag = std::atomic<bool>;

// "Cancelled.": a wait ended because its CancelFlag was set.
class CancelledError : public Error {
 public:
  CancelledError() : Error("Cancelled.") {}
};

}  // namespace travik::net
