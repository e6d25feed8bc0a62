#include "core/check_run.h"

#include <limits>
#include <optional>
#include <utility>

#include "core/parallel_probes.h"
#include "platform/error.h"
#include "platform/gb_figure.h"
#include "platform/socket.h"

namespace travik::core {
namespace {

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

CheckRun::CheckRun(const RunInputs& inputs, const ProbeClients& clients, LogSink& sink,
                   std::stop_token stop)
    : inputs_(inputs), clients_(clients), sink_(sink), stop_(std::move(stop)) {}

CheckRun::~CheckRun() {
  if (IdFTP1 != nullptr) IdFTP1->Disconnect();
}

bool CheckRun::Cancelled() const {
  return stop_.stop_requested();
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
  result_.os = inputs_.host.os;
  result_.os_line = OsDescriptionLine(inputs_.host.os);
  sink_.Clear();
  Append("--------- Iniciando verificação ---------");
  Append(result_.os_line);
  // Each step runs whatever the steps before it found; only abandoning the run stops it.
  const std::function<void()> host_checks[] = {
      [this] { CheckMemory(); },
      [this] { CheckDiskSpace(); },
      [this] { CheckAdministrator(); },
  };
  for (const auto& check : host_checks) {
    if (Cancelled()) return std::move(result_);
    check();
  }
  if (Cancelled()) return std::move(result_);
  {
    // Every probe starts now; the log takes their outcomes in its fixed order.
    IdFTP1 = clients_.ftp();
    ParallelProbes probes(inputs_.targets, clients_, *IdFTP1, stop_);
    CheckBroadcastServers(probes);
    if (!Cancelled()) CheckInternationalServers(probes);
    if (!Cancelled()) CheckFtpServer(probes);
  }  // every probe's thread is joined here
  if (Cancelled()) return std::move(result_);
  Append("--------- Verificação finalizada ---------");
  result_.completed = true;
  return std::move(result_);
}

void CheckRun::CheckMemory() {
  const std::uint64_t total = inputs_.host.total_memory ? inputs_.host.total_memory() : 0;
  result_.memory = Measure(total, kMinimumMemoryGb, inputs_.host.decimal_separator);
  Append("RAM: " + result_.memory.shown + "GB");
  if (!result_.memory.ok) AddIssue("Memória RAM inferior à recomendada (2GB).", true);
}

void CheckRun::CheckDiskSpace() {
  const std::int64_t free = inputs_.host.free_disk ? inputs_.host.free_disk() : -1;
  result_.disk = Measure(free, kMinimumDiskGb, inputs_.host.decimal_separator);
  Append("Espaço livre em disco: " + result_.disk.shown + "GB");
  if (!result_.disk.ok) AddIssue("Espaço em disco insuficiente. Mínimo exigido: 1GB.", true);
}

bool CheckRun::IsUserAdmin() {
  return inputs_.host.is_admin && inputs_.host.is_admin();
}

void CheckRun::CheckAdministrator() {
  result_.administrator = IsUserAdmin();
  if (result_.administrator) {
    Append("Usuário possui privilégios de administrador");
  } else {
    AddIssue("Usuário não possui privilégios de administrador", true);
  }
}

void CheckRun::CheckBroadcastServers(ParallelProbes& probes) {
  Append(">>> Teste de conexão com difusores");
  const bool first = TestConnection(probes, 0, ProbeGroup::kBroadcast, false);
  if (Cancelled()) return;
  const bool second = TestConnection(probes, 1, ProbeGroup::kBroadcast, false);
  if (!first && !second && !Cancelled()) {
    // Only the loss of both is an impediment; it has no line of its own in the log.
    result_.errors.push_back("Não foi possível estabelecer conexão com os servidores de difusão.");
  }
}

void CheckRun::CheckInternationalServers(ParallelProbes& probes) {
  Append(">>> Teste de conexão internacional");
  for (std::size_t i = NetworkTargets::kBroadcast; i < NetworkTargets::kTcpEndpoints; ++i) {
    if (Cancelled()) return;
    TestConnection(probes, i, ProbeGroup::kInternational, true);
  }
}

bool CheckRun::TestConnection(ParallelProbes& probes, std::size_t index, ProbeGroup group,
                              bool primary) {
  const NetworkEndpoint& endpoint = inputs_.targets.Tcp(index);
  const std::string probe_line = ProbeLine(endpoint);
  // The line shows once every line before it has its outcome, and takes its own as soon as it
  // is in (at once when it already is).
  Append(probe_line);
  const std::optional<TcpProbeOutcome> outcome = probes.AwaitTcp(index);
  if (!outcome) return false;  // an abandoned run writes nothing more
  const std::string text = probe_line + (outcome->ok ? "OK" : "Falha");
  if (outcome->ok) {
    ReplaceLast({text, false});
  } else if (outcome->message) {
    ReplaceProbeLineWithIssue(text + "\r" + *outcome->message, primary);
  } else {
    ReplaceProbeLineWithIssue(text, primary);
  }
  result_.probes.push_back(
      {group, endpoint.host, endpoint.port, outcome->ok, outcome->error, outcome->elapsed_ms});
  return outcome->ok;
}

void CheckRun::CheckFtpServer(ParallelProbes& probes) {
  Append(">>> Verificando conexão com servidor FTP");
  const std::optional<FtpProbeOutcome> outcome = probes.AwaitFtp();
  if (!outcome) return;
  const net::FtpSettings& settings = inputs_.targets.ftp;
  FtpProbeResult ftp{settings.host,  settings.port,      FtpOutcome::kLoggedIn, {},
                     outcome->error, outcome->elapsed_ms};
  if (!outcome->error) {
    // A login that succeeds writes nothing; its connection stays open.
    if (outcome->login)
      ftp.reply = ReplyInfo(outcome->login->code, net::ReplyText(*outcome->login));
  } else {
    if (outcome->reply_code) ftp.reply = ReplyInfo(*outcome->reply_code, *outcome->error);
    // The server's rejection of the test login shows that it was reached and answered.
    if (net::IsLoginRejection(*outcome->error)) {
      ftp.outcome = FtpOutcome::kLoginRejected;
      Append("Conexão FTP estabelecida.");
    } else {
      ftp.outcome = FtpOutcome::kFailed;
      AddIssue("Não foi possível conectar ao FTP.", true);
    }
  }
  result_.ftp = std::move(ftp);
}

std::string VerdictText(const std::vector<std::string>& errors,
                        const std::string& support_address) {
  if (errors.empty()) return "O sistema está pronto para ser instalado.";
  std::string text = "Alguns impedimentos foram encontrados:\r";
  for (const std::string& entry : errors) text += entry + "\r";
  text += "\rPara maiores informações, envie o relatório para " + support_address;
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
