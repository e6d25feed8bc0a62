// Times the FTP client's connect-to-rejection against curl's, both against the same local vsftpd
// on 127.0.0.1 (run through bench/ftp_bench.sh, which starts vsftpd and passes its port in
// TRAVIK_FTP_PORT). The two alternate, round by round; the medians and their ratio are printed.
//   ftp_bench [rounds]    (default 50, at most 1000)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/product_targets.h"
#include "platform/clock.h"
#include "platform/ftp_client.h"

extern char** environ;

namespace {

using travik::Clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One login attempt of the client; returns the error text (empty when it logged in).
std::string ClientAttempt(const travik::net::FtpSettings& settings) {
  travik::net::FtpClient client;
  try {
    client.Connect(settings, {});
  } catch (const travik::Error& error) {
    return error.what();
  }
  return {};
}

// One run of curl, its output thrown away; returns its exit status or -1.
int CurlAttempt(const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = "curl", silent = "-s", max_time = "--max-time", seconds = "20",
              user = "--user", credentials = "qzvk:qzvk", target = url;
  char* argv[] = {program.data(), silent.data(),      max_time.data(), seconds.data(),
                  user.data(),    credentials.data(), target.data(),   nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "curl", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* port = std::getenv("TRAVIK_FTP_PORT");
  if (port == nullptr) {
    std::fprintf(stderr, "TRAVIK_FTP_PORT is not set: run bench/ftp_bench.sh\n");
    return 2;
  }
  const int rounds = std::clamp(argc > 1 ? std::atoi(argv[1]) : 50, 1, 1000);
  travik::net::FtpSettings settings = travik::ProductTargets().ftp;  // pointed at loopback below
  settings.host = "127.0.0.1";
  settings.port = static_cast<std::uint16_t>(std::atoi(port));
  const std::string url = "ftp://127.0.0.1:" + std::string(port) + "/";

  std::vector<double> client_ms, curl_ms;
  int client_rejections = 0, curl_rejections = 0;
  std::string first_error;
  for (int round = 0; round < rounds; ++round) {
    auto start = Clock::now();
    const std::string error = ClientAttempt(settings);
    if (round == 0) first_error = error;
    client_ms.push_back(MsSince(start));
    if (travik::net::IsLoginRejection(error)) ++client_rejections;

    start = Clock::now();
    const int status = CurlAttempt(url);
    curl_ms.push_back(MsSince(start));
    if (status == 67) ++curl_rejections;  // curl: "the user name, password ... was not accepted"
  }
  const double client = Median(client_ms);
  const double curl = Median(curl_ms);
  std::printf("rounds: %d\n", rounds);
  std::printf("client: median %.2f ms (min %.2f, max %.2f), Login errors %d/%d\n", client,
              *std::min_element(client_ms.begin(), client_ms.end()),
              *std::max_element(client_ms.begin(), client_ms.end()), client_rejections, rounds);
  std::printf("curl:   median %.2f ms (min %.2f, max %.2f), exit status 67 %d/%d\n", curl,
              *std::min_element(curl_ms.begin(), curl_ms.end()),
              *std::max_element(curl_ms.begin(), curl_ms.end()), curl_rejections, rounds);
  std::printf("client / curl: %.3f\n", client / curl);
  std::string shown = first_error.substr(0, first_error.find('\r'));
  std::printf("client's error: \"%s\"\n", shown.c_str());
  return 0;
}
