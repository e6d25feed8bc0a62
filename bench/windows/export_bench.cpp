// The report export: RichLog::SaveToFile (EM_STREAMOUT as RTF into a file) against writing the
// same bytes with plain CreateFileW/WriteFile. A RichEdit control set up like the window's log
// (Tahoma 8 pt, white) is filled with 10,000 lines of check-log text, a tenth of them issue lines
// in red and many with Portuguese accented letters. Filling is not timed.
//   export_bench.exe [runs]
#include <windows.h>

#include <richedit.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/windows/bench_figures.h"
#include "platform/error.h"
#include "platform/win_handles.h"
#include "toolkit/rich_log.h"

namespace {

using namespace travik;
using namespace travik::bench;

constexpr int kLines = 10000;
constexpr int kDefaultRuns = 15;
constexpr int kMaxRuns = 200;
constexpr COLORREF kIssueColour = RGB(255, 0, 0);

// Removes the file when it goes out of scope.
class TempFile {
 public:
  TempFile() {
    wchar_t directory[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, directory) == 0 ||
        GetTempFileNameW(directory, L"trx", 0, name) == 0) {
      throw Error("no temporary file name");
    }
    path_ = name;
  }
  ~TempFile() { DeleteFileW(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  [[nodiscard]] const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

std::string ReadWholeFile(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw Error("cannot open the exported file");
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) throw Error("cannot read the exported file's size");
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
      got != bytes.size()) {
    throw Error("cannot read the exported file");
  }
  return bytes;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw Error("cannot create the file");
  DWORD done = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
      done != bytes.size()) {
    throw Error("cannot write the file");
  }
}

// The log's text, in the shapes a check run writes, repeated.
const wchar_t* const kNormalLines[] = {
    L"--------- Iniciando verificação ---------",
    L"Windows 10 Pro 64-bit (Build 19045)",
    L"RAM: 8.00GB",
    L"Espaço livre em disco: 100.00GB",
    L"Usuário possui privilégios de administrador",
    L">>> Teste de conexão com difusores",
    L"Testando conexão em difusor1.korvena.com.br:81...OK",
    L"Testando conexão em difusor2.korvena.com.br:81...OK",
    L">>> Teste de conexão internacional",
    L"Testando conexão em srv1.feed.korvena.com.br:7500...OK",
    L"Testando conexão em srv2.feed.korvena.com.br:7500...OK",
    L"Testando conexão em feed.korvena.com.br:80...OK",
    L"Testando conexão em www.feed.korvena.com.br:80...OK",
    L">>> Verificando conexão com servidor FTP",
    L"Conexão FTP estabelecida.",
    L"--------- Verificação finalizada ---------",
};
const wchar_t* const kIssueLines[] = {
    L"Testando conexão em srv2.feed.korvena.com.br:7500...Falha",
    L"Não foi possível conectar ao FTP.",
    L"Memória RAM inferior à recomendada (2GB).",
    L"Espaço em disco insuficiente. Mínimo exigido: 1GB.",
    L"Usuário não possui privilégios de administrador",
};

void Fill(RichLog& log) {
  std::size_t normal = 0;
  std::size_t issue = 0;
  for (int i = 0; i < kLines; ++i) {
    if (i % 10 == 9) {
      log.Append(kIssueLines[issue++ % std::size(kIssueLines)], kIssueColour);
    } else {
      log.Append(kNormalLines[normal++ % std::size(kNormalLines)]);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<int> runs_asked = CountArgument(argc, argv, kDefaultRuns, kMaxRuns, "runs");
  if (!runs_asked) return 2;
  const int runs = *runs_asked;
  try {
    UniqueLibrary rich_edit(LoadLibraryW(L"msftedit.dll"));
    if (!rich_edit) throw Error("msftedit.dll could not be loaded");
    // A top-level control, never shown: the export does not depend on it being on screen.
    UniqueWindow control(CreateWindowExW(
        0, MSFTEDIT_CLASS, L"", WS_POPUP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 600,
        400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    if (!control) throw Error("the RichEdit control could not be created");
    SendMessageW(control.get(), EM_EXLIMITTEXT, 0, 64 * 1024 * 1024);

    RichLog log;
    log.Attach(control.get(), RGB(32, 32, 32));
    const Clock::time_point fill_start = Clock::now();
    Fill(log);
    const double fill_ms = MillisecondsBetween(fill_start, Clock::now());
    const int lines = static_cast<int>(SendMessageW(control.get(), EM_GETLINECOUNT, 0, 0));

    TempFile target;
    std::vector<double> save_ms;
    for (int i = 0; i < runs; ++i) {
      const Clock::time_point start = Clock::now();
      log.SaveToFile(target.Path());
      save_ms.push_back(MillisecondsBetween(start, Clock::now()));
    }
    const std::string bytes = ReadWholeFile(target.Path());
    std::vector<double> write_ms;
    for (int i = 0; i < runs; ++i) {
      const Clock::time_point start = Clock::now();
      WriteWholeFile(target.Path(), bytes);
      write_ms.push_back(MillisecondsBetween(start, Clock::now()));
    }

    const double save_median = Median(save_ms);
    const double write_median = Median(write_ms);
    std::printf("export    log of %d lines (filled in %.0f ms, not timed), RTF file %zu bytes\n",
                lines, fill_ms, bytes.size());
    std::printf("export    RichLog::SaveToFile             median %8.2f ms  (n=%d)\n", save_median,
                runs);
    std::printf("export    CreateFileW/WriteFile same bytes median %8.2f ms  (n=%d)\n",
                write_median, runs);
    std::printf("export    ratio SaveToFile / WriteFile: %.2f\n", Ratio(save_median, write_median));
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "export_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
