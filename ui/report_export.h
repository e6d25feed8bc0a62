#pragma once
// The report: the check log with the issue lists appended under their headings, saved as Rich
// Text Format. "Exportar" and the unattended run write it the same way.
#include <string>
#include <vector>

#include "toolkit/rich_log.h"

namespace travik {

// Appends the sections to `log` (they stay there) and saves the whole log to `path`. Raises
// Error "Cannot create file ..." or "Failed to Save Stream".
void ExportReport(RichLog& log, const std::vector<std::string>& errors,
                  const std::vector<std::string>& secondary_errors, const std::wstring& path);

}  // namespace travik
