// The window's tests run in a real Windows process (under Wine on Linux): COM for the picture
// decoder, the common controls, RichEdit and Windows Sockets are started as travik.exe starts them.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include "platform/socket.h"
#include "platform/win_handles.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const travik::ComApartment com;
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  travik::UniqueLibrary rich_edit(LoadLibraryW(L"msftedit.dll"));
  int result = 1;
  {
    travik::net::SocketLibrary sockets;
    result = RUN_ALL_TESTS();
  }
  return result;
}
