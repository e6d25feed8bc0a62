#include "app/command_line.h"

#include <array>
#include <string_view>

#include "core/result_json.h"

namespace travik::cli {
namespace {

enum class Option { kReport, kJson, kCsv, kHelp, kVersion };

struct OptionRule {
  Option option;
  std::array<std::wstring_view, 3> names;  // unused entries empty
  // What the value is, for the message when it is missing; null for an option without one.
  const wchar_t* value;
};

constexpr OptionRule kOptions[] = {
    {Option::kReport, {L"report"}, L"o caminho do arquivo RTF"},
    {Option::kJson, {L"json"}, L"o caminho do arquivo JSON, ou - para a saída padrão"},
    {Option::kCsv, {L"csv"}, L"o caminho do arquivo CSV"},
    {Option::kHelp, {L"?", L"h", L"help"}, nullptr},
    {Option::kVersion, {L"version"}, nullptr},
};

wchar_t FoldAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

const OptionRule* FindOption(std::wstring_view name) {
  for (const OptionRule& rule : kOptions) {
    for (std::wstring_view known : rule.names) {
      if (!known.empty() && SameName(name, known)) return &rule;
    }
  }
  return nullptr;
}

// How many characters of `argument` mark it as an option: 0 for anything else. A lone "-" is
// not an option (it stands for standard output where a value is expected).
std::size_t PrefixLength(std::wstring_view argument) {
  if (argument.starts_with(L"--")) return 2;
  if (argument.size() > 1 && argument[0] == L'-') return 1;
  if (argument.starts_with(L"/")) return 1;
  return 0;
}

UsageError Quoted(const std::wstring& before, const std::wstring& what, const std::wstring& after) {
  return {before + L"\"" + what + L"\"" + after};
}

}  // namespace

std::variant<Request, UsageError> ParseArguments(const std::vector<std::wstring>& arguments) {
  Request request;
  std::array<bool, std::size(kOptions)> seen{};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    const std::size_t prefix = PrefixLength(argument);
    if (prefix == 0) return Quoted(L"Argumento inesperado: ", argument, L".");
    const std::wstring_view body = std::wstring_view(argument).substr(prefix);
    const std::size_t separator = body.find_first_of(L":=");
    const std::wstring written = argument.substr(0, prefix + body.substr(0, separator).size());
    const OptionRule* rule = FindOption(body.substr(0, separator));
    if (rule == nullptr) return Quoted(L"Opção desconhecida: ", written, L".");
    bool& given = seen[static_cast<std::size_t>(rule - kOptions)];
    if (given) return Quoted(L"A opção ", written, L" foi dada mais de uma vez.");
    given = true;

    std::optional<std::wstring> value;
    if (separator != std::wstring_view::npos) value = std::wstring(body.substr(separator + 1));
    if (rule->value == nullptr) {
      if (value) return Quoted(L"A opção ", written, L" não aceita valor.");
      (rule->option == Option::kHelp ? request.help : request.version) = true;
      continue;
    }
    if (!value && i + 1 < arguments.size()) value = arguments[++i];
    if (!value || value->empty()) {
      return Quoted(L"A opção ", written,
                    std::wstring(L" precisa de um valor: ") + rule->value + L".");
    }
    std::optional<std::wstring>& path = rule->option == Option::kReport ? request.report
                                        : rule->option == Option::kJson ? request.json
                                                                        : request.csv;
    path = std::move(*value);
  }
  return request;
}

std::wstring VersionText(const std::wstring& version) {
  const std::string_view name = core::kToolName;  // ASCII
  return std::wstring(name.begin(), name.end()) + L" " + version;
}

std::wstring UsageText(const std::wstring& version) {
  return VersionText(version) +
         L": verificação de pré-requisitos da plataforma KORVENA DUVIVER.\n"
         L"\n"
         L"  travik.exe                          abre o assistente\n"
         L"  travik.exe [/report ARQUIVO] [/json ARQUIVO] [/csv ARQUIVO]\n"
         L"                                      verifica sem janela e grava o resultado\n"
         L"\n"
         L"  /report ARQUIVO   grava o relatório em Rich Text Format, como \"Exportar\"\n"
         L"  /json ARQUIVO     grava o resultado em JSON (UTF-8); \"-\" escreve na saída padrão\n"
         L"  /csv ARQUIVO      acrescenta uma linha com o resultado a uma tabela CSV, que vários\n"
         L"                    PCs podem gravar ao mesmo tempo (\\\\servidor\\pasta\\travik.csv)\n"
         L"  /?, /h, /help     mostra este texto\n"
         L"  /version          mostra a versão\n"
         L"\n"
         L"As opções começam com /, - ou --; o valor vem a seguir ou depois de \":\" ou \"=\"\n"
         L"(/json:resultado.json, --json=resultado.json).\n"
         L"\n"
         L"Código de saída:\n"
         L"  0  a verificação não encontrou impedimentos\n"
         L"  1  a verificação encontrou impedimentos\n"
         L"  2  linha de comando inválida, ou um arquivo pedido não pôde ser gravado\n";
}

}  // namespace travik::cli
