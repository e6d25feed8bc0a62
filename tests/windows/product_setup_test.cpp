// The product's own setup in the window, for what the window's tests otherwise replace: the
// reading of the decimal separator again when the regional settings change. (The namespace test,
// tests/netns, runs the whole of it in the shipped travik.exe.)
#include <windows.h>

#include <gtest/gtest.h>

#include "../native/scripted_ftp_server.h"
#include "app/product_setup.h"
#include "gui_test_support.h"
#include "platform/host_windows.h"

namespace travik::test {
namespace {

TEST(ProductSetupInTheWindow, ARegionalSettingsChangeIsReadFromTheUsersSettings) {
  auto recorded = std::make_shared<Recorded>();
  const AcceptingEndpoint accepting;
  ScriptedFtpServer ftp({{"220 Ready", "220 Host ok", "331 Password", "530 Login incorrect."}});
  ProgramSetup setup = LoopbackSetup(accepting.Endpoint(), ftp.Port(), recorded);
  setup.window.read_decimal_separator = ProductSetup().window.read_decimal_separator;
  // No user has this one: the figures show another only when the change was read.
  setup.run.host.decimal_separator = "#";
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  SendMessageW(form->Handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"));
  ASSERT_TRUE(RunChecks(form->Handle()));
  EXPECT_EQ(LogLines(form->Handle()).at(2), L"RAM: 8" + UserDecimalSeparator() + L"00GB");
}

}  // namespace
}  // namespace travik::test
