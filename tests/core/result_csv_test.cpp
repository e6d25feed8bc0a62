// The fleet table's header and rows as bytes, field by field, and what a row appends to files
// that hold this program's table, someone else's, or nothing yet.
#include "core/result_csv.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/core/fake_probes.h"

namespace travik::core {
namespace {

using Texts = std::vector<std::string>;

constexpr char kBom[] = "\xEF\xBB\xBF";
const std::string kOsLine = "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)";

RunMetadata Metadata() {
  return test::SampleMetadata();
}

TcpProbeResult Probe(std::size_t i, bool ok, std::optional<ProbeError> error) {
  return {i < 2 ? ProbeGroup::kBroadcast : ProbeGroup::kInternational,
          test::kHosts[i],
          test::kPorts[i],
          ok,
          std::move(error),
          3};
}

// A run with every kind of TCP outcome, a rejected login, both lists and a decimal comma in the
// log's figures.
CheckResult Result() {
  CheckResult r;
  r.os_line = kOsLine;
  r.memory = {25275000000, 23.53, "23,53", 2.0, true};
  r.disk = {536870912, 0.4998, "0,50", 1.0, false};
  r.administrator = false;
  r.probes = {
      Probe(0, true, std::nullopt),
      Probe(1, false, ProbeError{10061, "Connection refused."}),
      Probe(2, false, ProbeError{10060, "Connection timed out."}),
      Probe(3, false, ProbeError{10065, ""}),  // a number without a text of its own
      Probe(4, false, ProbeError{0, "Cancelled."}),
      Probe(5, false, std::nullopt),  // connected, but the peer had already closed
  };
  r.ftp = FtpProbeResult{
      test::kFtpHost,         21, FtpOutcome::kLoginRejected, FtpReplyInfo{530, "Login incorrect."},
      "Login incorrect.\r\n", 40};
  r.errors = {"Espaço em disco insuficiente. Mínimo exigido: 1GB.",
              "Usuário não possui privilégios de administrador"};
  r.secondary_errors = {
      "Testando conexão em b2.invalid:81...Falha\rSocket Error # 10061\r\nConnection refused."};
  r.completed = true;
  return r;
}

// The fields of Result()'s row as the file holds them with a comma.
Texts Fields() {
  return {"2026-12-10T04:17:27.005Z",
          "PC-MESA-07",
          "KORVENA\\joão",
          "1.1.0+g1a2b3c4",
          "false",
          "\"" + kOsLine + "\"",
          "23.53",
          "0.50",
          "false",
          "ok",
          "10061 Connection refused.",
          "10060 Connection timed out.",
          "10065",
          "Cancelled.",
          "closed",
          "login_rejected 530",
          "Espaço em disco insuficiente. Mínimo exigido: 1GB. | Usuário não possui privilégios de "
          "administrador",
          "Testando conexão em b2.invalid:81...Falha Socket Error # 10061 Connection refused."};
}

enum Column : std::size_t {
  kComputer = 1,
  kUser = 2,
  kReady = 4,
  kOs = 5,
  kFirstEndpoint = 9,
  kFtp = 15,
  kImpediments = 16,
  kSecondary = 17,
};

std::string Line(const Texts& fields, char separator) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i)
    line += (i > 0 ? std::string(1, separator) : "") + fields[i];
  return line + "\r\n";
}

TEST(ResultCsv, HeaderNamesEveryColumnInOrder) {
  const NetworkTargets targets = test::FakeTargets();
  const Texts columns = {"started",
                         "computer",
                         "user",
                         "version",
                         "ready",
                         "os",
                         "memory_gb",
                         "disk_gb",
                         "administrator",
                         "b1.invalid:81",
                         "b2.invalid:81",
                         "i1.invalid:7500",
                         "i2.invalid:7500",
                         "i3.invalid:80",
                         "i4.invalid:80",
                         "ftp",
                         "impediments",
                         "secondary_errors"};
  EXPECT_EQ(CsvColumns(targets), columns);
  for (const char separator : {',', ';'}) {
    SCOPED_TRACE(separator);
    EXPECT_EQ(CsvHeader(targets, separator), kBom + Line(columns, separator));
    EXPECT_EQ(CsvRow(Result(), Metadata(), separator).find('\n'),
              CsvRow(Result(), Metadata(), separator).size() - 1)
        << "one line per row";
  }
}

TEST(ResultCsv, RowFields) {
  struct Case {
    const char* name;
    char separator;
    std::function<void(CheckResult&, RunMetadata&)> change;
    std::map<std::size_t, std::string> fields;  // those that differ from Fields()
  };
  const Case cases[] = {
      {"a run as it comes", ',', [](CheckResult&, RunMetadata&) {}, {}},
      {"semicolons: the OS line is no longer quoted",
       ';',
       [](CheckResult&, RunMetadata&) {},
       {{kOs, kOsLine}}},
      {"quotes are doubled inside quotes",
       ',',
       [](CheckResult&, RunMetadata& m) { m.user = "KORVENA\\jo\"ão\""; },
       {{kUser, "\"KORVENA\\jo\"\"ão\"\"\""}}},
      {"the separator in use is quoted, the other one is not",
       ';',
       [](CheckResult&, RunMetadata& m) { m.computer = "PC;07,A"; },
       {{kComputer, "\"PC;07,A\""}, {kOs, kOsLine}}},
      {"line breaks become spaces, a bar inside an entry becomes a broken bar",
       ',',
       [](CheckResult& r, RunMetadata&) {
         r.errors = {"a\r\nb\rc\nd", "e | f|g", "h, \"i\""};
         r.secondary_errors = {"\r\n"};
       },
       {{kImpediments, "\"a b c d | e ¦ f¦g | h, \"\"i\"\"\""}, {kSecondary, " "}}},
      {"text that is not UTF-8 has its bad bytes replaced",
       ',',
       [](CheckResult& r, RunMetadata&) { r.errors = {"bad \xC3 byte"}; },
       {{kImpediments, "bad \xEF\xBF\xBD byte"}}},
      {"ready: both lists empty",
       ',',
       [](CheckResult& r, RunMetadata&) {
         r.errors.clear();
         r.secondary_errors.clear();
       },
       {{kReady, "true"}, {kImpediments, ""}, {kSecondary, ""}}},
      {"abandoned after two probes, before the FTP probe",
       ',',
       [](CheckResult& r, RunMetadata&) {
         r.probes.resize(2);
         r.ftp.reset();
         r.completed = false;
       },
       {{kFirstEndpoint + 2, ""},
        {kFirstEndpoint + 3, ""},
        {kFirstEndpoint + 4, ""},
        {kFirstEndpoint + 5, ""},
        {kFtp, ""}}},
      {"logged in",
       ',',
       [](CheckResult& r, RunMetadata&) {
         r.ftp->outcome = FtpOutcome::kLoggedIn;
         r.ftp->reply = FtpReplyInfo{230, "User logged in."};
         r.ftp->error.reset();
       },
       {{kFtp, "logged_in 230"}}},
      {"FTP failed without a reply",
       ',',
       [](CheckResult& r, RunMetadata&) {
         r.ftp->outcome = FtpOutcome::kFailed;
         r.ftp->reply.reset();
         r.ftp->error = "Socket Error # 10061\r\nConnection refused.";
       },
       {{kFtp, "failed"}}},
      {"FTP failed on a reply",
       ',',
       [](CheckResult& r, RunMetadata&) {
         r.ftp->outcome = FtpOutcome::kFailed;
         r.ftp->reply = FtpReplyInfo{421, "Too many users."};
       },
       {{kFtp, "failed 421"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CheckResult result = Result();
    RunMetadata metadata = Metadata();
    c.change(result, metadata);
    Texts expected = Fields();
    for (const auto& [column, text] : c.fields) expected.at(column) = text;
    EXPECT_EQ(CsvRow(result, metadata, c.separator), Line(expected, c.separator));
  }
}

TEST(ResultCsv, SeparatorOfANewFile) {
  const std::map<std::string, char> cases = {{",", ','},  {";", ';'},  {"", ','},   {"|", ','},
                                             {"\t", ','}, {",;", ','}, {" ;", ','}, {";;", ','}};
  for (const auto& [list_separator, separator] : cases) {
    EXPECT_EQ(CsvSeparatorFor(list_separator), separator) << "[" << list_separator << "]";
  }
}

// What one row adds to a file, given all of the file: the first bytes as the writer reads them
// and whether it ends a line.
TEST(ResultCsv, WhatARowAppends) {
  const NetworkTargets targets = test::FakeTargets();
  const std::string comma = CsvHeader(targets, ',');
  const std::string semicolon = CsvHeader(targets, ';');
  const std::string comma_row = CsvRow(Result(), Metadata(), ',');
  const std::string semicolon_row = CsvRow(Result(), Metadata(), ';');
  const std::string unended = comma.substr(0, comma.size() - 2);
  NetworkTargets moved = targets;
  moved.international[3].port = 8080;
  const std::string other_endpoint = CsvHeader(moved, ',');
  struct Case {
    const char* name;
    std::string file;
    char new_file_separator;
    std::optional<std::string> appended;
  };
  const Case cases[] = {
      {"empty, on a PC with commas", "", ',', comma + comma_row},
      {"empty, on a PC with semicolons", "", ';', semicolon + semicolon_row},
      {"the header alone", comma, ';', comma_row},
      {"rows with commas, on a PC with semicolons", comma + comma_row + comma_row, ';', comma_row},
      {"rows with semicolons, on a PC with commas", semicolon + semicolon_row, ',', semicolon_row},
      {"a last row without its line end", comma + comma_row.substr(0, comma_row.size() - 2), ',',
       "\r\n" + comma_row},
      {"the header without its line end", unended, ',', "\r\n" + comma_row},
      {"another program's table", "Nome,Idade\r\nJoão,30\r\n", ',', std::nullopt},
      {"this header without the byte-order mark", comma.substr(3) + comma_row, ',', std::nullopt},
      {"this header with lines ended by LF alone", unended + "\n" + comma_row, ',', std::nullopt},
      {"the header of other endpoints", other_endpoint + comma_row, ',', std::nullopt},
      {"a column more at the end (a later release)", unended + ",new_column\r\n" + comma_row, ',',
       std::nullopt},
      {"a column fewer", unended.substr(0, unended.rfind(',')) + "\r\n", ',', std::nullopt},
      {"shorter than a line", comma.substr(0, 12), ',', std::nullopt},
      {"the byte-order mark alone", kBom, ',', std::nullopt},
      {"one blank line", "\r\n", ',', std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CsvRecord record(targets, Result(), Metadata(), c.new_file_separator);
    const std::string head = c.file.substr(0, record.HeadBytes());
    const bool ends = !c.file.empty() && c.file.back() == '\n';
    EXPECT_EQ(record.AppendTo(head, c.file.size(), ends), c.appended);
  }
}

}  // namespace
}  // namespace travik::core
