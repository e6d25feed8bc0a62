#pragma once
// RUN_ALL_TESTS for every test program, failing when the filter selects no test: a filtered run
// (CTest's gui_tests_pt_BR, gui_tests_vsftpd) whose tests were all renamed away would otherwise
// pass having run nothing. GoogleTest 1.12 has no flag for this.
#include <gtest/gtest.h>

#include <cstdio>

namespace travik::test {

// Call after testing::InitGoogleTest. The count of selected tests is only known once
// RUN_ALL_TESTS has applied the filter, so it is looked at afterwards.
[[nodiscard]] inline int RunSelectedTests() {
  const int result = RUN_ALL_TESTS();
  if (GTEST_FLAG_GET(list_tests)) return result;
  if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
    std::fprintf(stderr, "No test matches the filter \"%s\": nothing was tested.\n",
                 GTEST_FLAG_GET(filter).c_str());
    return 1;
  }
  return result;
}

}  // namespace travik::test
