// The command line's unattended mode, in whole processes: the loopback build of the program
// (travik_loopback.exe, every endpoint on 127.0.0.1 or under .invalid) is started as a
// deployment tool would start travik.exe, and its exit code, its output, its files and its
// windows are looked at. The real travik.exe is started only with command lines that cannot
// start a check run.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "../native/scripted_ftp_server.h"
#include "core/check_run.h"
#include "core/result_csv.h"
#include "core/result_json.h"
#include "gui_test_support.h"
#include "platform/output_file.h"
#include "platform/socket.h"
#include "platform/text.h"
#include "process_windows.h"
#include "travik_version.h"

namespace travik::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Texts = std::vector<std::string>;

// A run of the loopback build ends well within 4 s, its process's start included: a run that
// takes four times that has hung. Well within the entry's TIMEOUT, so that the test names it.
constexpr DWORD kRunLimitMs = 16000;
const std::vector<std::string> kLoginRejected = {"220 Ready", "220 Host ok", "331 Password",
                                                 "530 Login incorrect."};
const char kNotAdmin[] = "Usuário não possui privilégios de administrador";
const COLORREF kThemeLog = RGB(0x0E, 0x15, 0x1C);  // "log" of the theme KORVENA

struct Outcome {
  DWORD exit_code = 0;
  std::string out;
  std::string err;
  bool window_shown = false;  // a visible top-level window of the process was ever seen
};

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

fs::path Beside(const wchar_t* name) {
  wchar_t self[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  return fs::path(self).parent_path() / name;
}

// Sets environment variables for the programs this test starts, and clears them afterwards.
class Environment {
 public:
  explicit Environment(const std::map<std::wstring, std::wstring>& variables) {
    for (const auto& [name, value] : variables) {
      SetEnvironmentVariableW(name.c_str(), value.c_str());
      names_.push_back(name);
    }
  }
  ~Environment() {
    for (const std::wstring& name : names_) SetEnvironmentVariableW(name.c_str(), nullptr);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

 private:
  std::vector<std::wstring> names_;
};

std::wstring Quoted(const std::wstring& argument) {
  return L"\"" + argument + L"\"";
}

// Starts `program` with `arguments` in `folder`, its standard output and error each to a file of
// its own. The process's handle, or an empty one when it could not be started (the test fails).
UniqueHandle StartWithOutputs(const fs::path& program, const std::wstring& arguments,
                              const fs::path& folder, const fs::path& out_path,
                              const fs::path& err_path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const auto create = [&](const fs::path& p) {
    return UniqueHandle(CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  const UniqueHandle out = create(out_path);
  const UniqueHandle err = create(err_path);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  std::wstring command_line = Quoted(program.wstring()) + L" " + arguments;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return UniqueHandle();
  }
  const UniqueHandle thread(info.hThread);
  return UniqueHandle(info.hProcess);
}

class UnattendedTest : public testing::Test {
 protected:
  // A name with a space and non-ASCII letters, as every path the program is given below it.
  void SetUp() override { folder_ = NewTempFolder(L"travik cli ção "); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // Starts `program` with `arguments` (its standard output and error each to a file), polls its
  // windows until it ends, and returns what it did. Bounded by kRunLimitMs.
  Outcome Launch(const fs::path& program, const std::wstring& arguments) {
    const fs::path out_path = folder_ / (L"stdout-" + std::to_wstring(++launches_));
    const fs::path err_path = folder_ / (L"stderr-" + std::to_wstring(launches_));
    Outcome outcome;
    {
      const UniqueHandle process =
          StartWithOutputs(program, arguments, folder_, out_path, err_path);
      if (!process) return outcome;
      const DWORD process_id = GetProcessId(process.get());
      const ULONGLONG deadline = GetTickCount64() + kRunLimitMs;
      while (WaitForSingleObject(process.get(), 5) == WAIT_TIMEOUT) {
        outcome.window_shown = outcome.window_shown ||
                               VisibleTopLevelWindowOf(process_id, Owned::kIncluded) != nullptr;
        if (GetTickCount64() > deadline) {
          TerminateProcess(process.get(), 99);
          WaitForSingleObject(process.get(), 5000);
          ADD_FAILURE() << "the program did not end in time";
          break;
        }
      }
      GetExitCodeProcess(process.get(), &outcome.exit_code);
    }
    outcome.out = ReadBytes(out_path);
    outcome.err = ReadBytes(err_path);
    return outcome;
  }

  // The loopback build with these endpoints ("host:port,..." as TRAVIK_LOOPBACK_TCP takes them),
  // host checks to fail and the FTP server's script.
  Outcome RunLoopback(const std::wstring& tcp, const std::wstring& arguments,
                      const std::wstring& fail = L"",
                      const ScriptedFtpServer::Script& ftp_script = kLoginRejected) {
    ScriptedFtpServer ftp({ftp_script});
    const Environment environment({{L"TRAVIK_LOOPBACK_TCP", tcp},
                                   {L"TRAVIK_LOOPBACK_FTP_PORT", std::to_wstring(ftp.Port())},
                                   {L"TRAVIK_LOOPBACK_FAIL", fail}});
    Outcome outcome = Launch(Beside(L"travik_loopback.exe"), arguments);
    ftp_sessions_ = ftp.Accepted();
    return outcome;
  }

  std::wstring Endpoint(const NetworkEndpoint& e) const {
    return Widen(e.host) + L":" + std::to_wstring(e.port);
  }
  std::wstring Accepting() const { return Endpoint(accepting_.Endpoint()); }

  const net::SocketLibrary sockets_;
  AcceptingEndpoint accepting_;
  fs::path folder_;
  int launches_ = 0;
  int ftp_sessions_ = 0;
};

// The report's paragraphs as the run's log and the export's sections make them: each entry's
// line breaks (CR LF or a lone CR) start paragraphs of their own.
struct ExpectedLine {
  std::wstring text;
  bool issue;
};
std::vector<ExpectedLine> ExpectedReport(const Json& result) {
  std::vector<ExpectedLine> lines;
  const auto add = [&lines](const std::string& entry, bool issue) {
    std::wstring text = Widen(entry);
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = text.find(L'\r', start);
      lines.push_back({text.substr(start, end - start), issue});
      if (end == std::wstring::npos) break;
      start = end + (end + 1 < text.size() && text[end + 1] == L'\n' ? 2 : 1);
    }
  };
  for (const Json& line : result.at("log")) add(line.at("text"), line.at("issue"));
  for (const std::string& line :
       core::ReportSections(result.at("impediments"), result.at("secondary_errors"))) {
    add(line, false);
  }
  return lines;
}

std::string ProbeText(const NetworkEndpoint& e) {
  return "Testando conexão em " + e.host + ":" + std::to_string(e.port) + "...";
}

TEST_F(UnattendedTest, RunsWriteTheJsonAndTheReportAndExitWithTheVerdict) {
  const NetworkEndpoint accepting = accepting_.Endpoint();
  const NetworkEndpoint refused = RefusedEndpoint();
  const NetworkEndpoint unknown = UnknownHostEndpoint();
  const std::string refused_text = "Socket Error # 10061\r\nConnection refused.";
  const std::string unknown_text = "Socket Error # 11001\r\nHost not found.";
  struct Case {
    const char* name;
    std::vector<NetworkEndpoint> tcp;  // the six in probing order
    std::wstring fail;
    DWORD exit_code;
    Texts impediments;
    Texts secondary;
  };
  const Case cases[] = {
      {"impediments",
       {accepting, refused, unknown, accepting, accepting, accepting},
       L"admin",
       1,
       {kNotAdmin, ProbeText(unknown) + "Falha\r" + unknown_text},
       {ProbeText(refused) + "Falha\r" + refused_text}},
      {"no impediment",
       {accepting, accepting, accepting, accepting, accepting, accepting},
       L"",
       0,
       {},
       {}},
      {"only secondary errors",
       {refused, accepting, accepting, accepting, accepting, accepting},
       L"",
       0,
       {},
       {ProbeText(refused) + "Falha\r" + refused_text}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring tcp;
    for (const NetworkEndpoint& e : c.tcp) tcp += (tcp.empty() ? L"" : L",") + Endpoint(e);
    const fs::path json_path = folder_ / L"resultado ção.json";
    const fs::path report_path = folder_ / L"relatório pc 01.rtf";
    const auto before = std::chrono::system_clock::now();
    const Outcome outcome = RunLoopback(
        tcp, L"/json " + Quoted(json_path.wstring()) + L" /REPORT:" + Quoted(report_path.wstring()),
        c.fail);
    const auto after = std::chrono::system_clock::now();

    EXPECT_EQ(outcome.exit_code, c.exit_code);
    EXPECT_FALSE(outcome.window_shown);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(ftp_sessions_, 1);
    const Json json = Json::parse(ReadBytes(json_path));

    EXPECT_EQ(json.at("schema"), "travik-result/1");
    EXPECT_EQ(json.at("tool"), (Json{{"name", "TRAVIK"}, {"version", TRAVIK_VERSION}}));
    // As the system tells every process in its environment.
    EXPECT_EQ(json.at("computer"), Variable("COMPUTERNAME"));
    EXPECT_EQ(json.at("user"), Variable("USERDOMAIN") + "\\" + Variable("USERNAME"));
    const std::string started = json.at("started");
    EXPECT_TRUE(std::regex_match(started, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
        << started;
    EXPECT_GE(started, core::UtcTimestamp(before - std::chrono::seconds(1)));
    EXPECT_LE(started, core::UtcTimestamp(after));
    EXPECT_GE(json.at("duration_ms").get<std::int64_t>(), 0);
    EXPECT_LE(json.at("duration_ms").get<std::int64_t>(),
              std::chrono::duration_cast<std::chrono::milliseconds>(after - before).count());

    EXPECT_EQ(json.at("ready"), c.exit_code == 0);
    EXPECT_EQ(json.at("impediments").get<Texts>(), c.impediments);
    EXPECT_EQ(json.at("secondary_errors").get<Texts>(), c.secondary);
    EXPECT_EQ(json.at("administrator"), c.fail.empty());
    EXPECT_EQ(json.at("os"),
              (Json{{"line", "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)"},
                    {"major", 10},
                    {"minor", 0},
                    {"build", 19045},
                    {"service_pack", 0},
                    {"x64", true}}));
    EXPECT_EQ(json.at("memory"), (Json{{"bytes", std::int64_t{8} << 30},
                                       {"figure", "8.00"},
                                       {"minimum_gb", 2.0},
                                       {"ok", true}}));
    EXPECT_EQ(json.at("disk").at("figure"), "99.97");
    ASSERT_EQ(json.at("probes").size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
      SCOPED_TRACE(i);
      const Json& probe = json["probes"][i];
      const NetworkEndpoint& e = c.tcp[i];
      EXPECT_EQ(probe.at("group"), i < 2 ? "broadcast" : "international");
      EXPECT_EQ(probe.at("host"), e.host);
      EXPECT_EQ(probe.at("port"), e.port);
      EXPECT_EQ(probe.at("ok"), e.port == accepting.port && e.host == accepting.host);
      if (e.host == unknown.host) {
        EXPECT_EQ(probe.at("error"), (Json{{"code", 11001}, {"text", "Host not found."}}));
      } else if (e.port == refused.port) {
        EXPECT_EQ(probe.at("error"), (Json{{"code", 10061}, {"text", "Connection refused."}}));
      } else {
        EXPECT_TRUE(probe.at("error").is_null());
      }
    }
    const Json& ftp = json.at("ftp");
    EXPECT_EQ(ftp.at("host"), "127.0.0.1");
    EXPECT_EQ(ftp.at("outcome"), "login_rejected");
    EXPECT_EQ(ftp.at("reply"), (Json{{"code", 530}, {"text", "Login incorrect."}}));
    // The log: its first and last lines, and every issue line in red is an entry of the lists.
    ASSERT_GE(json.at("log").size(), 2u);
    EXPECT_EQ(json["log"].front(),
              (Json{{"text", "--------- Iniciando verificação ---------"}, {"issue", false}}));
    EXPECT_EQ(json["log"].back(),
              (Json{{"text", "--------- Verificação finalizada ---------"}, {"issue", false}}));
    Texts issue_lines;
    for (const Json& line : json["log"]) {
      if (line.at("issue")) issue_lines.push_back(line.at("text"));
    }
    Texts listed = c.impediments;
    listed.insert(listed.end(), c.secondary.begin(), c.secondary.end());
    std::sort(issue_lines.begin(), issue_lines.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(issue_lines, listed);

    // The report: what "Exportar" writes after this run, the log's set-up included.
    const std::vector<ExpectedLine> expected = ExpectedReport(json);
    const std::vector<ColouredLine> report = ReadRtfFile(report_path);
    ASSERT_EQ(report.size(), expected.size());
    for (std::size_t i = 0; i < report.size(); ++i) {
      SCOPED_TRACE(testing::Message() << i << " " << report[i].text);
      EXPECT_EQ(report[i].text, expected[i].text);
      EXPECT_TRUE(report[i].uniform);
      EXPECT_EQ(report[i].colour, expected[i].issue ? RGB(255, 0, 0) : RGB(255, 255, 255));
      const CHARFORMAT2W& f = report[i].format;
      if (report[i].text.empty()) continue;  // an empty paragraph has no characters to look at
      EXPECT_TRUE((f.dwMask & CFM_BACKCOLOR) != 0 && (f.dwEffects & CFE_AUTOBACKCOLOR) == 0);
      EXPECT_EQ(f.crBackColor, kThemeLog);
      EXPECT_STREQ(f.szFaceName, L"Tahoma");
      EXPECT_EQ(f.yHeight, 160);
      EXPECT_TRUE((f.dwMask & CFM_BOLD) != 0 && (f.dwEffects & CFE_BOLD) == 0);
    }
  }
}

TEST_F(UnattendedTest, JsonToStandardOutput) {
  const Outcome outcome = RunLoopback(Accepting(), L"--json=-", L"memory,disk");
  EXPECT_EQ(outcome.exit_code, 1u);
  EXPECT_EQ(outcome.err, "");
  EXPECT_FALSE(outcome.window_shown);
  const Json json = Json::parse(outcome.out);
  EXPECT_EQ(json.at("impediments"), (Json{"Memória RAM inferior à recomendada (2GB).",
                                          "Espaço em disco insuficiente. Mínimo exigido: 1GB."}));
  EXPECT_EQ(json.at("memory").at("ok"), false);
  EXPECT_EQ(json.at("disk").at("bytes"), -1);
}

// Durations are milliseconds: the FTP server holds its greeting back for a known time, which the
// FTP probe's elapsed_ms and the run's duration_ms must each cover, without being many times it
// (a count of microseconds) or less (of seconds); the run is no longer than the process.
TEST_F(UnattendedTest, DurationsAreMilliseconds) {
  constexpr std::int64_t kGreetingDelayMs = 500;
  const ScriptedFtpServer::Script slow_greeting = {
      "<pause:" + std::to_string(kGreetingDelayMs) + ">220 Ready", "220 Host ok", "331 Password",
      "530 Login incorrect."};
  const auto before = std::chrono::steady_clock::now();
  const Outcome outcome = RunLoopback(Accepting(), L"/json -", L"", slow_greeting);
  const auto wall_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - before)
                           .count();
  ASSERT_EQ(outcome.exit_code, 0u) << outcome.err;
  const Json json = Json::parse(outcome.out);
  ASSERT_EQ(json.at("ftp").at("outcome"), "login_rejected");
  const std::int64_t ftp_ms = json.at("ftp").at("elapsed_ms");
  EXPECT_GE(ftp_ms, kGreetingDelayMs);
  EXPECT_LE(ftp_ms, 20 * kGreetingDelayMs);
  const std::int64_t run_ms = json.at("duration_ms");
  EXPECT_GE(run_ms, ftp_ms);
  EXPECT_LE(run_ms, wall_ms);
  for (const Json& probe : json.at("probes")) EXPECT_LE(probe.at("elapsed_ms"), run_ms);
}

TEST_F(UnattendedTest, AFileThatCannotBeCreatedGivesExit2AndTheOtherIsStillWritten) {
  const fs::path missing = folder_ / L"não existe" / L"r.out";
  const fs::path good = folder_ / L"r.out";
  struct Case {
    const char* name;
    std::wstring arguments;
    std::wstring fail;
  };
  const Case cases[] = {
      {"report", L"/report " + Quoted(missing.wstring()) + L" /json " + Quoted(good.wstring()),
       L""},
      {"json, with impediments found",
       L"/json " + Quoted(missing.wstring()) + L" /report " + Quoted(good.wstring()), L"admin"},
      {"csv", L"/csv " + Quoted(missing.wstring()) + L" /json " + Quoted(good.wstring()), L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ignored;
    fs::remove(good, ignored);
    const Outcome outcome = RunLoopback(Accepting(), c.arguments, c.fail);
    EXPECT_EQ(outcome.exit_code, 2u);
    EXPECT_FALSE(outcome.window_shown);
    EXPECT_EQ(outcome.err, Narrow(L"Cannot create file \"" + missing.wstring() + L"\". " +
                                  SystemErrorText(ERROR_PATH_NOT_FOUND)) +
                               "\n");
    EXPECT_TRUE(fs::exists(good));
    EXPECT_GT(fs::file_size(good), 100u);
  }
}

// A bad command line ends before any check: nothing probed, nothing written, exit 2.
TEST_F(UnattendedTest, BadCommandLinesEndBeforeTheRun) {
  struct Case {
    std::wstring arguments;
    std::string message;
  };
  const Case cases[] = {
      {L"/json r.json /verbose", "Opção desconhecida: \"/verbose\"."},
      {L"/report", "A opção \"/report\" precisa de um valor: o caminho do arquivo RTF."},
      {L"/json a.json -JSON b.json", "A opção \"-JSON\" foi dada mais de uma vez."},
      {L"/report a.rtf extra", "Argumento inesperado: \"extra\"."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.arguments));
    const Outcome outcome = RunLoopback(Accepting(), c.arguments);
    EXPECT_EQ(outcome.exit_code, 2u);
    EXPECT_EQ(outcome.err, c.message + "\nUse /? para ver as opções.\n");
    EXPECT_EQ(outcome.out, "");
    EXPECT_FALSE(outcome.window_shown);
    EXPECT_EQ(ftp_sessions_, 0);
    EXPECT_FALSE(fs::exists(folder_ / L"a.json") || fs::exists(folder_ / L"a.rtf") ||
                 fs::exists(folder_ / L"r.json"));
  }
}

// Handles nothing; looks at `done` until it holds or `limit_ms` has passed, and returns done().
bool PollUntil(const std::function<bool()>& done, ULONGLONG limit_ms) {
  const ULONGLONG until = GetTickCount64() + limit_ms;
  while (!done()) {
    if (GetTickCount64() >= until) return false;
    Sleep(10);
  }
  return true;
}

// Without arguments the loopback build is the wizard. Closed while its run waits on a silent FTP
// server, it ends at once with exit code 0: long before the run's FTP read time-out (two minutes
// here, so that a slow machine's "at once" is far from it) could have ended the wait, and without
// waiting for the run's worker.
TEST_F(UnattendedTest, TheWizardClosedDuringItsRunEndsAtOnceWithExitCode0) {
  constexpr DWORD kReadTimeoutMs = 120000;
  constexpr ULONGLONG kEventLimitMs = kRunLimitMs;  // for the window to show, the run to reach FTP
  ScriptedFtpServer ftp({{"<silent>"}}, static_cast<int>(2 * kReadTimeoutMs));
  const Environment environment(
      {{L"TRAVIK_LOOPBACK_TCP", Accepting()},
       {L"TRAVIK_LOOPBACK_FTP_PORT", std::to_wstring(ftp.Port())},
       {L"TRAVIK_LOOPBACK_FTP_READ_TIMEOUT_MS", std::to_wstring(kReadTimeoutMs)}});
  std::optional<test::StartedProgram> started =
      test::StartProgram(Beside(L"travik_loopback.exe").wstring(), L"", folder_.wstring());
  ASSERT_TRUE(started);
  const UniqueHandle process = std::move(started->process);
  // Ends the process, whatever happens below.
  struct Terminator {
    HANDLE process;
    ~Terminator() {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
      }
    }
  } terminator{process.get()};

  WaitForInputIdle(process.get(), static_cast<DWORD>(kEventLimitMs));
  HWND window = nullptr;
  ASSERT_TRUE(PollUntil(
      [&] {
        window = VisibleTopLevelWindowOf(started->id);
        return window != nullptr && IsWindowVisible(FindControl(window, ids::kBtnStart));
      },
      kEventLimitMs));
  Click(window, ids::kBtnStart);
  // The run has reached the FTP server, which answers nothing: the run waits for its greeting.
  ASSERT_TRUE(PollUntil([&] { return ftp.Accepted() > 0; }, kEventLimitMs));
  ASSERT_EQ(ftp.Accepted(), 1);
  ASSERT_EQ(WaitForSingleObject(process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  PostMessageW(window, WM_CLOSE, 0, 0);
  // The run would wait for the greeting for the whole read time-out; the process is gone first.
  ASSERT_EQ(WaitForSingleObject(process.get(), kReadTimeoutMs / 4),
            static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exit_code = 99;
  GetExitCodeProcess(process.get(), &exit_code);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_TRUE(ftp.Commands()[0].empty()) << "nothing was sent to the silent server";
}

// travik.exe itself, only with command lines that never start a check run.
TEST_F(UnattendedTest, TheRealProgramPrintsItsUsageAndNamesAnUnknownOption) {
  const fs::path travik = TRAVIK_EXE;
  ASSERT_TRUE(fs::exists(travik)) << travik.string();

  const Outcome usage = Launch(travik, L"/?");
  EXPECT_EQ(usage.exit_code, 0u);
  EXPECT_EQ(usage.err, "");
  EXPECT_NE(usage.out.find("/report ARQUIVO"), std::string::npos) << usage.out;
  EXPECT_NE(usage.out.find("/json ARQUIVO"), std::string::npos);
  EXPECT_FALSE(usage.window_shown);

  const Outcome unknown = Launch(travik, L"/nonsense");
  EXPECT_EQ(unknown.exit_code, 2u);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("\"/nonsense\""), std::string::npos) << unknown.err;
  EXPECT_FALSE(unknown.window_shown);
}

// What a file's version resource says: the fixed numbers and the texts Explorer's Details show.
struct VersionResource {
  std::string file_numbers, product_numbers, file_version, product_version;
};

std::optional<VersionResource> ReadVersionResource(const fs::path& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  std::vector<std::uint8_t> data(size);
  if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return std::nullopt;
  VersionResource found;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    return std::nullopt;
  }
  const auto numbers = [](DWORD ms, DWORD ls) {
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
           std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
  };
  found.file_numbers = numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  found.product_numbers = numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  const auto text = [&data](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041604b0\\") + name;
    if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars)) {
      return std::string("(none)");
    }
    return Narrow(std::wstring(value));
  };
  found.file_version = text(L"FileVersion");
  found.product_version = text(L"ProductVersion");
  return found;
}

// The application manifest the program carries.
std::string ManifestOf(const fs::path& file) {
  const HMODULE image = LoadLibraryExW(file.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (image == nullptr) return {};
  std::string text;
  if (const HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    const HGLOBAL loaded = LoadResource(image, found);
    const auto* bytes = static_cast<const char*>(LockResource(loaded));
    if (bytes != nullptr) text.assign(bytes, SizeofResource(image, found));
  }
  FreeLibrary(image);
  return text;
}

// One version, the project's with the commit the build was made from, wherever it shows: the
// version resource, the manifest, /version, the usage and the JSON.
TEST_F(UnattendedTest, OneVersionEverywhere) {
  const std::string version = TRAVIK_VERSION;
  EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d+\.\d+(\+g[0-9a-f]{7}(\.dirty)?)?)")))
      << version;
  EXPECT_TRUE(version.starts_with(TRAVIK_PROJECT_VERSION)) << version;
  const std::string numbers = TRAVIK_VERSION_QUAD;
  EXPECT_EQ(numbers, std::string(TRAVIK_PROJECT_VERSION) + ".0");

  const fs::path travik = TRAVIK_EXE;
  const std::optional<VersionResource> resource = ReadVersionResource(travik);
  ASSERT_TRUE(resource.has_value()) << "travik.exe has no version resource";
  EXPECT_EQ(resource->file_numbers, numbers);
  EXPECT_EQ(resource->product_numbers, numbers);
  EXPECT_EQ(resource->file_version, version);
  EXPECT_EQ(resource->product_version, version);
  EXPECT_NE(ManifestOf(travik).find("name=\"Korvena.Travik\" version=\"" + numbers + "\""),
            std::string::npos)
      << ManifestOf(travik);

  for (const wchar_t* option : {L"/version", L"-VERSION", L"--version"}) {
    SCOPED_TRACE(Narrow(option));
    const Outcome printed = Launch(travik, option);
    EXPECT_EQ(printed.exit_code, 0u);
    EXPECT_EQ(printed.out, "TRAVIK " + version + "\n");
    EXPECT_EQ(printed.err, "");
    EXPECT_FALSE(printed.window_shown);
  }
  const Outcome usage = Launch(travik, L"/?");
  EXPECT_TRUE(usage.out.starts_with("TRAVIK " + version + ":")) << usage.out;

  const Outcome run = RunLoopback(Accepting(), L"/json -");
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  EXPECT_EQ(Json::parse(run.out).at("tool").at("version"), version);
}

// ---- /csv: the fleet's table ----

// The rows of a CSV text as RFC 4180 has them written (a field in quotes where it must be, its
// quotes doubled; CR LF after every row), or nothing when the text breaks a rule.
std::optional<std::vector<Texts>> ReadCsv(std::string_view text, char separator) {
  std::vector<Texts> rows;
  Texts row;
  std::size_t i = 0;
  while (i < text.size()) {
    std::string field;
    if (text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return std::nullopt;  // no closing quote
        if (text[i] != '"') {
          field += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '"') {
          field += text[++i];
        } else {
          ++i;
          break;
        }
      }
    } else {
      for (; i < text.size() && text[i] != separator && text[i] != '\r' && text[i] != '\n'; ++i) {
        if (text[i] == '"') return std::nullopt;  // a quote in a field not in quotes
        field += text[i];
      }
    }
    row.push_back(std::move(field));
    if (i < text.size() && text[i] == separator) {
      ++i;
      if (i == text.size()) return std::nullopt;
    } else if (text.substr(i, 2) == "\r\n") {
      i += 2;
      rows.push_back(std::move(row));
      row.clear();
    } else {
      return std::nullopt;  // a lone CR or LF, text after a closing quote, no final line end
    }
  }
  return rows;
}

// The table's rows after its byte-order mark, read with the separator its header shows; nothing
// when the file is no such table.
std::optional<std::vector<Texts>> ReadTable(const fs::path& path, char* separator_seen = nullptr) {
  const std::string bytes = ReadBytes(path);
  const std::string_view bom = core::kUtf8ByteOrderMark;
  const std::string_view first_name = "started";
  if (!bytes.starts_with(std::string(bom) + std::string(first_name)) ||
      bytes.size() <= bom.size() + first_name.size()) {
    return std::nullopt;
  }
  const char separator = bytes[bom.size() + first_name.size()];
  if (separator_seen != nullptr) *separator_seen = separator;
  return ReadCsv(std::string_view(bytes).substr(bom.size()), separator);
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  WriteOutputFile(path.wstring(), bytes);
}

// The endpoints of the loopback build, as TRAVIK_LOOPBACK_TCP gives them and the header names
// them.
std::wstring TcpList(const std::vector<NetworkEndpoint>& endpoints) {
  std::wstring list;
  for (const NetworkEndpoint& e : endpoints) {
    list += (list.empty() ? L"" : L",") + Widen(e.host) + L":" + std::to_wstring(e.port);
  }
  return list;
}
core::NetworkTargets Targets(const std::vector<NetworkEndpoint>& six) {
  core::NetworkTargets targets;
  for (std::size_t i = 0; i < core::NetworkTargets::kTcpEndpoints; ++i) targets.Tcp(i) = six.at(i);
  return targets;
}

// A program started and left to run, its standard output and error each to a file; ended when
// still running at destruction.
class RunningProgram {
 public:
  RunningProgram(const fs::path& program, const std::wstring& arguments, const fs::path& folder,
                 const std::wstring& name)
      : err_path_(folder / (L"stderr-" + name)),
        process_(StartWithOutputs(program, arguments, folder, folder / (L"stdout-" + name),
                                  err_path_)) {}
  ~RunningProgram() {
    if (Running()) {
      TerminateProcess(process_.get(), 99);
      WaitForSingleObject(process_.get(), 5000);
    }
  }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  [[nodiscard]] bool Started() const { return static_cast<bool>(process_); }
  [[nodiscard]] bool Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
  }
  // The exit code once the program has ended, or nothing when it has not ended in `limit_ms`.
  [[nodiscard]] std::optional<DWORD> Wait(DWORD limit_ms) const {
    if (!process_ || WaitForSingleObject(process_.get(), limit_ms) != WAIT_OBJECT_0) {
      return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }
  [[nodiscard]] std::string Err() const { return ReadBytes(err_path_); }

 private:
  fs::path err_path_;
  UniqueHandle process_;
};

// How another process has the table while a writer comes: as Excel shows a file (open, and
// writing by others not shared), or as another writer appending (the writers' lock).
enum class Hold { kOpenWithoutWriteSharing, kWritersLock };

// The table held by this process the way `hold` says, until Release() or the end of the object.
class HeldTable {
 public:
  HeldTable(const fs::path& path, Hold hold) : hold_(hold) {
    const DWORD share =
        hold == Hold::kWritersLock ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    file_.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(file_) << "the test could not open " << path.string() << ": " << GetLastError();
    if (file_ && hold == Hold::kWritersLock) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(kAppendLockOffset);
      at.OffsetHigh = static_cast<DWORD>(kAppendLockOffset >> 32);
      locked_ = LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                           kAppendLockLength, 0, &at) != FALSE;
      EXPECT_TRUE(locked_) << "the test could not take the writers' lock: " << GetLastError();
    }
  }
  ~HeldTable() { Release(); }
  HeldTable(const HeldTable&) = delete;
  HeldTable& operator=(const HeldTable&) = delete;

  // Appends while holding, as a writer with the lock does.
  void Append(const std::string& bytes) {
    LARGE_INTEGER end{};
    EXPECT_TRUE(SetFilePointerEx(file_.get(), end, nullptr, FILE_END) &&
                WriteAll(file_.get(), bytes))
        << "the test could not append: " << GetLastError();
  }

  void Release() {
    if (locked_) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(kAppendLockOffset);
      at.OffsetHigh = static_cast<DWORD>(kAppendLockOffset >> 32);
      UnlockFileEx(file_.get(), 0, kAppendLockLength, 0, &at);
      locked_ = false;
    }
    file_.reset();
  }
  // The system's text for what a writer meets meanwhile.
  [[nodiscard]] std::string ErrorText() const {
    return Narrow(SystemErrorText(hold_ == Hold::kWritersLock ? ERROR_LOCK_VIOLATION
                                                              : ERROR_SHARING_VIOLATION));
  }

 private:
  Hold hold_;
  UniqueHandle file_;
  bool locked_ = false;
};

// Fifty unattended runs started at once, each appending its row to one table: the table gets
// one header and fifty whole rows, one per run, each matching that run's own JSON. This process
// holds the writers' lock until every run has written its JSON and is at its row, so that the
// fifty writers meet at the lock however the system schedules their start.
TEST_F(UnattendedTest, FiftyRunsAtOnceAppendOneRowEachToOneTable) {
  constexpr int kRuns = 50;
  // Fifty runs reach their row within 10 s here, and end as soon after the lock goes: four times
  // that, for each of the two.
  constexpr DWORD kBatchLimitMs = 40000;
  // Each run's four probes of it wait in its backlog, never accepted.
  const test::Listener accepting = test::Listener::OnLoopback(0, 1024);
  const NetworkEndpoint open{"127.0.0.1", accepting.Port()};
  const std::vector<NetworkEndpoint> six = {
      open, RefusedEndpoint(), open, UnknownHostEndpoint(), open, open};
  ScriptedFtpServer ftp(std::vector<ScriptedFtpServer::Script>(kRuns, kLoginRejected),
                        static_cast<int>(2 * kBatchLimitMs));
  // Runs wait for the one FTP server in turn, and for the lock for as long as this test lasts.
  const Environment environment({{L"TRAVIK_LOOPBACK_TCP", TcpList(six)},
                                 {L"TRAVIK_LOOPBACK_FTP_PORT", std::to_wstring(ftp.Port())},
                                 {L"TRAVIK_LOOPBACK_FAIL", L"admin"},
                                 {L"TRAVIK_LOOPBACK_FTP_READ_TIMEOUT_MS", L"600000"},
                                 {L"TRAVIK_LOOPBACK_CSV_WAIT_MS", L"600000"}});
  const fs::path table = folder_ / L"frota ção.csv";
  const auto json_of = [this](int i) { return folder_ / (L"pc " + std::to_wstring(i) + L".json"); };

  HeldTable held(table, Hold::kWritersLock);
  std::vector<std::unique_ptr<RunningProgram>> runs;
  for (int i = 0; i < kRuns; ++i) {
    runs.push_back(std::make_unique<RunningProgram>(
        Beside(L"travik_loopback.exe"),
        L"/json " + Quoted(json_of(i).wstring()) + L" /csv " + Quoted(table.wstring()), folder_,
        std::to_wstring(i)));
    ASSERT_TRUE(runs.back()->Started());
  }
  const bool all_at_their_row = PollUntil(
      [&] {
        for (int i = 0; i < kRuns; ++i) {
          if (!fs::exists(json_of(i)) && runs[i]->Running()) return false;
        }
        return true;
      },
      kBatchLimitMs);
  ASSERT_TRUE(all_at_their_row) << "every run writing its JSON";
  for (int i = 0; i < kRuns; ++i) {
    ASSERT_TRUE(runs[i]->Running())
        << "run " << i << " ended while the table was locked: " << runs[i]->Err();
  }
  EXPECT_EQ(fs::file_size(table), 0u) << "nothing written under another writer's lock";
  held.Release();

  const ULONGLONG until = GetTickCount64() + kBatchLimitMs;
  for (int i = 0; i < kRuns; ++i) {
    SCOPED_TRACE(i);
    const ULONGLONG now = GetTickCount64();
    const std::optional<DWORD> code =
        runs[i]->Wait(static_cast<DWORD>(until > now ? until - now : 0));
    ASSERT_TRUE(code.has_value()) << "run " << i << " ending after the lock was released";
    EXPECT_EQ(*code, 1u) << runs[i]->Err();
    EXPECT_EQ(runs[i]->Err(), "");
  }

  char separator = 0;
  const std::optional<std::vector<Texts>> rows = ReadTable(table, &separator);
  ASSERT_TRUE(rows.has_value()) << "the table is not RFC 4180 CSV:\n" << ReadBytes(table);
  ASSERT_EQ(rows->size(), static_cast<std::size_t>(kRuns + 1));
  const Texts columns = core::CsvColumns(Targets(six));
  EXPECT_EQ(rows->front(), columns);
  const auto field = [&columns](const Texts& row, const std::string& name) {
    const auto at = std::find(columns.begin(), columns.end(), name);
    return row.at(static_cast<std::size_t>(at - columns.begin()));
  };
  // Each run's row is the one with its start, computer and user; no run has two, none has none.
  std::multiset<Texts> from_rows, from_json;
  for (std::size_t r = 1; r < rows->size(); ++r) {
    const Texts& row = (*rows)[r];
    ASSERT_EQ(row.size(), columns.size()) << "row " << r;
    from_rows.insert({field(row, "started"), field(row, "computer"), field(row, "user")});
  }
  for (int i = 0; i < kRuns; ++i) {
    const Json json = Json::parse(ReadBytes(json_of(i)));
    from_json.insert(Texts{json.at("started").get<std::string>(),
                           json.at("computer").get<std::string>(),
                           json.at("user").get<std::string>()});
  }
  EXPECT_EQ(from_rows, from_json);
  // The runs found the same, so their rows differ only in when they started.
  const Texts& first = (*rows)[1];
  for (std::size_t r = 2; r < rows->size(); ++r) {
    Texts row = (*rows)[r];
    row.front() = first.front();
    EXPECT_EQ(row, first) << "row " << r;
  }
  const Json json = Json::parse(ReadBytes(json_of(0)));
  EXPECT_EQ(field(first, "version"), json.at("tool").at("version"));
  EXPECT_EQ(field(first, "ready"), "false");
  EXPECT_EQ(field(first, "administrator"), "false");
  EXPECT_EQ(field(first, "os"), json.at("os").at("line"));
  EXPECT_EQ(field(first, "memory_gb"), "8.00");
  EXPECT_EQ(field(first, "ftp"), "login_rejected 530");
  const std::string unknown = "travik-test.invalid:81";
  EXPECT_EQ(first[9], "ok");
  EXPECT_EQ(first[10], "10061 Connection refused.");
  EXPECT_EQ(field(first, unknown), "11001 Host not found.");
  EXPECT_EQ(field(first, "impediments"), std::string(kNotAdmin) + " | Testando conexão em " +
                                             unknown +
                                             "...Falha Socket Error # 11001 Host not found.");
  EXPECT_EQ(ftp.Accepted(), kRuns);
}

// A writer that finds the table held waits for it: released within the wait, the row is written,
// after what another writer appended meanwhile (a table that was empty when the run first looked
// has its header by then); held for longer, the run ends with 2 and the system's reason, its JSON
// still written and the table as it was.
TEST_F(UnattendedTest, ARowWaitsForATableThatIsHeld) {
  constexpr DWORD kShortWaitMs = 2000;
  constexpr DWORD kLongWaitMs = 300000;
  const std::vector<NetworkEndpoint> six(6, accepting_.Endpoint());
  const Texts columns = core::CsvColumns(Targets(six));
  const std::string header = core::CsvHeader(Targets(six), ',');
  core::RunMetadata other_pc;
  other_pc.computer = "OUTRO-PC";
  const std::string other_row = core::CsvRow(core::CheckResult{}, other_pc, ',');
  struct Case {
    const char* name;
    Hold hold;
    std::string before;     // the table when the run starts
    bool released;          // within the wait; else held until the program ends
    std::string meanwhile;  // appended by the holder before it lets go
  };
  const Case cases[] = {
      {"open without write sharing, released", Hold::kOpenWithoutWriteSharing, header, true, ""},
      {"locked by a writer that makes the table meanwhile", Hold::kWritersLock, "", true,
       header + other_row},
      {"open without write sharing for longer than the wait", Hold::kOpenWithoutWriteSharing,
       header, false, ""},
      {"locked for longer than the wait", Hold::kWritersLock, header, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path table = folder_ / L"frota.csv";
    const fs::path json = folder_ / L"pc.json";
    std::error_code ignored;
    fs::remove(json, ignored);
    WriteBytes(table, c.before);
    ScriptedFtpServer ftp({kLoginRejected});
    const DWORD wait_ms = c.released ? kLongWaitMs : kShortWaitMs;
    const Environment environment({{L"TRAVIK_LOOPBACK_TCP", Accepting()},
                                   {L"TRAVIK_LOOPBACK_FTP_PORT", std::to_wstring(ftp.Port())},
                                   {L"TRAVIK_LOOPBACK_CSV_WAIT_MS", std::to_wstring(wait_ms)}});
    HeldTable held(table, c.hold);
    const ULONGLONG launched = GetTickCount64();
    const RunningProgram run(
        Beside(L"travik_loopback.exe"),
        L"/json " + Quoted(json.wstring()) + L" /csv " + Quoted(table.wstring()), folder_, L"held");
    ASSERT_TRUE(run.Started());
    // The JSON is written before the row: from then on the program is at the table.
    ASSERT_TRUE(PollUntil([&] { return fs::exists(json) || !run.Running(); }, kRunLimitMs))
        << "the run writing its JSON";
    const ULONGLONG at_table = GetTickCount64();
    if (c.released) {
      Sleep(200);  // a few of its tries meet the holder
      ASSERT_TRUE(run.Running()) << "the run did not wait for the table: " << run.Err();
      held.Append(c.meanwhile);
      held.Release();
    }
    const std::optional<DWORD> code = run.Wait(kRunLimitMs);
    const ULONGLONG ended = GetTickCount64();
    held.Release();
    ASSERT_TRUE(code.has_value()) << "the run ending";
    EXPECT_EQ(Json::parse(ReadBytes(json)).at("ready"), true);
    if (c.released) {
      EXPECT_EQ(*code, 0u);
      EXPECT_EQ(run.Err(), "");
      const std::string bytes = ReadBytes(table);
      EXPECT_TRUE(bytes.starts_with(c.before + c.meanwhile)) << bytes;
      const std::optional<std::vector<Texts>> rows = ReadTable(table);
      ASSERT_TRUE(rows.has_value()) << bytes;
      ASSERT_EQ(rows->size(), c.meanwhile.empty() ? 2u : 3u) << bytes;
      EXPECT_EQ(rows->front(), columns);
      EXPECT_EQ(rows->back().at(0), Json::parse(ReadBytes(json)).at("started"));
    } else {
      EXPECT_EQ(*code, 2u);
      EXPECT_EQ(run.Err(), Narrow(L"Cannot create file \"" + table.wstring() + L"\". ") +
                               held.ErrorText() + "\n");
      EXPECT_EQ(ReadBytes(table), c.before);
      // It gave up once the wait was spent, not before and not long after.
      EXPECT_GE(ended - launched, wait_ms);
      EXPECT_LE(ended - at_table, 4 * wait_ms);
    }
  }
}

// A file whose first line is not this program's header is someone else's: nothing is appended,
// not a byte changes, and the run ends with 2 saying so; its JSON is still written.
TEST_F(UnattendedTest, SomeoneElsesFileIsLeftAsItIs) {
  const std::vector<NetworkEndpoint> six(6, accepting_.Endpoint());
  const std::string ours = core::CsvHeader(Targets(six), ';');
  const std::string row = "2026-12-10T04:17:27.005Z;PC;PC\\joão;1.1.0;true\r\n";
  const std::string lines[] = {
      "\xEF\xBB\xBFNome;Usuário;Espaço\r\nMESA-01;joão;12\r\n",
      ours.substr(3) + row,                                 // no byte-order mark
      ours.substr(0, ours.size() - 2) + ";new_column\r\n",  // a later release's columns
      ours.substr(0, 20),                                   // shorter than a line
  };
  for (const std::string& bytes : lines) {
    SCOPED_TRACE(bytes);
    const fs::path table = folder_ / L"outra tabela.csv";
    const fs::path json = folder_ / L"pc.json";
    WriteBytes(table, bytes);
    std::error_code ignored;
    fs::remove(json, ignored);
    const Outcome outcome = RunLoopback(
        Accepting(), L"/csv " + Quoted(table.wstring()) + L" /json " + Quoted(json.wstring()));
    EXPECT_EQ(outcome.exit_code, 2u);
    EXPECT_EQ(outcome.err, Narrow(L"O arquivo \"" + table.wstring() +
                                  L"\" não começa com o cabeçalho de colunas do TRAVIK (é outra "
                                  L"tabela, ou de uma versão com outras colunas): a linha não foi "
                                  L"acrescentada.\n"));
    EXPECT_EQ(ReadBytes(table), bytes);
    EXPECT_EQ(Json::parse(ReadBytes(json)).at("ready"), true);
  }
}

// The user's list separator in the regional settings (HKCU\Control Panel\International, sList),
// as a user who changed it has it, for the programs started meanwhile; put back afterwards.
class ListSeparatorSetting {
 public:
  explicit ListSeparatorSetting(const std::wstring& separator) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\International", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) != ERROR_SUCCESS) {
      ADD_FAILURE() << "the regional settings could not be opened";
      key_ = nullptr;
      return;
    }
    wchar_t previous[16] = {};
    DWORD size = sizeof previous;
    if (RegGetValueW(key_, nullptr, L"sList", RRF_RT_REG_SZ, nullptr, previous, &size) ==
        ERROR_SUCCESS) {
      previous_ = previous;
    }
    Set(separator);
  }
  ~ListSeparatorSetting() {
    if (key_ == nullptr) return;
    if (previous_) {
      Set(*previous_);
    } else {
      RegDeleteValueW(key_, L"sList");
    }
    RegCloseKey(key_);
  }
  ListSeparatorSetting(const ListSeparatorSetting&) = delete;
  ListSeparatorSetting& operator=(const ListSeparatorSetting&) = delete;

 private:
  void Set(const std::wstring& value) {
    EXPECT_EQ(
        RegSetValueExW(key_, L"sList", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
  }
  HKEY key_ = nullptr;
  std::optional<std::wstring> previous_;
};

// A new table takes the list separator of the PC that creates it (where Excel splits a
// double-clicked file on that PC), "," for anything but "," or ";"; every PC that appends keeps
// the file's, whatever its own.
TEST_F(UnattendedTest, TheTableKeepsTheSeparatorOfThePcThatCreatedIt) {
  struct Case {
    const wchar_t* creator;
    const wchar_t* appender;
    char separator;
  };
  const Case cases[] = {{L";", L",", ';'}, {L",", L";", ','}, {L"|", L";", ','}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.creator));
    const fs::path table = folder_ / (L"tabela " + std::to_wstring(&c - cases) + L".csv");
    for (const wchar_t* list_separator : {c.creator, c.appender}) {
      const ListSeparatorSetting setting(list_separator);
      const Outcome outcome = RunLoopback(Accepting(), L"/csv " + Quoted(table.wstring()));
      EXPECT_EQ(outcome.exit_code, 0u) << outcome.err;
    }
    char separator = 0;
    const std::optional<std::vector<Texts>> rows = ReadTable(table, &separator);
    ASSERT_TRUE(rows.has_value()) << ReadBytes(table);
    EXPECT_EQ(separator, c.separator);
    ASSERT_EQ(rows->size(), 3u);
    // The OS line has a comma: quoted with ",", not with ";", the same field read back.
    for (std::size_t r = 1; r < 3; ++r) {
      EXPECT_EQ(rows->at(r).at(5), "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)");
    }
  }
}

// The list separator of the locales that Excel users of the program have, as Windows (here Wine)
// gives it to a new table: run by CTest under each of them (unattended_tests_locale_*).
TEST_F(UnattendedTest, ANewTableTakesTheListSeparatorOfTheLocale) {
  const std::map<std::string, char> separators = {{"pt_BR.UTF-8", ';'}, {"C.UTF-8", ','}};
  const auto expected = separators.find(Variable("LC_ALL"));
  if (expected == separators.end()) GTEST_SKIP() << "runs under LC_ALL=pt_BR.UTF-8 or C.UTF-8";
  const fs::path table = folder_ / L"tabela.csv";
  const Outcome outcome = RunLoopback(Accepting(), L"/csv " + Quoted(table.wstring()));
  ASSERT_EQ(outcome.exit_code, 0u) << outcome.err;
  char separator = 0;
  ASSERT_TRUE(ReadTable(table, &separator).has_value()) << ReadBytes(table);
  EXPECT_EQ(separator, expected->second);
}

}  // namespace
}  // namespace travik::test
