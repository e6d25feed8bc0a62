// The window's tests run in a real Windows process (under Wine on Linux): COM for the picture
// decoder, the common controls, RichEdit and Windows Sockets are started as travik.exe starts them.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "platform/win_handles.h"
#include "tests/test_main.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  int result = 1;
  {
    const travik::WindowServices services;
    // Reports are read back by RichEdit controls of the tests' own.
    const travik::UniqueLibrary rich_edit(LoadLibraryW(L"msftedit.dll"));
    result = travik::test::RunSelectedTests();
  }
  return result;
}
