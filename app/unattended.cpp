#include "app/unattended.h"

#include <richedit.h>
#include <shellapi.h>

#include <chrono>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/startup.h"
#include "core/check_run.h"
#include "core/probes.h"
#include "core/result_csv.h"
#include "core/result_json.h"
#include "platform/error.h"
#include "platform/host_windows.h"
#include "platform/output_file.h"
#include "platform/socket.h"
#include "platform/text.h"
#include "platform/win_handles.h"
#include "toolkit/dialogs.h"
#include "toolkit/palette.h"
#include "toolkit/rich_log.h"
#include "ui/report_export.h"

namespace travik {
namespace {

using Stream = ConsoleOutput::Stream;

// The process's arguments as Windows splits them, the program's own name left out.
std::vector<std::wstring> ProcessArguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  const UniqueLocal owner(argv);
  if (argv == nullptr) throw Error("The command line could not be read.");
  return {argv + (count > 0 ? 1 : 0), argv + count};
}

// No system box either (a drive not ready, a crash report): nobody is there to close it.
class NoSystemErrorBoxes {
 public:
  NoSystemErrorBoxes() {
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX,
                       &previous_);
  }
  ~NoSystemErrorBoxes() { SetThreadErrorMode(previous_, nullptr); }
  NoSystemErrorBoxes(const NoSystemErrorBoxes&) = delete;
  NoSystemErrorBoxes& operator=(const NoSystemErrorBoxes&) = delete;

 private:
  DWORD previous_ = 0;
};

// The log's background as the window would have it: the theme's when the program carries the
// theme, the default look's otherwise. Nobody is told when the theme is missing.
COLORREF LogBackground() {
  const ThemeStore themes = LoadThemeStore(GetModuleHandleW(nullptr));
  return ColoursOf(themes.Find(Narrow(kThemeName))).log;
}

class NoLog final : public core::LogSink {
 public:
  void Clear() override {}
  void Append(const core::LogLine&) override {}
  void ReplaceLast(const core::LogLine&) override {}
};

// The report's check log: a RichEdit that is never shown (a message-only window), set up as the
// window's log and written by the run as the window's log is.
class HiddenLog final : public core::LogSink {
 public:
  explicit HiddenLog(COLORREF background)
      : library_(LoadLibraryW(L"msftedit.dll")),
        control_(CreateWindowExW(0, MSFTEDIT_CLASS, L"", ES_MULTILINE | ES_READONLY, 0, 0, 640, 480,
                                 HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr)) {
    if (!control_) throw Error("The report cannot be made: RichEdit is not available.");
    log_.Attach(control_.get(), background);
  }

  void Clear() override { log_.Clear(); }
  void Append(const core::LogLine& line) override { log_.Append(Widen(line.text), ColourOf(line)); }
  void ReplaceLast(const core::LogLine& line) override {
    log_.ReplaceLast(Widen(line.text), ColourOf(line));
  }

  // As "Exportar" does after a run: the issue lists under their headings, then the whole log as
  // Rich Text Format. Raises Error when the file cannot be written.
  void Export(const core::CheckResult& result, const std::wstring& path) {
    ExportReport(log_, result.errors, result.secondary_errors, path);
  }

 private:
  static COLORREF ColourOf(const core::LogLine& line) { return RichLog::LineColour(line.issue); }

  UniqueLibrary library_;  // outlives the control
  UniqueWindow control_;
  RichLog log_;
};

core::RunMetadata Metadata(std::chrono::system_clock::time_point started,
                           std::chrono::steady_clock::duration duration) {
  core::RunMetadata metadata;
  metadata.version = Narrow(ProgramVersion());
  metadata.computer = Narrow(ComputerName());
  metadata.user = Narrow(AccountName());
  metadata.started = started;
  metadata.duration_ms = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
  return metadata;
}

// Appends the run's row to the fleet's table at `path`; a file that another program (or a release
// with other columns) wrote is left as it is. Raises Error when the row is not written.
void AppendTableRow(const std::wstring& path, const core::CsvRecord& record,
                    std::chrono::milliseconds wait) {
  const AppendResult appended = AppendUnderLock(
      path, record.HeadBytes(),
      [&record](const FileStart& file) {
        return record.AppendTo(file.head, file.size, file.ends_with_line_feed);
      },
      wait);
  if (appended == AppendResult::kLeftAlone) {
    throw Error(Narrow(L"O arquivo \"" + FullPath(path) +
                       L"\" não começa com o cabeçalho de colunas do TRAVIK (é outra tabela, ou "
                       L"de uma versão com outras colunas): a linha não foi acrescentada."));
  }
}

// The check run without a window, on this thread; then the files asked for, each tried even
// when another one failed.
int RunUnattended(const core::RunInputs& inputs, const UnattendedSettings& settings,
                  const cli::Request& request, ConsoleOutput& out) {
  bool written = true;
  const auto fail = [&](const std::string& message) {
    written = false;
    out.Write(Stream::kError, message + "\n");
  };

  const net::SocketLibrary sockets;
  std::optional<HiddenLog> report_log;
  if (request.report) {
    try {
      report_log.emplace(LogBackground());
    } catch (const Error& e) {
      fail(e.Message());
    }
  }
  NoLog no_log;
  core::LogSink& sink = report_log ? static_cast<core::LogSink&>(*report_log) : no_log;

  const core::ProbeClients clients = core::SocketProbeClients(inputs.look_up);
  const auto started = std::chrono::system_clock::now();
  const auto start = std::chrono::steady_clock::now();
  std::optional<core::CheckResult> found;
  std::chrono::steady_clock::duration duration{};
  {
    // Nobody is there to stop it: a token that never stops.
    core::CheckRun run(inputs, clients, sink, std::stop_token{});
    found = run.Run();
    duration = std::chrono::steady_clock::now() - start;
  }  // a login that succeeded kept its session until here
  const core::CheckResult& result = *found;

  if (report_log) {
    try {
      report_log->Export(result, *request.report);
    } catch (const Error& e) {
      fail(e.Message());
    }
  }
  const core::RunMetadata metadata = Metadata(started, duration);
  if (request.json) {
    const std::string json = core::ResultJson(result, metadata);
    if (*request.json == cli::kStandardOutput) {
      if (!out.Write(Stream::kOutput, json)) fail("Cannot write to standard output.");
    } else {
      try {
        WriteOutputFile(*request.json, json);
      } catch (const Error& e) {
        fail(e.Message());
      }
    }
  }
  if (request.csv) {
    try {
      const core::CsvRecord record(inputs.targets, result, metadata,
                                   core::CsvSeparatorFor(Narrow(UserListSeparator())));
      AppendTableRow(*request.csv, record, settings.table_wait);
    } catch (const Error& e) {
      fail(e.Message());
    }
  }
  return cli::RunExitCode(result.Ready(), written);
}

}  // namespace

std::optional<int> RunFromCommandLine(const core::RunInputs& inputs,
                                      const UnattendedSettings& settings) {
  ConsoleOutput out;
  try {
    const std::vector<std::wstring> arguments = ProcessArguments();
    if (arguments.empty()) return std::nullopt;
    const NoSystemErrorBoxes no_boxes;
    const auto parsed = cli::ParseArguments(arguments);
    if (const auto* error = std::get_if<cli::UsageError>(&parsed)) {
      out.Write(Stream::kError, Narrow(error->message) + "\nUse /? para ver as opções.\n");
      return cli::kExitFailure;
    }
    const cli::Request& request = std::get<cli::Request>(parsed);
    if (request.help || request.version) {
      // Started without a console (a double click, a shortcut): the text in a box, unless the
      // command line also asks for a run without one.
      const std::wstring version = ProgramVersion();
      const std::wstring text =
          request.help ? cli::UsageText(version) : cli::VersionText(version) + L"\n";
      if (out.Available(Stream::kOutput)) {
        out.Write(Stream::kOutput, Narrow(text));
      } else if (!request.Unattended()) {
        MessageBoxW(nullptr, text.c_str(), kApplicationTitle, MB_OK | MB_ICONINFORMATION);
      }
      return cli::kExitReady;
    }
    return RunUnattended(inputs, settings, request, out);
  } catch (const std::exception& e) {
    // This mode never shows a box; the error goes where the output goes.
    out.Write(Stream::kError, std::string(e.what()) + "\n");
  } catch (...) {
    out.Write(Stream::kError, "Unexpected error.\n");
  }
  return cli::kExitFailure;
}

}  // namespace travik
