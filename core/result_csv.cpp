#include "core/result_csv.h"

#include <nlohmann/json.hpp>

#include "platform/gb_figure.h"

namespace travik::core {
namespace {

constexpr char kSeparators[2] = {',', ';'};
constexpr char kLineEnd[] = "\r\n";
constexpr char kEntrySeparator[] = " | ";
constexpr char kBar[] = "|";
constexpr char kBrokenBar[] = "\xC2\xA6";  // U+00A6, for a "|" inside an entry

// Bad UTF-8 bytes replaced by U+FFFD, as the JSON's writer replaces them.
std::string ValidUtf8(const std::string& text) {
  using Json = nlohmann::json;
  return Json::parse(Json(text).dump(-1, ' ', false, Json::error_handler_t::replace))
      .get<std::string>();
}

// CR LF, a lone CR and a lone LF each become one space.
std::string OnOneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += ' ';
    } else {
      line += text[i];
    }
  }
  return line;
}

std::string ReplacedAll(std::string text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

std::string Joined(const std::vector<std::string>& entries) {
  std::string joined;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) joined += kEntrySeparator;
    joined += ReplacedAll(OnOneLine(entries[i]), kBar, kBrokenBar);
  }
  return joined;
}

// RFC 4180: a field holding the separator, a quote or a line break goes in quotes, its quotes
// doubled.
std::string Field(const std::string& raw, char separator) {
  std::string text = ValidUtf8(OnOneLine(raw));
  if (text.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) return text;
  return "\"" + ReplacedAll(text, "\"", "\"\"") + "\"";
}

std::string Line(const std::vector<std::string>& fields, char separator) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += separator;
    line += Field(fields[i], separator);
  }
  return line + kLineEnd;
}

const char* Boolean(bool value) {
  return value ? "true" : "false";
}

// "ok"; "10060 Connection timed out." (the number alone for an error without a text of its own,
// the text alone for one without a number); "closed" when the connect succeeded but the peer had
// already closed; empty for a probe the run never made.
std::string ProbeField(const std::vector<TcpProbeResult>& probes, std::size_t index) {
  if (index >= probes.size()) return {};
  const TcpProbeResult& probe = probes[index];
  if (probe.ok) return "ok";
  if (!probe.error) return "closed";
  if (probe.error->code == 0) return probe.error->text;
  const std::string code = std::to_string(probe.error->code);
  return probe.error->text.empty() ? code : code + " " + probe.error->text;
}

// The outcome and the deciding reply's code, "login_rejected 530"; empty for a run abandoned
// before the FTP probe.
std::string FtpField(const std::optional<FtpProbeResult>& ftp) {
  if (!ftp) return {};
  std::string field = FtpOutcomeName(ftp->outcome);
  if (ftp->reply) field += " " + std::to_string(ftp->reply->code);
  return field;
}

std::size_t SeparatorIndex(char separator) {
  return separator == kSeparators[1] ? 1 : 0;
}

}  // namespace

char CsvSeparatorFor(std::string_view list_separator) {
  for (const char separator : kSeparators) {
    if (list_separator == std::string_view(&separator, 1)) return separator;
  }
  return kSeparators[0];
}

std::vector<std::string> CsvColumns(const NetworkTargets& targets) {
  std::vector<std::string> columns = {"started", "computer",  "user",    "version",      "ready",
                                      "os",      "memory_gb", "disk_gb", "administrator"};
  for (std::size_t i = 0; i < NetworkTargets::kTcpEndpoints; ++i) {
    const NetworkEndpoint& endpoint = targets.Tcp(i);
    columns.push_back(endpoint.host + ":" + std::to_string(endpoint.port));
  }
  for (const char* name : {"ftp", "impediments", "secondary_errors"}) columns.push_back(name);
  return columns;
}

std::string CsvHeader(const NetworkTargets& targets, char separator) {
  return kUtf8ByteOrderMark + Line(CsvColumns(targets), separator);
}

std::string CsvRow(const CheckResult& result, const RunMetadata& metadata, char separator) {
  std::vector<std::string> fields = {UtcTimestamp(metadata.started),
                                     metadata.computer,
                                     metadata.user,
                                     metadata.version,
                                     Boolean(result.Ready()),
                                     result.os_line,
                                     FormatFixed2(result.memory.figure, "."),
                                     FormatFixed2(result.disk.figure, "."),
                                     Boolean(result.administrator)};
  for (std::size_t i = 0; i < NetworkTargets::kTcpEndpoints; ++i) {
    fields.push_back(ProbeField(result.probes, i));
  }
  fields.push_back(FtpField(result.ftp));
  fields.push_back(Joined(result.errors));
  fields.push_back(Joined(result.secondary_errors));
  return Line(fields, separator);
}

CsvRecord::CsvRecord(const NetworkTargets& targets, const CheckResult& result,
                     const RunMetadata& metadata, char new_file_separator)
    : new_file_separator_(new_file_separator) {
  for (std::size_t i = 0; i < 2; ++i) {
    header_[i] = CsvHeader(targets, kSeparators[i]);
    row_[i] = CsvRow(result, metadata, kSeparators[i]);
  }
}

std::optional<std::string> CsvRecord::AppendTo(std::string_view head, std::uint64_t size,
                                               bool ends_with_line_feed) const {
  if (size == 0) {
    const std::size_t i = SeparatorIndex(new_file_separator_);
    return header_[i] + row_[i];
  }
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string_view header = header_[i];
    const std::string_view unended = header.substr(0, header.size() - (sizeof kLineEnd - 1));
    // The header, and more after it; or the header alone, its line end not written.
    if (head == header || (size == unended.size() && head == unended)) {
      return ends_with_line_feed ? row_[i] : kLineEnd + row_[i];
    }
  }
  return std::nullopt;
}

}  // namespace travik::core
