// The wizard window: start-up state, the check run's log and issue lists, the verdict.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "../native/scripted_ftp_server.h"
#include "gui_test_support.h"
#include "platform/gb_figure.h"
#include "platform/host_windows.h"
#include "toolkit/dpi.h"
#include "toolkit/text.h"

#include <cstdlib>

namespace travik::test {
namespace {

using Control = TFrmTravik::Control;
using Lines = std::vector<std::wstring>;

const std::vector<std::string> kLoginRejected = {"220 Ready", "220 Host ok", "331 Password",
                                                 "530 Login incorrect."};

std::wstring Probe(const NetworkEndpoint& e) {
  return L"Testando conexão em " + std::wstring(e.host.begin(), e.host.end()) + L":" +
         std::to_wstring(e.port) + L"...";
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
  EXPECT_EQ(WindowText(form->Handle()), L"TRAVIK");
  EXPECT_EQ(form->CurrentPage(), 0);  // although the layout is stored with the last page
  EXPECT_TRUE(IsWindowVisible(form->ControlHandle(Control::btnStart)));
  EXPECT_FALSE(IsWindowVisible(form->ControlHandle(Control::btnNext)));
  EXPECT_FALSE(IsWindowEnabled(form->ControlHandle(Control::btnNext)));
  EXPECT_TRUE(form->Errors().empty());
  EXPECT_TRUE(form->SecondaryErrors().empty());
  EXPECT_EQ(LogLines(*form), Lines{L"mList"});
  EXPECT_EQ(WindowText(form->ControlHandle(Control::Label1)),
            L"Verificador de dependências para instalação da plataforma KORVENA DUVIVER");
  EXPECT_EQ(WindowText(form->ControlHandle(Control::btnStart)), L"COMEÇAR");
  RECT client;
  GetClientRect(form->Handle(), &client);
  const int dpi = static_cast<int>(WindowDpi(form->Handle()));
  EXPECT_EQ(client.right, MulDiv(558, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(270, dpi, 96));
}

TEST_F(WindowTest, ControlsKeepTheirPlacesAndTheStripsFollowTheWindow) {
  ScriptedFtpServer ftp({});
  auto form = OpenWindow(LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  const int dpi = static_cast<int>(WindowDpi(form->Handle()));
  auto s = [dpi](int v) { return MulDiv(v, dpi, 96); };
  auto rect_in_parent = [](HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  RECT r = rect_in_parent(form->ControlHandle(Control::btnStart));
  EXPECT_EQ(r.left, s(240));
  EXPECT_EQ(r.top, s(216));
  EXPECT_EQ(r.right - r.left, s(97));
  EXPECT_EQ(r.bottom - r.top, s(34));
  r = rect_in_parent(form->ControlHandle(Control::btnNext));
  EXPECT_EQ(r.left, s(479));
  EXPECT_EQ(r.top, s(5));
  r = rect_in_parent(form->ControlHandle(Control::mList));
  EXPECT_EQ(r.right - r.left, s(558));
  EXPECT_EQ(r.bottom - r.top, s(235));

  RECT window;
  GetWindowRect(form->Handle(), &window);
  SetWindowPos(form->Handle(), nullptr, 0, 0, window.right - window.left + 100,
               window.bottom - window.top + 50, SWP_NOMOVE | SWP_NOZORDER);
  r = rect_in_parent(form->ControlHandle(Control::mList));
  EXPECT_EQ(r.right - r.left, s(558) + 100);
  EXPECT_EQ(r.bottom - r.top, s(235) + 50);
  r = rect_in_parent(form->ControlHandle(Control::Panel1));
  EXPECT_EQ(r.top, s(235) + 50);
  r = rect_in_parent(form->ControlHandle(Control::btnClose));
  EXPECT_EQ(r.left, s(456));
  EXPECT_EQ(r.top, s(232));
}

TEST_F(WindowTest, RunWithEverythingInOrderLogsPlainLinesOnly) {
  ScriptedFtpServer ftp({kLoginRejected});
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  const std::wstring probe = Probe(accepting_.Endpoint());
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);

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
      L">>> Verificando conexão com servidor FTP",
      L"Conexão FTP estabelecida.",
      L"--------- Verificação finalizada ---------",
  };
  EXPECT_EQ(LogLines(*form), expected);
  for (const RichLog::ColouredLine& line : form->Log().Lines()) {
    SCOPED_TRACE(line.text);
    EXPECT_TRUE(line.uniform);
    EXPECT_EQ(line.colour, RGB(255, 255, 255));
  }
  EXPECT_TRUE(form->Errors().empty());
  EXPECT_TRUE(form->SecondaryErrors().empty());
  EXPECT_EQ(form->CurrentPage(), 1);
  EXPECT_TRUE(IsWindowEnabled(form->ControlHandle(Control::btnNext)));
  EXPECT_EQ(GetFocus(), form->ControlHandle(Control::btnNext));
  ftp.Join();
  ASSERT_EQ(ftp.Commands().size(), 1u);
  EXPECT_EQ(ftp.Commands()[0][1], "USER qzvk");
}

TEST_F(WindowTest, EveryProbeClosesItsConnection) {
  ScriptedFtpServer ftp({kLoginRejected});
  net::Listener listener = net::Listener::OnLoopback(0, 16);
  auto form = OpenWindow(LoopbackSetup({"127.0.0.1", listener.Port()}, ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);
  // The six connections wait in the backlog; each must already be closed by the client.
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    net::Socket accepted = listener.Accept(5000);
    ASSERT_TRUE(accepted.Valid());
    ASSERT_TRUE(accepted.WaitReadable(5000));
    char byte;
    EXPECT_EQ(accepted.Receive(&byte, 1), 0u);
  }
  EXPECT_FALSE(listener.Accept(0).Valid());
}

TEST_F(WindowTest, FailedHostChecksAreRedImpedimentsInOrder) {
  ScriptedFtpServer ftp({kLoginRejected});
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.total_memory = [] { return std::uint64_t{2147483648}; };  // 2 GiB: shown 2.00, too little
  setup.free_disk = [] { return std::int64_t{-1}; };              // the query failed
  setup.is_admin = [] { return false; };
  setup.decimal_separator = L",";
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);

  const Lines lines = LogLines(*form);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(Lines(lines.begin() + 2, lines.begin() + 8),
            (Lines{L"RAM: 2,00GB", L"Memória RAM inferior à recomendada (2GB).",
                   L"Espaço livre em disco: 0,00GB",
                   L"Espaço em disco insuficiente. Mínimo exigido: 1GB.",
                   L"Usuário não possui privilégios de administrador",
                   L">>> Teste de conexão com difusores"}));
  const Lines issues = {L"Memória RAM inferior à recomendada (2GB).",
                        L"Espaço em disco insuficiente. Mínimo exigido: 1GB.",
                        L"Usuário não possui privilégios de administrador"};
  EXPECT_EQ(RedLines(*form), issues);
  EXPECT_EQ(form->Errors(), issues);
  EXPECT_TRUE(form->SecondaryErrors().empty());
}

TEST_F(WindowTest, NetworkFailuresGoToTheirListsWithTheSocketWording) {
  ScriptedFtpServer ftp({{"220 Ready", "220 Host ok", "331 Password", "530 User cannot log in."}});
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  const NetworkEndpoint refused = RefusedEndpoint();
  const NetworkEndpoint unknown = UnknownHostEndpoint();
  // A peer that accepts and has closed again, without sending, by the time the probe looks.
  net::Listener closing = net::Listener::OnLoopback();
  const NetworkEndpoint closed{"127.0.0.1", closing.Port()};
  setup.broadcast = {refused, unknown};
  setup.international = {accepting_.Endpoint(), refused, closed, accepting_.Endpoint()};
  int probes = 0;
  setup.before_open_check = [&] {
    if (++probes != 5) return;
    net::Socket peer = closing.Accept(5000);
    peer.Close();
    Sleep(100);  // loopback delivers the close well within this
  };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);

  const std::wstring refused_entry = Probe(refused) +
                                     L"Falha\rSocket Error # 10061\r\n"
                                     L"Connection refused.";
  const std::wstring unknown_entry = Probe(unknown) +
                                     L"Falha\rSocket Error # 11001\r\n"
                                     L"Host not found.";
  const std::wstring closed_entry = Probe(closed) + L"Falha";
  EXPECT_EQ(form->SecondaryErrors(), (Lines{refused_entry, unknown_entry}));
  EXPECT_EQ(form->Errors(),
            (Lines{L"Não foi possível estabelecer conexão com os servidores de difusão.",
                   refused_entry, closed_entry, L"Não foi possível conectar ao FTP."}));
  const Lines expected_tail = {
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
      closed_entry,
      Probe(accepting_.Endpoint()) + L"OK",
      L">>> Verificando conexão com servidor FTP",
      L"Não foi possível conectar ao FTP.",
      L"--------- Verificação finalizada ---------",
  };
  const Lines lines = LogLines(*form);
  ASSERT_EQ(lines.size(), 5 + expected_tail.size());
  EXPECT_EQ(Lines(lines.begin() + 5, lines.end()), expected_tail);
  // Every line of an issue entry is red; the joint broadcast entry has no line of its own.
  EXPECT_EQ(RedLines(*form),
            (Lines{Probe(refused) + L"Falha", L"Socket Error # 10061", L"Connection refused.",
                   Probe(unknown) + L"Falha", L"Socket Error # 11001", L"Host not found.",
                   Probe(refused) + L"Falha", L"Socket Error # 10061", L"Connection refused.",
                   closed_entry, L"Não foi possível conectar ao FTP."}));
}

TEST_F(WindowTest, OneBroadcastServerDownIsOnlyASecondaryError) {
  ScriptedFtpServer ftp({kLoginRejected});
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  const NetworkEndpoint refused = RefusedEndpoint();
  setup.broadcast[0] = refused;
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);
  EXPECT_TRUE(form->Errors().empty());
  ASSERT_EQ(form->SecondaryErrors().size(), 1u);
  EXPECT_EQ(RedLines(*form).size(), 3u);  // the probe line and the two lines of the error

  Click(*form, Control::btnNext);
  EXPECT_EQ(form->CurrentPage(), 2);
  EXPECT_EQ(form->ResultText(), L"O sistema está pronto para ser instalado.");
  EXPECT_EQ(GetFocus(), form->ControlHandle(Control::btnClose));
}

TEST_F(WindowTest, VerdictListsTheImpedimentsEvenThoseTheLogNeverShowed) {
  ScriptedFtpServer ftp({kLoginRejected});
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  const NetworkEndpoint refused = RefusedEndpoint();
  setup.broadcast = {refused, refused};
  setup.is_admin = [] { return false; };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);
  HWND label = form->ControlHandle(Control::lblResult);
  RECT before;
  GetClientRect(label, &before);
  Click(*form, Control::btnNext);

  EXPECT_EQ(form->ResultText(),
            L"Alguns impedimentos foram encontrados:\r"
            L"Usuário não possui privilégios de administrador\r"
            L"Não foi possível estabelecer conexão com os servidores de difusão.\r"
            L"\rPara maiores informações, envie o relatório para suporte@korvena.com.br");
  EXPECT_EQ(GetFocus(), form->ControlHandle(Control::btnExport));
  // The label grows with its five lines.
  RECT after;
  GetClientRect(label, &after);
  EXPECT_GT(after.bottom, 4 * before.bottom);
}

TEST_F(WindowTest, NothingFoundSaysReadyAndCloseEndsTheWindow) {
  ScriptedFtpServer ftp({kLoginRejected});
  auto form = OpenWindow(LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);
  Click(*form, Control::btnNext);
  EXPECT_EQ(form->ResultText(), L"O sistema está pronto para ser instalado.");
  EXPECT_EQ(WindowText(form->ControlHandle(Control::lblResult)),
            L"O sistema está pronto para ser instalado.");
  EXPECT_EQ(GetFocus(), form->ControlHandle(Control::btnClose));
  Click(*form, Control::btnClose);
  EXPECT_EQ(form->Handle(), nullptr);
  EXPECT_TRUE(recorded_->error_boxes.empty());
}

TEST_F(WindowTest, FiguresUseTheUsersDecimalSeparator) {
  // Run once more under a Portuguese locale by the test run, which then expects a comma.
  const char* expected = std::getenv("TRAVIK_EXPECTED_DECIMAL_SEPARATOR");
  const std::wstring separator = expected != nullptr ? Widen(expected) : L".";
  ScriptedFtpServer ftp({kLoginRejected});
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.decimal_separator = UserDecimalSeparator();
  setup.total_memory = [] { return std::uint64_t{17179869184}; };  // 16 GiB
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);
  const Lines lines = LogLines(*form);
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[2], L"RAM: 15" + separator + L"99GB");
  EXPECT_EQ(lines[3], L"Espaço livre em disco: 99" + separator + L"97GB");
}

// The FTP outcome is the line after its heading (and before the closing banner).
std::wstring FtpOutcome(const TFrmTravik& form) {
  const Lines lines = LogLines(form);
  return lines.size() >= 2 ? lines[lines.size() - 2] : L"";
}

TEST_F(WindowTest, FtpConnectThatHangsFailsAfterItsTimeOut) {
  // Loopback only: a listener with a full backlog leaves the next connect hanging.
  net::Listener full = net::Listener::OnLoopback(0, 0);
  net::Socket waiting = net::Socket::OpenTcp();
  waiting.Connect(net::ResolveIpv4("127.0.0.1"), full.Port());
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), full.Port(), recorded_);
  setup.ftp.connect_timeout_ms = ProductSetup().ftp.connect_timeout_ms;  // the 40 slices
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);
  EXPECT_EQ(FtpOutcome(*form), L"Não foi possível conectar ao FTP.");
  EXPECT_EQ(RedLines(*form), Lines{L"Não foi possível conectar ao FTP."});
  EXPECT_EQ(form->Errors(), Lines{L"Não foi possível conectar ao FTP."});
}

TEST_F(WindowTest, RealFtpServerRejectingTheTestLoginCountsAsReached) {
  // tests/ftp/with_vsftpd.sh starts vsftpd on loopback and names its port.
  const char* port = std::getenv("TRAVIK_FTP_PORT");
  if (port == nullptr) GTEST_SKIP() << "no vsftpd started for this run";
  TravikSetup setup =
      LoopbackSetup(accepting_.Endpoint(), static_cast<std::uint16_t>(std::atoi(port)), recorded_);
  setup.ftp.read_timeout_ms = ProductSetup().ftp.read_timeout_ms;
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  Click(*form, Control::btnStart);
  EXPECT_EQ(FtpOutcome(*form), L"Conexão FTP estabelecida.");
  EXPECT_TRUE(form->Errors().empty());
}

TEST_F(WindowTest, RegionalSettingsChangeIsReadAgain) {
  ScriptedFtpServer ftp({});
  TravikSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.read_decimal_separator = [] { return std::wstring(L","); };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  SendMessageW(form->Handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"intl"));
  EXPECT_EQ(form->DecimalSeparator(), L",");
}

}  // namespace
}  // namespace travik::test
