#include "core/result_json.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "platform/gb_figure.h"

namespace travik::core {
namespace {

using Json = nlohmann::ordered_json;

Json MeasurementJson(const Measurement& m) {
  return {{"bytes", m.bytes},
          {"figure", FormatFixed2(m.figure, ".")},
          {"minimum_gb", m.minimum_gb},
          {"ok", m.ok}};
}

// A code of 0 means the error had no Windows Sockets number.
Json ProbeErrorJson(const std::optional<ProbeError>& error) {
  if (!error) return nullptr;
  return {{"code", error->code != 0 ? Json(error->code) : Json(nullptr)}, {"text", error->text}};
}

Json ProbeJson(const TcpProbeResult& probe) {
  return {{"group", probe.group == ProbeGroup::kBroadcast ? "broadcast" : "international"},
          {"host", probe.host},
          {"port", probe.port},
          {"ok", probe.ok},
          {"error", ProbeErrorJson(probe.error)},
          {"elapsed_ms", probe.elapsed_ms}};
}

Json FtpJson(const std::optional<FtpProbeResult>& ftp) {
  if (!ftp) return nullptr;  // a run abandoned before the FTP probe
  Json reply = nullptr;
  if (ftp->reply) reply = {{"code", ftp->reply->code}, {"text", ftp->reply->text}};
  return {{"host", ftp->host},
          {"port", ftp->port},
          {"outcome", FtpOutcomeName(ftp->outcome)},
          {"reply", std::move(reply)},
          {"error", ftp->error ? Json(*ftp->error) : Json(nullptr)},
          {"elapsed_ms", ftp->elapsed_ms}};
}

}  // namespace

const char* FtpOutcomeName(FtpOutcome outcome) {
  switch (outcome) {
    case FtpOutcome::kLoggedIn:
      return "logged_in";
    case FtpOutcome::kLoginRejected:
      return "login_rejected";
    case FtpOutcome::kFailed:
      break;
  }
  return "failed";
}

std::string UtcTimestamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date(day);
  const hh_mm_ss<milliseconds> clock(ms - day);
  char text[32];
  std::snprintf(
      text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
      static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string ResultJson(const CheckResult& result, const RunMetadata& metadata) {
  Json probes = Json::array();
  for (const TcpProbeResult& probe : result.probes) probes.push_back(ProbeJson(probe));
  Json log = Json::array();
  for (const LogLine& line : result.log)
    log.push_back({{"text", line.text}, {"issue", line.issue}});

  const Json json = {
      {"schema", kResultSchema},
      {"tool", {{"name", kToolName}, {"version", metadata.version}}},
      {"computer", metadata.computer},
      {"user", metadata.user},
      {"started", UtcTimestamp(metadata.started)},
      {"duration_ms", metadata.duration_ms},
      {"ready", result.Ready()},
      {"os",
       {{"line", result.os_line},
        {"major", result.os.major},
        {"minor", result.os.minor},
        {"build", result.os.build},
        {"service_pack", result.os.service_pack},
        {"x64", result.os.native_x64}}},
      {"memory", MeasurementJson(result.memory)},
      {"disk", MeasurementJson(result.disk)},
      {"administrator", result.administrator},
      {"probes", std::move(probes)},
      {"ftp", FtpJson(result.ftp)},
      {"impediments", result.errors},
      {"secondary_errors", result.secondary_errors},
      {"log", std::move(log)},
  };
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace travik::core
