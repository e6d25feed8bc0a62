// The entry of the test programs that need nothing set up around their tests.
#include "tests/test_main.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return travik::test::RunSelectedTests();
}
