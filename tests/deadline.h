#pragma once
// Waits on the code under test, each with a deadline, for every test program. When a deadline
// passes, the test fails there, saying what it waited for, and goes on: nothing the wait started
// is left running into the tests after it.
//   WaitUntil(done, bound, what)           looks at `done` until it holds or `bound` has passed;
//   RunWithin(bound, what, work, unblock)  runs `work` on a thread of its own and waits up to
//                                          `bound` for it; past it, `unblock` makes the work end
//                                          by the test's own means (it closes the server or the
//                                          listener the work waits on, or asks the work to stop)
//                                          and the thread is joined.
// A bound is four times what it checks, so that only a fault misses it on a loaded machine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <future>
#include <source_location>
#include <string>
#include <string_view>
#include <thread>

namespace travik::test {

using Bound = std::chrono::milliseconds;

// How long a work that has been unblocked may still take: its next look at what it waits on, or
// for a connect the system's next try (the SYN is sent again 1, 3, 7 and 15 s after the first).
inline constexpr Bound kAfterUnblock{20000};

namespace detail {

inline void FailAt(const std::source_location& where, const std::string& message) {
  ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << message;
}

inline std::string Ms(Bound bound) {
  return std::to_string(bound.count()) + " ms";
}

}  // namespace detail

// Looks at `done` every millisecond until it holds (true) or `bound` has passed (false, and the
// test fails: "<what> did not come within <bound>").
inline bool WaitUntil(const std::function<bool()>& done, Bound bound, std::string_view what,
                      const std::source_location where = std::source_location::current()) {
  const auto until = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) {
      if (done()) return true;
      detail::FailAt(where, std::string(what) + " did not come within " + detail::Ms(bound) + ".");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs `work` on a thread of its own and waits up to `bound` for it to return: true when it did.
// Past the bound the test fails ("<what> did not end within <bound>"), `unblock` is called on
// this thread, and the work is given kAfterUnblock more. The thread is joined before this returns,
// so `work` may use this caller's locals; what `work` raises is raised here again. A work that not
// even `unblock` ends cannot be left behind, running into later tests: the test program then says
// so and ends, failed.
template <typename Work, typename Unblock>
bool RunWithin(Bound bound, std::string_view what, Work&& work, Unblock&& unblock,
               const std::source_location where = std::source_location::current()) {
  std::promise<void> ended;
  std::future<void> end = ended.get_future();
  std::thread worker([&work, &ended] {
    try {
      work();
      ended.set_value();
    } catch (...) {
      ended.set_exception(std::current_exception());
    }
  });
  const bool in_time = end.wait_for(bound) == std::future_status::ready;
  if (!in_time) {
    detail::FailAt(where, std::string(what) + " did not end within " + detail::Ms(bound) + ".");
    unblock();
    if (end.wait_for(kAfterUnblock) != std::future_status::ready) {
      const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
      std::fflush(stdout);
      std::fprintf(
          stderr, "%s.%s: %.*s still runs %s after it was unblocked; the tests end here.\n",
          test != nullptr ? test->test_suite_name() : "?", test != nullptr ? test->name() : "?",
          static_cast<int>(what.size()), what.data(), detail::Ms(kAfterUnblock).c_str());
      std::fflush(stderr);
      std::_Exit(1);
    }
  }
  worker.join();
  end.get();
  return in_time;
}

}  // namespace travik::test
