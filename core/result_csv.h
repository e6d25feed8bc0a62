#pragma once
// The fleet's table: one row per check run, which many PCs append to one CSV file on a share and
// administrators open in Excel or read with Import-Csv. RFC 4180 quoting, CR LF after every row,
// UTF-8 with a byte-order mark (without it Excel reads the file in the ANSI code page). The
// columns are kept from release to release: a new one only ever goes at the end.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/check_result.h"
#include "core/check_run.h"
#include "core/result_json.h"

namespace travik::core {

inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// The separator of a file this PC creates: its regional settings' list separator when that is
// "," or ";" (what Excel splits a double-clicked CSV at), otherwise ",".
[[nodiscard]] char CsvSeparatorFor(std::string_view list_separator);

// The column names in order: started, computer, user, version, ready, os, memory_gb, disk_gb,
// administrator, one "host:port" per TCP endpoint in probing order, ftp, impediments,
// secondary_errors.
[[nodiscard]] std::vector<std::string> CsvColumns(const NetworkTargets& targets);

// The file's first line: the byte-order mark, the column names, CR LF.
[[nodiscard]] std::string CsvHeader(const NetworkTargets& targets, char separator);

// One run's row, ended by CR LF. Every field is on one line (line breaks become spaces), and the
// entries of the two issue lists are joined by " | " (a "|" of their own becomes "¦", so that
// the list splits back at "|"). Text that is not valid UTF-8 has its bad bytes replaced by
// U+FFFD, as in the JSON.
[[nodiscard]] std::string CsvRow(const CheckResult& result, const RunMetadata& metadata,
                                 char separator);

// A run's row in either separator and what it adds to a table file, decided from what the file
// holds when the writer has it to itself.
class CsvRecord {
 public:
  // `new_file_separator` is the one a file that is still empty gets.
  CsvRecord(const NetworkTargets& targets, const CheckResult& result, const RunMetadata& metadata,
            char new_file_separator);

  // How many of the file's first bytes AppendTo looks at.
  [[nodiscard]] std::size_t HeadBytes() const { return header_[0].size(); }

  // What to append to a file of `size` bytes that begins with `head` (its first HeadBytes()
  // bytes, or all of it when it is shorter) and whose last byte is or is not a line feed: the
  // header and the row to an empty file; the row, in the file's own separator, to a file whose
  // first line is this header with either separator (after CR LF when its last line has no line
  // end yet); nothing to any other file.
  [[nodiscard]] std::optional<std::string> AppendTo(std::string_view head, std::uint64_t size,
                                                    bool ends_with_line_feed) const;

 private:
  char new_file_separator_;
  std::string header_[2];  // ",", ";"
  std::string row_[2];
};

}  // namespace travik::core
