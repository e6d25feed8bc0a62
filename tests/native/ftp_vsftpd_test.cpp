// The FTP client against a real vsftpd on 127.0.0.1, started by tests/ftp/with_vsftpd.sh, which
// passes its port in TRAVIK_FTP_PORT. Skipped when run without it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "app/product_targets.h"
#include "platform/ftp_client.h"

namespace travik::net {
namespace {

TEST(FtpClientAgainstVsftpd, LoginIsTurnedDownWithLoginIncorrect) {
  const char* port = std::getenv("TRAVIK_FTP_PORT");
  if (port == nullptr) GTEST_SKIP() << "no vsftpd: run through tests/ftp/with_vsftpd.sh";
  FtpSettings settings = ProductTargets().ftp;  // the program's user, password and time-outs
  settings.host = "127.0.0.1";
  settings.port = static_cast<std::uint16_t>(std::atoi(port));

  FtpClient client;
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  try {
    client.Connect(settings, {});
  } catch (const Error& e) {
    error = e.what();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(error, "Login incorrect.\r\n");
  EXPECT_TRUE(IsLoginRejection(error));
  // PAM holds a failed login about 2 s (2.5 s at the most); a client that waited for a read
  // time-out after the rejection would take the whole of it.
  EXPECT_LT(elapsed, std::chrono::milliseconds(settings.read_timeout_ms));
}

}  // namespace
}  // namespace travik::net
