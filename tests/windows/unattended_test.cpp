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
#include <string>
#include <vector>

#include "../native/scripted_ftp_server.h"
#include "core/check_run.h"
#include "core/result_json.h"
#include "gui_test_support.h"
#include "platform/socket.h"
#include "platform/text.h"
#include "process_windows.h"

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
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto create = [&](const fs::path& p) {
      return UniqueHandle(CreateFileW(p.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    Outcome outcome;
    {
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
                          folder_.c_str(), &startup, &info)) {
        ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
        return outcome;
      }
      const UniqueHandle process(info.hProcess);
      const UniqueHandle thread(info.hThread);
      const ULONGLONG deadline = GetTickCount64() + kRunLimitMs;
      while (WaitForSingleObject(process.get(), 5) == WAIT_TIMEOUT) {
        outcome.window_shown =
            outcome.window_shown ||
            VisibleTopLevelWindowOf(info.dwProcessId, Owned::kIncluded) != nullptr;
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
    EXPECT_EQ(json.at("tool"), (Json{{"name", "TRAVIK"}, {"version", "1.0.0.0"}}));
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
  const fs::path program = Beside(L"travik_loopback.exe");
  std::wstring command_line = Quoted(program.wstring());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, folder_.c_str(), &startup, &info));
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
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
        window = VisibleTopLevelWindowOf(info.dwProcessId);
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

}  // namespace
}  // namespace travik::test
