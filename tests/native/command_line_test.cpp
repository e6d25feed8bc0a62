// The command line's grammar: every spelling it accepts, every mistake it refuses and how the
// message names it.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace travik::cli {
namespace {

using Args = std::vector<std::wstring>;

Request Report(std::wstring path) {
  Request r;
  r.report = std::move(path);
  return r;
}
Request Json(std::wstring path) {
  Request r;
  r.json = std::move(path);
  return r;
}
Request Csv(std::wstring path) {
  Request r;
  r.csv = std::move(path);
  return r;
}
Request Help() {
  Request r;
  r.help = true;
  return r;
}
Request Version() {
  Request r;
  r.version = true;
  return r;
}

std::wstring Describe(const Args& args) {
  std::wstring text;
  for (const std::wstring& a : args) text += L"[" + a + L"] ";
  return text;
}

TEST(CommandLine, AcceptedSpellings) {
  Request both = Report(L"C:\\Relatórios\\pc 01.rtf");
  both.json = L"-";
  Request all_three = Csv(L"\\\\servidor\\pasta\\travik.csv");
  all_three.report = L"r.rtf";
  all_three.json = L"-";
  Request help_and_json = Json(L"r.json");
  help_and_json.help = true;
  struct Case {
    Args args;
    Request expected;
  };
  const Case cases[] = {
      {{}, Request{}},
      {{L"/report", L"r.rtf"}, Report(L"r.rtf")},
      {{L"/report:r.rtf"}, Report(L"r.rtf")},
      {{L"/REPORT=r.rtf"}, Report(L"r.rtf")},
      {{L"-Report", L"r.rtf"}, Report(L"r.rtf")},
      {{L"--report", L"r.rtf"}, Report(L"r.rtf")},
      {{L"--report=r.rtf"}, Report(L"r.rtf")},
      {{L"-report:r.rtf"}, Report(L"r.rtf")},
      // The value is split off at the first ":" or "=", so a drive letter or "=" stays in it.
      {{L"/report:C:\\a=b\\r.rtf"}, Report(L"C:\\a=b\\r.rtf")},
      {{L"/json=-"}, Json(L"-")},
      {{L"/json", L"-"}, Json(L"-")},
      // The argument after an option that takes a value is its value, whatever it looks like.
      {{L"/json", L"/tmp/r.json"}, Json(L"/tmp/r.json")},
      {{L"/json", L"--report"}, Json(L"--report")},
      {{L"/JSon", L"C:\\Dados do usuário\\resultado ção.json"},
       Json(L"C:\\Dados do usuário\\resultado ção.json")},
      {{L"/report", L"C:\\Relatórios\\pc 01.rtf", L"--JSON", L"-"}, both},
      {{L"/csv", L"\\\\servidor\\pasta\\travik.csv"}, Csv(L"\\\\servidor\\pasta\\travik.csv")},
      {{L"--CSV=C:\\Frota\\máquinas;1.csv"}, Csv(L"C:\\Frota\\máquinas;1.csv")},
      {{L"-csv:-"}, Csv(L"-")},  // a file named "-": a row is appended, never printed
      {{L"/Csv", L"\\\\servidor\\pasta\\travik.csv", L"/report", L"r.rtf", L"/json", L"-"},
       all_three},
      {{L"/?"}, Help()},
      {{L"-?"}, Help()},
      {{L"/h"}, Help()},
      {{L"/H"}, Help()},
      {{L"--help"}, Help()},
      {{L"-HELP"}, Help()},
      {{L"/json:r.json", L"/?"}, help_and_json},
      {{L"/version"}, Version()},
      {{L"-Version"}, Version()},
      {{L"--VERSION"}, Version()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Describe(c.args));
    const auto parsed = ParseArguments(c.args);
    ASSERT_TRUE(std::holds_alternative<Request>(parsed)) << std::get<UsageError>(parsed).message;
    EXPECT_EQ(std::get<Request>(parsed), c.expected);
    EXPECT_EQ(std::get<Request>(parsed).Unattended(),
              c.expected.report || c.expected.json || c.expected.csv);
  }
}

TEST(CommandLine, MistakesAreRefusedNamingTheOptionAsWritten) {
  struct Case {
    Args args;
    std::wstring message;
  };
  const std::wstring json_value = L"o caminho do arquivo JSON, ou - para a saída padrão.";
  const Case cases[] = {
      {{L"/foo"}, L"Opção desconhecida: \"/foo\"."},
      {{L"--Reports=r.rtf"}, L"Opção desconhecida: \"--Reports\"."},
      {{L"/rep", L"r.rtf"}, L"Opção desconhecida: \"/rep\"."},  // no abbreviations
      {{L"--"}, L"Opção desconhecida: \"--\"."},
      {{L"/"}, L"Opção desconhecida: \"/\"."},
      {{L"/tmp/r.json"}, L"Opção desconhecida: \"/tmp/r.json\"."},
      {{L"/report"}, L"A opção \"/report\" precisa de um valor: o caminho do arquivo RTF."},
      {{L"/csv"}, L"A opção \"/csv\" precisa de um valor: o caminho do arquivo CSV."},
      {{L"/CSV="}, L"A opção \"/CSV\" precisa de um valor: o caminho do arquivo CSV."},
      {{L"/csv", L"a.csv", L"--csv", L"b.csv"}, L"A opção \"--csv\" foi dada mais de uma vez."},
      {{L"/csvs", L"a.csv"}, L"Opção desconhecida: \"/csvs\"."},
      {{L"/json", L"-", L"--json"}, L"A opção \"--json\" foi dada mais de uma vez."},
      {{L"/json:"}, L"A opção \"/json\" precisa de um valor: " + json_value},
      {{L"/Json", L""}, L"A opção \"/Json\" precisa de um valor: " + json_value},
      {{L"r.rtf"}, L"Argumento inesperado: \"r.rtf\"."},
      {{L"-"}, L"Argumento inesperado: \"-\"."},
      {{L""}, L"Argumento inesperado: \"\"."},
      {{L"/report", L"a.rtf", L"b.rtf"}, L"Argumento inesperado: \"b.rtf\"."},
      {{L"/report", L"a.rtf", L"/REPORT:b.rtf"}, L"A opção \"/REPORT\" foi dada mais de uma vez."},
      {{L"/?", L"/help"}, L"A opção \"/help\" foi dada mais de uma vez."},  // one option, two names
      {{L"/help:yes"}, L"A opção \"/help\" não aceita valor."},
      {{L"/?=1"}, L"A opção \"/?\" não aceita valor."},
      {{L"/version:2"}, L"A opção \"/version\" não aceita valor."},
      {{L"/version", L"--version"}, L"A opção \"--version\" foi dada mais de uma vez."},
      {{L"/ver"}, L"Opção desconhecida: \"/ver\"."},
      {{L"/foo", L"/report"}, L"Opção desconhecida: \"/foo\"."},  // the first mistake is named
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Describe(c.args));
    const auto parsed = ParseArguments(c.args);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_EQ(std::get<UsageError>(parsed).message, c.message);
  }
}

// The numbers deployment tools read.
TEST(CommandLine, ExitCodes) {
  struct Case {
    bool ready;
    bool written;
    int code;
  };
  const Case cases[] = {
      {true, true, 0},
      {false, true, 1},
      {true, false, 2},
      {false, false, 2},  // a file not written outweighs the impediments
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunExitCode(c.ready, c.written), c.code) << c.ready << c.written;
  }
}

TEST(CommandLine, UsageNamesTheVersionEveryOptionAndExitCode) {
  const std::wstring usage = UsageText(L"1.1.0+g1a2b3c4");
  EXPECT_TRUE(usage.starts_with(L"TRAVIK 1.1.0+g1a2b3c4: ")) << usage;
  for (const wchar_t* word : {L"/report", L"/json", L"/csv", L"/?", L"/h", L"/help", L"/version",
                              L"\"-\"", L"  0  ", L"  1  ", L"  2  "}) {
    EXPECT_NE(usage.find(word), std::wstring::npos) << word;
  }
  EXPECT_EQ(VersionText(L"1.1.0"), L"TRAVIK 1.1.0");
}

}  // namespace
}  // namespace travik::cli
