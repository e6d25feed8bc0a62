// The network probes of a check run one after another, each timed: the yardstick that
// bench/netns_bench.sh sets beside the program's run, whose probes go side by side. Each item is
// probed by the run's own probe (core::ProbeTcp: connect, open check, disconnect; core::ProbeFtp:
// connect and log in with the product's account and time-outs) over the real clients, names
// through the system's resolver. Figures only; meant for a private network namespace
// (bench/netns_bench.sh), and it refuses any host that is not on loopback or under .invalid.
//
//   sequential_probes.exe ITEM...      ITEM: tcp:HOST:PORT or ftp:HOST:PORT
//
// Prints a line per item, "<kind> <host:port> <milliseconds> <outcome>", then "total
// <milliseconds>". Exit code 0, or 3 for a bad item (nothing probed).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/product_targets.h"
#include "core/parallel_probes.h"
#include "core/probes.h"
#include "platform/error.h"
#include "platform/socket.h"

namespace {

using namespace travik;

constexpr int kBadItem = 3;
constexpr int kMaxItems = 16;

struct Item {
  bool ftp = false;
  std::string host;
  std::uint16_t port = 0;
};

bool OnLoopbackOrInvalid(const std::string& host) {
  if (host.ends_with(".invalid")) return true;
  unsigned a = 0, b = 0, c = 0, d = 0;
  char rest = 0;
  return std::sscanf(host.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &rest) == 4 && a == 127 &&
         b < 256 && c < 256 && d < 256;
}

std::optional<Item> Parse(const std::string& text) {
  Item item;
  std::string rest;
  if (text.starts_with("tcp:")) {
    rest = text.substr(4);
  } else if (text.starts_with("ftp:")) {
    item.ftp = true;
    rest = text.substr(4);
  } else {
    return std::nullopt;
  }
  const std::size_t colon = rest.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  item.host = rest.substr(0, colon);
  char* end = nullptr;
  const unsigned long port = std::strtoul(rest.c_str() + colon + 1, &end, 10);
  if (colon + 1 == rest.size() || *end != '\0' || port == 0 || port > 65535) return std::nullopt;
  if (!OnLoopbackOrInvalid(item.host)) return std::nullopt;
  item.port = static_cast<std::uint16_t>(port);
  return item;
}

// The error's text on one line: each line break (CR LF, or CR or LF alone) a space.
std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
  }
  return line;
}

// The run's own probes (core::ProbeTcp, core::ProbeFtp), here one after another.
std::string ProbeTcp(const Item& item) {
  core::SocketTcpProbe client(net::SystemLookUp);
  const core::TcpProbeOutcome outcome = core::ProbeTcp(client, {item.host, item.port}, {});
  return outcome.ok ? "OK" : OneLine(outcome.message.value_or("Falha"));
}

std::string ProbeFtp(const Item& item) {
  net::FtpSettings settings = ProductTargets().ftp;
  settings.host = item.host;
  settings.port = item.port;
  core::SocketFtpProbe client(net::SystemLookUp);
  const core::FtpProbeOutcome outcome = core::ProbeFtp(client, settings, {});
  client.Disconnect();
  return outcome.error ? OneLine(*outcome.error) : "logged in";
}

double MillisecondsFrom(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Item> items;
  for (int i = 1; i < argc; ++i) {
    const std::optional<Item> item = Parse(argv[i]);
    if (!item) {
      std::fprintf(stderr,
                   "sequential_probes: %s is not tcp:HOST:PORT or ftp:HOST:PORT with a "
                   "host on 127.0.0.0/8 or under .invalid\n",
                   argv[i]);
      return kBadItem;
    }
    items.push_back(*item);
  }
  if (items.empty() || items.size() > kMaxItems) {
    std::fprintf(stderr, "usage: sequential_probes ITEM... (1..%d items)\n", kMaxItems);
    return kBadItem;
  }
  const net::SocketLibrary sockets;
  const Clock::time_point all = Clock::now();
  for (const Item& item : items) {
    const Clock::time_point start = Clock::now();
    const std::string outcome = item.ftp ? ProbeFtp(item) : ProbeTcp(item);
    std::printf("%s %s:%u %.0f %s\n", item.ftp ? "ftp" : "tcp", item.host.c_str(),
                static_cast<unsigned>(item.port), MillisecondsFrom(start), outcome.c_str());
    std::fflush(stdout);
  }
  std::printf("total %.0f\n", MillisecondsFrom(all));
  return 0;
}
