#include "core/check_run.h"

#include <chrono>
#include <limits>
#include <optional>

#include "platform/error.h"
#include "platform/gb_figure.h"
#include "platform/socket.h"

namespace travik::core {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// "Socket Error # 10061" CR LF "Connection refused." gives 10061 and "Connection refused.".
ProbeError ProbeErrorOf(const Error& error) {
  if (const auto* socket = dynamic_cast<const net::SocketError*>(&error)) {
    const std::string message = socket->Message();
    const std::size_t text = message.find("\r\n");
    return {socket->Code(), text == std::string::npos ? std::string() : message.substr(text + 2)};
  }
  return {0, error.Message()};
}

// The reply as the result keeps it: its error text without the final line end.
FtpReplyInfo ReplyInfo(int code, std::string text) {
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
    text.resize(text.size() - 2);
  }
  return {code, std::move(text)};
}

// `bytes` as the query gave it: the figure comes from its own value, the record keeps it as a
// signed count.
template <typename Bytes>
Measurement Measure(Bytes bytes, double minimum, const std::string& separator) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  Measurement m;
  m.bytes = static_cast<std::uint64_t>(bytes) > static_cast<std::uint64_t>(kMax) && bytes > 0
                ? kMax
                : static_cast<std::int64_t>(bytes);
  m.figure = ToGB(static_cast<double>(bytes));
  m.shown = FormatFixed2(m.figure, separator);
  m.minimum_gb = minimum;
  m.ok = MeetsMinimum(m.figure, minimum);
  return m;
}

std::string ProbeLine(const NetworkEndpoint& endpoint) {
  return "Testando conexão em " + endpoint.host + ":" + std::to_string(endpoint.port) + "...";
}

}  // namespace

CheckRun::CheckRun(const HostFacts& host, const NetworkTargets& targets, TcpProbeClient& tcp,
                   FtpProbeClient& ftp, LogSink& sink, const CancelFlag& cancel)
    : host_(host),
      targets_(targets),
      IdTCPClient1(tcp),
      IdFTP1(ftp),
      sink_(sink),
      cancel_(cancel) {}

bool CheckRun::Cancelled() const {
  return cancel_.load();
}

void CheckRun::Append(const std::string& text) {
  LogLine line{text, false};
  sink_.Append(line);
  result_.log.push_back(std::move(line));
}

void CheckRun::ReplaceLast(const LogLine& line) {
  sink_.ReplaceLast(line);
  result_.log.back() = line;
}

void CheckRun::AddIssue(const std::string& text, bool primary) {
  LogLine line{text, true};
  sink_.Append(line);
  result_.log.push_back(std::move(line));
  (primary ? result_.errors : result_.secondary_errors).push_back(text);
}

void CheckRun::ReplaceProbeLineWithIssue(const std::string& text, bool primary) {
  ReplaceLast({text, true});
  (primary ? result_.errors : result_.secondary_errors).push_back(text);
}

CheckResult CheckRun::Run() {
  result_ = {};
  result_.os = host_.os;
  result_.os_line = OsDescriptionLine(host_.os);
  sink_.Clear();
  Append("--------- Iniciando verificação ---------");
  Append(result_.os_line);
  // Each step runs whatever the steps before it found; only abandoning the run stops it.
  const std::function<void()> steps[] = {
      [this] { CheckMemory(); },
      [this] { CheckDiskSpace(); },
      [this] { CheckAdministrator(); },
      [this] { CheckBroadcastServers(); },
      [this] { CheckInternationalServers(); },
      [this] { CheckFtpServer(); },
  };
  for (const auto& step : steps) {
    if (Cancelled()) return std::move(result_);
    step();
  }
  if (Cancelled()) return std::move(result_);
  Append("--------- Verificação finalizada ---------");
  result_.completed = true;
  return std::move(result_);
}

void CheckRun::CheckMemory() {
  const std::uint64_t total = host_.total_memory ? host_.total_memory() : 0;
  result_.memory = Measure(total, kMinimumMemoryGb, host_.decimal_separator);
  Append("RAM: " + result_.memory.shown + "GB");
  if (!result_.memory.ok) AddIssue("Memória RAM inferior à recomendada (2GB).", true);
}

void CheckRun::CheckDiskSpace() {
  const std::int64_t free = host_.free_disk ? host_.free_disk() : -1;
  result_.disk = Measure(free, kMinimumDiskGb, host_.decimal_separator);
  Append("Espaço livre em disco: " + result_.disk.shown + "GB");
  if (!result_.disk.ok) AddIssue("Espaço em disco insuficiente. Mínimo exigido: 1GB.", true);
}

bool CheckRun::IsUserAdmin() {
  return host_.is_admin && host_.is_admin();
}

void CheckRun::CheckAdministrator() {
  result_.administrator = IsUserAdmin();
  if (result_.administrator) {
    Append("Usuário possui privilégios de administrador");
  } else {
    AddIssue("Usuário não possui privilégios de administrador", true);
  }
}

void CheckRun::CheckBroadcastServers() {
  Append(">>> Teste de conexão com difusores");
  const bool first = TestConnection(targets_.broadcast[0], ProbeGroup::kBroadcast, false);
  if (Cancelled()) return;
  const bool second = TestConnection(targets_.broadcast[1], ProbeGroup::kBroadcast, false);
  if (!first && !second && !Cancelled()) {
    // Only the loss of both is an impediment; it has no line of its own in the log.
    result_.errors.push_back("Não foi possível estabelecer conexão com os servidores de difusão.");
  }
}

void CheckRun::CheckInternationalServers() {
  Append(">>> Teste de conexão internacional");
  for (const NetworkEndpoint& endpoint : targets_.international) {
    if (Cancelled()) return;
    TestConnection(endpoint, ProbeGroup::kInternational, true);
  }
}

bool CheckRun::TestConnection(const NetworkEndpoint& endpoint, ProbeGroup group, bool primary) {
  const std::string probe_line = ProbeLine(endpoint);
  Append(probe_line);
  TcpProbeResult probe{group, endpoint.host, endpoint.port, false, std::nullopt, 0};
  const Clock::time_point start = Clock::now();
  std::optional<std::string> message;
  try {
    IdTCPClient1.Connect(endpoint.host, endpoint.port, cancel_);
  } catch (const Error& e) {
    message = e.Message();
    probe.error = ProbeErrorOf(e);
  }
  if (Cancelled()) {
    // An abandoned run writes nothing more.
    IdTCPClient1.Disconnect();
    return false;
  }
  probe.ok = IdTCPClient1.Connected();
  if (probe.ok) probe.error.reset();
  const std::string text = probe_line + (probe.ok ? "OK" : "Falha");
  if (probe.ok) {
    ReplaceLast({text, false});
  } else if (message) {
    ReplaceProbeLineWithIssue(text + "\r" + *message, primary);
  } else {
    ReplaceProbeLineWithIssue(text, primary);
  }
  IdTCPClient1.Disconnect();
  probe.elapsed_ms = MillisecondsSince(start);
  result_.probes.push_back(std::move(probe));
  return result_.probes.back().ok;
}

void CheckRun::CheckFtpServer() {
  Append(">>> Verificando conexão com servidor FTP");
  FtpProbeResult ftp{targets_.ftp.host, targets_.ftp.port, FtpOutcome::kLoggedIn, {}, {}, 0};
  const Clock::time_point start = Clock::now();
  try {
    if (const std::optional<net::FtpReply> login = IdFTP1.Connect(targets_.ftp, cancel_)) {
      ftp.reply = ReplyInfo(login->code, net::ReplyText(*login));
    }
    // A login that succeeds writes nothing; its connection stays open.
  } catch (const Error& e) {
    ftp.error = e.Message();
    if (Cancelled()) return;
    if (const auto* rejected = dynamic_cast<const net::FtpReplyError*>(&e)) {
      ftp.reply = ReplyInfo(rejected->Code(), rejected->Message());
    }
    // The server's rejection of the test login shows that it was reached and answered.
    if (net::IsLoginRejection(e.Message())) {
      ftp.outcome = FtpOutcome::kLoginRejected;
      Append("Conexão FTP estabelecida.");
    } else {
      ftp.outcome = FtpOutcome::kFailed;
      AddIssue("Não foi possível conectar ao FTP.", true);
    }
  }
  ftp.elapsed_ms = MillisecondsSince(start);
  result_.ftp = std::move(ftp);
}

std::string VerdictText(const std::vector<std::string>& errors) {
  if (errors.empty()) return "O sistema está pronto para ser instalado.";
  std::string text = "Alguns impedimentos foram encontrados:\r";
  for (const std::string& entry : errors) text += entry + "\r";
  text += std::string("\rPara maiores informações, envie o relatório para ") + kSupportAddress;
  return text;
}

std::vector<std::string> ReportSections(const std::vector<std::string>& errors,
                                        const std::vector<std::string>& secondary_errors) {
  std::vector<std::string> lines;
  if (!errors.empty()) {
    lines.emplace_back(">>>Impedimentos encontrados:");
    lines.insert(lines.end(), errors.begin(), errors.end());
  }
  if (!secondary_errors.empty()) {
    lines.emplace_back(">>>Erros encontrados:");
    lines.insert(lines.end(), secondary_errors.begin(), secondary_errors.end());
  }
  return lines;
}

}  // namespace travik::core
