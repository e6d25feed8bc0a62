// The wizard window: start-up state, the check run's log as it comes, a window that answers
// throughout the run, the verdict.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>

#include "../native/scripted_ftp_server.h"
#include "gui_test_support.h"
#include "platform/host_windows.h"
#include "platform/text.h"
#include "tests/deadline.h"
#include "toolkit/dpi.h"

namespace travik::test {
namespace {

using Lines = std::vector<std::wstring>;

const std::vector<std::string> kLoginRejected = {"220 Ready", "220 Host ok", "331 Password",
                                                 "530 Login incorrect."};
const wchar_t kFtpHeading[] = L">>> Verificando conexão com servidor FTP";
const wchar_t kClosingBanner[] = L"--------- Verificação finalizada ---------";

std::wstring Probe(const NetworkEndpoint& e) {
  return L"Testando conexão em " + Widen(e.host) + L":" + std::to_wstring(e.port) + L"...";
}

class WindowTest : public testing::Test {
 protected:
  std::shared_ptr<Recorded> recorded_ = std::make_shared<Recorded>();
  AcceptingEndpoint accepting_;
};

TEST_F(WindowTest, OpensOnTheFirstPageWithNextDisabled) {
  ScriptedFtpServer ftp({});
  auto form = OpenWindow(LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  EXPECT_EQ(WindowText(w), L"TRAVIK");
  EXPECT_EQ(VisiblePage(w), 0);  // although the layout is stored with the last page
  EXPECT_TRUE(IsWindowVisible(FindControl(w, ids::kBtnStart)));
  EXPECT_FALSE(IsWindowVisible(FindControl(w, ids::kBtnNext)));
  EXPECT_FALSE(IsWindowEnabled(FindControl(w, ids::kBtnNext)));
  EXPECT_EQ(GetFocus(), FindControl(w, ids::kBtnStart));
  EXPECT_EQ(WindowText(FindControl(w, ids::kLabel1)),
            L"Verificador de dependências para instalação da plataforma KORVENA DUVIVER");
  EXPECT_EQ(WindowText(FindControl(w, ids::kBtnStart)), L"COMEÇAR");
  EXPECT_EQ(WindowText(FindControl(w, ids::kLblResult)), L"-");
  RECT client;
  GetClientRect(w, &client);
  const int dpi = static_cast<int>(WindowDpi(w));
  EXPECT_EQ(client.right, MulDiv(558, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(270, dpi, 96));
  EXPECT_TRUE(recorded_->error_boxes.empty());
}

TEST_F(WindowTest, ControlsKeepTheirPlacesAndTheStripsFollowTheWindow) {
  ScriptedFtpServer ftp({kLoginRejected});
  auto form = OpenWindow(LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  const int dpi = static_cast<int>(WindowDpi(w));
  auto s = [dpi](int v) { return MulDiv(v, dpi, 96); };
  auto rect_in_parent = [w](int id) {
    HWND h = FindControl(w, id);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  RECT r = rect_in_parent(ids::kBtnStart);
  EXPECT_EQ(r.left, s(240));
  EXPECT_EQ(r.top, s(216));
  EXPECT_EQ(r.right - r.left, s(97));
  EXPECT_EQ(r.bottom - r.top, s(34));
  ASSERT_TRUE(RunChecks(w));
  r = rect_in_parent(ids::kBtnNext);
  EXPECT_EQ(r.left, s(479));
  EXPECT_EQ(r.top, s(5));
  // The log takes what the strip leaves (each is scaled on its own: at 144 dpi 405 - 53).
  const int log_height = s(270) - s(35);
  r = rect_in_parent(ids::kMList);
  EXPECT_EQ(r.right - r.left, s(558));
  EXPECT_EQ(r.bottom - r.top, log_height);

  RECT window;
  GetWindowRect(w, &window);
  SetWindowPos(w, nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top + 50,
               SWP_NOMOVE | SWP_NOZORDER);
  r = rect_in_parent(ids::kMList);
  EXPECT_EQ(r.right - r.left, s(558) + 100);
  EXPECT_EQ(r.bottom - r.top, log_height + 50);
  r = rect_in_parent(ids::kPanel1);
  EXPECT_EQ(r.top, log_height + 50);
  r = rect_in_parent(ids::kBtnClose);
  EXPECT_EQ(r.left, s(456));
  EXPECT_EQ(r.top, s(232));
}

TEST_F(WindowTest, RunWithEverythingInOrderLogsPlainLinesOnly) {
  ScriptedFtpServer ftp({kLoginRejected});
  auto form = OpenWindow(LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  ASSERT_TRUE(RunChecks(w));

  const std::wstring probe = Probe(accepting_.Endpoint());
  const Lines expected = {
      L"--------- Iniciando verificação ---------",
      L"Windows 10 (Version 10.0, Build 19045, 64-bit Edition)",
      L"RAM: 8.00GB",
      L"Espaço livre em disco: 99.97GB",
      L"Usuário possui privilégios de administrador",
      L">>> Teste de conexão com difusores",
      probe + L"OK",
      probe + L"OK",
      L">>> Teste de conexão internacional",
      probe + L"OK",
      probe + L"OK",
      probe + L"OK",
      probe + L"OK",
      kFtpHeading,
      L"Conexão FTP estabelecida.",
      kClosingBanner,
  };
  EXPECT_EQ(LogLines(w), expected);
  for (const ColouredLine& line : ReadRichEdit(FindControl(w, ids::kMList))) {
    SCOPED_TRACE(line.text);
    EXPECT_TRUE(line.uniform);
    EXPECT_EQ(line.colour, RGB(255, 255, 255));
  }
  EXPECT_EQ(VisiblePage(w), 1);
  EXPECT_EQ(GetFocus(), FindControl(w, ids::kBtnNext));
  EXPECT_EQ(recorded_->taskbar_busy, (std::vector<bool>{true, false}));
  // The run is over: the server's session has ended, or ends at its next look (every 20 ms).
  (void)WaitUntil([&ftp] { return ftp.Finished(); }, std::chrono::seconds(2),
                  "The end of the FTP server's session");
  ftp.Stop();
  ASSERT_EQ(ftp.Commands().size(), 1u);
  EXPECT_EQ(ftp.Commands()[0][1], "USER qzvk");
}

TEST_F(WindowTest, EveryProbeClosesItsConnection) {
  ScriptedFtpServer ftp({kLoginRejected});
  test::Listener listener = test::Listener::OnLoopback(0, 16);
  auto form = OpenWindow(LoopbackSetup({"127.0.0.1", listener.Port()}, ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(RunChecks(form->Handle()));
  // The six connections wait in the backlog; each must already be closed by the client.
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    test::TestSocket accepted = listener.Accept(5000);
    ASSERT_TRUE(accepted.Valid());
    ASSERT_TRUE(test::WaitReadable(accepted, 5000));
    char byte;
    EXPECT_EQ(accepted.Receive(&byte, 1), 0u);
  }
  EXPECT_FALSE(listener.Accept(0).Valid());
}

TEST_F(WindowTest, FailuresAreRedAndTheVerdictListsTheImpediments) {
  ScriptedFtpServer ftp({{"220 Ready", "220 Host ok", "331 Password", "530 User cannot log in."}});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  const NetworkEndpoint refused = RefusedEndpoint();
  const NetworkEndpoint unknown = UnknownHostEndpoint();
  setup.run.targets.broadcast = {refused, unknown};
  setup.run.targets.international = {accepting_.Endpoint(), refused, accepting_.Endpoint(),
                                     accepting_.Endpoint()};
  setup.run.host.is_admin = [] { return false; };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  ASSERT_TRUE(RunChecks(w));

  const Lines lines = LogLines(w);
  const Lines expected_tail = {
      L"Usuário não possui privilégios de administrador",
      L">>> Teste de conexão com difusores",
      Probe(refused) + L"Falha",
      L"Socket Error # 10061",
      L"Connection refused.",
      Probe(unknown) + L"Falha",
      L"Socket Error # 11001",
      L"Host not found.",
      L">>> Teste de conexão internacional",
      Probe(accepting_.Endpoint()) + L"OK",
      Probe(refused) + L"Falha",
      L"Socket Error # 10061",
      L"Connection refused.",
      Probe(accepting_.Endpoint()) + L"OK",
      Probe(accepting_.Endpoint()) + L"OK",
      kFtpHeading,
      L"Não foi possível conectar ao FTP.",
      kClosingBanner,
  };
  ASSERT_EQ(lines.size(), 4 + expected_tail.size());
  EXPECT_EQ(Lines(lines.begin() + 4, lines.end()), expected_tail);
  // Every line of an issue entry is red; the joint broadcast entry has no line of its own.
  EXPECT_EQ(RedLines(w),
            (Lines{L"Usuário não possui privilégios de administrador", Probe(refused) + L"Falha",
                   L"Socket Error # 10061", L"Connection refused.", Probe(unknown) + L"Falha",
                   L"Socket Error # 11001", L"Host not found.", Probe(refused) + L"Falha",
                   L"Socket Error # 10061", L"Connection refused.",
                   L"Não foi possível conectar ao FTP."}));

  HWND label = FindControl(w, ids::kLblResult);
  RECT before;
  GetClientRect(label, &before);
  Click(w, ids::kBtnNext);
  EXPECT_EQ(VisiblePage(w), 2);
  EXPECT_EQ(WindowText(label),
            L"Alguns impedimentos foram encontrados:\r\n"
            L"Usuário não possui privilégios de administrador\r\n"
            L"Não foi possível estabelecer conexão com os servidores de difusão.\r\n" +
                Probe(refused) +
                L"Falha\r\nSocket Error # 10061\r\nConnection refused.\r\n"
                L"Não foi possível conectar ao FTP.\r\n"
                L"\r\nPara maiores informações, envie o relatório para suporte@korvena.com.br");
  EXPECT_EQ(GetFocus(), FindControl(w, ids::kBtnExport));
  RECT after;
  GetClientRect(label, &after);
  EXPECT_GT(after.bottom, 8 * before.bottom) << "the label grows with its lines";
}

TEST_F(WindowTest, OneBroadcastServerDownIsReadyWithCloseFocused) {
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.run.targets.broadcast[0] = RefusedEndpoint();
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  ASSERT_TRUE(RunChecks(w));
  EXPECT_EQ(RedLines(w).size(), 3u);  // the probe line and the two lines of the error
  Click(w, ids::kBtnNext);
  EXPECT_EQ(WindowText(FindControl(w, ids::kLblResult)),
            L"O sistema está pronto para ser instalado.");
  EXPECT_EQ(GetFocus(), FindControl(w, ids::kBtnClose));
  Click(w, ids::kBtnClose);
  EXPECT_EQ(form->Handle(), nullptr);
  EXPECT_TRUE(recorded_->error_boxes.empty());
}

TEST_F(WindowTest, FiguresUseTheUsersDecimalSeparatorAndItsChanges) {
  // Run once more under a Portuguese locale by the test run, which then expects a comma.
  const char* expected = std::getenv("TRAVIK_EXPECTED_DECIMAL_SEPARATOR");
  const std::wstring separator = expected != nullptr ? Widen(expected) : L".";
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.run.host.decimal_separator = Narrow(UserDecimalSeparator());
  setup.run.host.total_memory = [] { return std::uint64_t{17179869184}; };  // 16 GiB
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(RunChecks(form->Handle()));
  const Lines lines = LogLines(form->Handle());
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[2], L"RAM: 15" + separator + L"99GB");
  EXPECT_EQ(lines[3], L"Espaço livre em disco: 99" + separator + L"97GB");
}

TEST_F(WindowTest, RegionalSettingsChangeIsReadAgainBeforeTheRun) {
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.window.read_decimal_separator = [] { return std::wstring(L","); };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  SendMessageW(form->Handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"));
  ASSERT_TRUE(RunChecks(form->Handle()));
  EXPECT_EQ(LogLines(form->Handle()).at(2), L"RAM: 8,00GB");
}

// The window answers while the run waits: it is never "not responding", shows the lines so far
// and keeps "Próximo" disabled until the end. Asks up to ten times, while the run waits; every
// question is answered, and at least `at_least` answers come while the run still waits (a window
// whose thread waits on the run answers only after it). Then `end_wait` (which may do nothing)
// and the run's end.
void ExpectAnswersWhileWaitingOnFtp(HWND w, int at_least, const std::function<void()>& end_wait) {
  // Windows calls a window that has not read its messages for 5 s not responding.
  constexpr UINT kAnswerLimitMs = 4 * 5000;
  Click(w, ids::kBtnStart);
  ASSERT_TRUE(PumpUntil([w] {
    const Lines lines = LogLines(w);
    return !lines.empty() && lines.back() == kFtpHeading;
  }));
  HWND next = FindControl(w, ids::kBtnNext);
  HWND log = FindControl(w, ids::kMList);
  const auto waiting = [&] { return !IsWindowEnabled(next) && LogLines(w).back() == kFtpHeading; };
  int answered_while_waiting = 0;
  for (int i = 0; i < 10 && waiting(); ++i) {
    // From another thread, as the system's hang detection asks.
    std::atomic<bool> returned{false};
    LRESULT sent = 0;
    std::thread asker([&] {
      DWORD_PTR result = 0;
      sent = SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerLimitMs, &result);
      returned = true;
    });
    PumpUntil([&] { return returned.load(); }, 2 * kAnswerLimitMs);
    asker.join();
    EXPECT_NE(sent, 0) << "question " << i << " was not answered";
    if (!waiting()) break;
    ++answered_while_waiting;
    EXPECT_FALSE(IsHungAppWindow(w));
    // The busy arrow over the window and over the log.
    SendMessageW(log, WM_SETCURSOR, reinterpret_cast<WPARAM>(log),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_APPSTARTING));
  }
  EXPECT_GE(answered_while_waiting, at_least);
  end_wait();
  ASSERT_TRUE(PumpUntil([next] { return IsWindowEnabled(next) != 0; }));
  EXPECT_EQ(LogLines(w).back(), kClosingBanner);
  SendMessageW(log, WM_SETCURSOR, reinterpret_cast<WPARAM>(log),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_APPSTARTING));
}

TEST_F(WindowTest, AnswersWhileASilentFtpServerIsAwaited) {
  // The server stays silent until the test has had its ten answers; then it goes away, which
  // ends the wait well before the read time-out.
  const std::vector<ScriptedFtpServer::Script> silent = {{"<silent>"}};
  std::optional<ScriptedFtpServer> ftp(std::in_place, silent, 120000);
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp->Port(), recorded_);
  setup.run.targets.ftp.read_timeout_ms = 60000;
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  ExpectAnswersWhileWaitingOnFtp(form->Handle(), 10, [&ftp] { ftp.reset(); });
  EXPECT_EQ(RedLines(form->Handle()), Lines{L"Não foi possível conectar ao FTP."});
}

TEST_F(WindowTest, AnswersWhileTheFtpConnectHangsAndFailsAfterItsTimeOut) {
  // Loopback only: a listener with a full backlog leaves the next connect hanging.
  test::Listener full = test::Listener::OnLoopback(0, 0);
  net::Socket waiting = net::Socket::OpenTcp();
  test::ConnectOnLoopback(waiting, full.Port());
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), full.Port(), recorded_);
  setup.run.targets.ftp.connect_timeout_ms =
      ProductTargets().ftp.connect_timeout_ms;  // the 40 slices
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  // The connect's own time-out ends the wait, however many answers fit into it.
  ExpectAnswersWhileWaitingOnFtp(form->Handle(), 1, [] {});
  EXPECT_EQ(RedLines(form->Handle()), Lines{L"Não foi possível conectar ao FTP."});
}

TEST_F(WindowTest, ClosingDuringTheRunEndsTheWindowAtOnce) {
  ScriptedFtpServer ftp({{"<silent>"}}, 20000);
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.run.targets.ftp.read_timeout_ms = 15000;
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  Click(w, ids::kBtnStart);
  ASSERT_TRUE(PumpUntil([w] {
    const Lines lines = LogLines(w);
    return !lines.empty() && lines.back() == kFtpHeading;
  }));
  EXPECT_FALSE(IsWindowEnabled(FindControl(w, ids::kBtnNext)));
  // The run is cancelled and joined while the window is destroyed: its waits end at their next
  // look, long before the FTP read time-out.
  SendMessageW(w, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_TRUE(recorded_->error_boxes.empty());
  EXPECT_EQ(recorded_->taskbar_busy, (std::vector<bool>{true, false}));
}

TEST_F(WindowTest, ARunThatMeetsTheUnexpectedShowsTheErrorAndNoVerdict) {
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.run.host.is_admin = []() -> bool { throw std::runtime_error("token query broke"); };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  Click(w, ids::kBtnStart);
  ASSERT_TRUE(PumpUntil([&] { return !recorded_->error_boxes.empty(); }));
  EXPECT_EQ(recorded_->error_boxes, std::vector<std::wstring>{L"token query broke"});
  // The log keeps what the run wrote before; a partial run has no verdict.
  const Lines lines = LogLines(w);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), L"--------- Iniciando verificação ---------");
  EXPECT_NE(lines.back(), L"--------- Verificação finalizada ---------");
  EXPECT_FALSE(IsWindowEnabled(FindControl(w, ids::kBtnNext)));
  EXPECT_EQ(recorded_->taskbar_busy, (std::vector<bool>{true, false}));
  EXPECT_TRUE(IsWindow(w)) << "the window stays open";
}

TEST_F(WindowTest, RealFtpServerRejectingTheTestLoginCountsAsReached) {
  // tests/ftp/with_vsftpd.sh starts vsftpd on loopback and names its port.
  const char* port = std::getenv("TRAVIK_FTP_PORT");
  if (port == nullptr) GTEST_SKIP() << "no vsftpd started for this run";
  ProgramSetup setup =
      LoopbackSetup(accepting_.Endpoint(), static_cast<std::uint16_t>(std::atoi(port)), recorded_);
  setup.run.targets.ftp.read_timeout_ms = ProductTargets().ftp.read_timeout_ms;
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(RunChecks(form->Handle()));
  const Lines lines = LogLines(form->Handle());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], L"Conexão FTP estabelecida.");
}

}  // namespace
}  // namespace travik::test
