#include "ui/report_export.h"

#include "core/check_run.h"
#include "platform/text.h"

namespace travik {

void ExportReport(RichLog& log, const std::vector<std::string>& errors,
                  const std::vector<std::string>& secondary_errors, const std::wstring& path) {
  for (const std::string& line : core::ReportSections(errors, secondary_errors)) {
    log.Append(Widen(line));
  }
  log.SaveToFile(path);
}

}  // namespace travik
