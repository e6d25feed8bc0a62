// The loopback build of travik.exe: the same entry (RunProgram, with the program's resources) on
// a setup whose every endpoint is on loopback and whose host facts are fixed, so that tests and
// benchmarks can run whole check runs, unattended or through the wizard, without reaching any
// real server. Its endpoints come from the environment, which only this program reads:
//
//   TRAVIK_LOOPBACK_TCP       "host:port[,host:port...]": the six TCP endpoints in probing
//                             order (two broadcast, four international); the last one given
//                             stands for the rest. Hosts: 127.x.x.x or a name under .invalid.
//   TRAVIK_LOOPBACK_FTP_PORT  the FTP server's port on 127.0.0.1
//   TRAVIK_LOOPBACK_FAIL      optional, "memory,disk,admin" (any of them): host checks to fail;
//                             "unexpected": the administrator query raises an error no check
//                             expects
//   TRAVIK_LOOPBACK_RESOLVER  optional, "system": names go to the system's resolver (only inside
//                             a test's own network namespace, whose name server is on loopback);
//                             otherwise no name is looked up and every name is not found
//   TRAVIK_LOOPBACK_FTP_READ_TIMEOUT_MS  optional: the FTP probe's read time-out instead of the
//                             program's own, for a test that must tell "at once" from "after the
//                             time-out" with a wide margin
//   TRAVIK_LOOPBACK_CSV_WAIT_MS  optional: how long the row of /csv waits for a file that others
//                             hold, instead of the program's own 30 s: shorter for a test that
//                             must see the wait run out, longer for one that holds many writers
//
// Without both endpoint variables, or with any other host, it exits with code 3 before anything
// else happens.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program.h"
#include "gui_test_support.h"
#include "platform/text.h"

namespace {

using travik::core::NetworkEndpoint;

constexpr int kBadEnvironment = 3;

std::optional<std::string> Variable(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, 1024);
  if (n == 0 || n >= 1024) return std::nullopt;
  return travik::Narrow(std::wstring_view(value, n));
}

bool OnLoopbackOrInvalid(const std::string& host) {
  if (host.ends_with(".invalid")) return true;
  unsigned a = 0, b = 0, c = 0, d = 0;
  char rest = 0;
  return std::sscanf(host.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &rest) == 4 && a == 127 &&
         b < 256 && c < 256 && d < 256;
}

std::optional<std::uint16_t> Port(const std::string& text) {
  char* end = nullptr;
  const unsigned long port = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || port == 0 || port > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

// A positive count of milliseconds.
std::optional<int> Milliseconds(const std::string& text) {
  char* end = nullptr;
  const long ms = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || ms <= 0 || ms > 3600000) return std::nullopt;
  return static_cast<int>(ms);
}

std::optional<std::vector<NetworkEndpoint>> Endpoints(const std::string& list) {
  std::vector<NetworkEndpoint> endpoints;
  std::istringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    const std::size_t colon = item.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    const std::string host = item.substr(0, colon);
    const std::optional<std::uint16_t> port = Port(item.substr(colon + 1));
    if (!port || !OnLoopbackOrInvalid(host)) return std::nullopt;
    endpoints.push_back({host, *port});
  }
  if (endpoints.empty() || endpoints.size() > 6) return std::nullopt;
  return endpoints;
}

int Refuse(const char* why) {
  std::fprintf(stderr, "travik_loopback: %s\n", why);
  return kBadEnvironment;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  using namespace travik;
  const std::optional<std::string> tcp_list = Variable(L"TRAVIK_LOOPBACK_TCP");
  const std::optional<std::string> ftp_text = Variable(L"TRAVIK_LOOPBACK_FTP_PORT");
  if (!tcp_list || !ftp_text) {
    return Refuse("TRAVIK_LOOPBACK_TCP and TRAVIK_LOOPBACK_FTP_PORT must be set");
  }
  const std::optional<std::vector<NetworkEndpoint>> tcp = Endpoints(*tcp_list);
  const std::optional<std::uint16_t> ftp_port = Port(*ftp_text);
  if (!tcp || !ftp_port) return Refuse("endpoints must be on 127.0.0.0/8 or under .invalid");

  // The dialogs are recorded, never shown.
  ProgramSetup setup =
      test::LoopbackSetup(tcp->front(), *ftp_port, std::make_shared<test::Recorded>());
  for (std::size_t i = 0; i < core::NetworkTargets::kTcpEndpoints; ++i) {
    setup.run.targets.Tcp(i) = (*tcp)[std::min(i, tcp->size() - 1)];
  }
  const std::string fail = Variable(L"TRAVIK_LOOPBACK_FAIL").value_or("");
  if (fail.find("memory") != std::string::npos) {
    setup.run.host.total_memory = [] { return std::uint64_t{1} << 30; };
  }
  if (fail.find("disk") != std::string::npos) {
    setup.run.host.free_disk = [] { return std::int64_t{-1}; };  // the query failed
  }
  if (fail.find("admin") != std::string::npos) setup.run.host.is_admin = [] { return false; };
  if (fail.find("unexpected") != std::string::npos) {
    setup.run.host.is_admin = []() -> bool { throw std::runtime_error("token query broke"); };
  }
  if (Variable(L"TRAVIK_LOOPBACK_RESOLVER").value_or("") == "system") {
    setup.run.look_up = net::SystemLookUp;
  }
  // The FTP probe waits as long as the program's own does.
  setup.run.targets.ftp.connect_timeout_ms = ProductTargets().ftp.connect_timeout_ms;
  setup.run.targets.ftp.read_timeout_ms = ProductTargets().ftp.read_timeout_ms;
  if (const auto read_timeout = Variable(L"TRAVIK_LOOPBACK_FTP_READ_TIMEOUT_MS")) {
    const std::optional<int> ms = Milliseconds(*read_timeout);
    if (!ms) return Refuse("TRAVIK_LOOPBACK_FTP_READ_TIMEOUT_MS must be a count of milliseconds");
    setup.run.targets.ftp.read_timeout_ms = *ms;
  }
  if (const auto csv_wait = Variable(L"TRAVIK_LOOPBACK_CSV_WAIT_MS")) {
    const std::optional<int> ms = Milliseconds(*csv_wait);
    if (!ms) return Refuse("TRAVIK_LOOPBACK_CSV_WAIT_MS must be a count of milliseconds");
    setup.unattended.table_wait = std::chrono::milliseconds(*ms);
  }
  return RunProgram(instance, show_command, std::move(setup));
}
