#pragma once
// A thread that nobody joins, for work that cannot be cut short (a name look-up). It owns `work`
// and everything `work` holds.
#include <functional>

namespace travik {

// Starts `work` on a thread of its own that ends by itself. Raises std::system_error when no
// thread can be started.
void StartDetachedThread(std::function<void()> work);

}  // namespace travik
