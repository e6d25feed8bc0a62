// "Exportar": the issue lists appended to the log under their headings, the log saved as RTF.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "../native/scripted_ftp_server.h"
#include "gui_test_support.h"
#include "platform/text.h"

namespace travik::test {
namespace {

using Lines = std::vector<std::wstring>;
namespace fs = std::filesystem;

const std::vector<std::string> kLoginRejected = {"220 Ready", "220 Host ok", "331 Password",
                                                 "530 Login incorrect."};

Lines Texts(const std::vector<ColouredLine>& lines) {
  Lines out;
  for (const auto& l : lines) out.push_back(l.text);
  return out;
}

class ExportTest : public testing::Test {
 protected:
  void SetUp() override { folder_ = NewTempFolder(L"travik-export-"); }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder_, ignored)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(folder_, ignored);
  }

  // Runs the check and shows the verdict.
  std::unique_ptr<TFrmTravik> RunToVerdict(ProgramSetup setup) {
    auto form = OpenWindow(std::move(setup));
    if (form) {
      EXPECT_TRUE(test::RunChecks(form->Handle()));
      Click(form->Handle(), ids::kBtnNext);
    }
    return form;
  }

  void ExportTo(const TFrmTravik& form, const fs::path& path) {
    recorded_->save_answer = path.wstring();
    Click(form.Handle(), ids::kBtnExport);
  }

  std::shared_ptr<Recorded> recorded_ = std::make_shared<Recorded>();
  AcceptingEndpoint accepting_;
  fs::path folder_;
};

TEST_F(ExportTest, WithNoIssuesTheReportIsTheRunsLog) {
  ScriptedFtpServer ftp({kLoginRejected});
  auto form = RunToVerdict(LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  const Lines log = LogLines(form->Handle());
  ExportTo(*form, folder_ / L"relatório.txt");  // a .txt name still gets Rich Text Format

  ASSERT_EQ(recorded_->save_dialogs.size(), 1u);
  EXPECT_EQ(recorded_->save_dialogs[0].file_name, L"");
  EXPECT_EQ(recorded_->save_dialogs[0].filter, L"Text File|*.txt");
  EXPECT_EQ(recorded_->save_dialogs[0].default_extension, L"*.txt");
  const std::string raw = ReadBytes(folder_ / L"relatório.txt");
  EXPECT_EQ(raw.rfind("{\\rtf", 0), 0u);
  EXPECT_NE(raw.find("Tahoma"), std::string::npos);
  EXPECT_NE(raw.find("\\fs16"), std::string::npos);  // 8 points
  // The log's background goes with the text, so white lines stay readable on paper.
  EXPECT_TRUE(raw.find("\\highlight") != std::string::npos ||
              raw.find("\\chcbpat") != std::string::npos);
  EXPECT_EQ(raw.find("\\b "), std::string::npos);  // regular weight
  EXPECT_EQ(Texts(ReadRtfFile(folder_ / L"relatório.txt")), log);
  EXPECT_TRUE(recorded_->error_boxes.empty());
}

TEST_F(ExportTest, AppendsBothListsUnderHeadingsAndAgainOnEachExport) {
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  const NetworkEndpoint refused = RefusedEndpoint();
  setup.run.targets.broadcast[1] = refused;
  setup.run.host.is_admin = [] { return false; };
  auto form = RunToVerdict(setup);
  ASSERT_NE(form, nullptr);
  const Lines run = LogLines(form->Handle());
  const std::wstring probe =
      L"Testando conexão em 127.0.0.1:" + std::to_wstring(refused.port) + L"...Falha";

  ExportTo(*form, folder_ / L"first.rtf");
  ExportTo(*form, folder_ / L"second.rtf");

  const Lines appended = {L">>>Impedimentos encontrados:",
                          L"Usuário não possui privilégios de administrador",
                          L">>>Erros encontrados:",
                          probe,  // the entry's line breaks make paragraphs of their own
                          L"Socket Error # 10061",
                          L"Connection refused."};
  Lines first = run;
  first.insert(first.end(), appended.begin(), appended.end());
  Lines second = first;
  second.insert(second.end(), appended.begin(), appended.end());
  const auto first_file = ReadRtfFile(folder_ / L"first.rtf");
  EXPECT_EQ(Texts(first_file), first);
  EXPECT_EQ(Texts(ReadRtfFile(folder_ / L"second.rtf")), second);
  EXPECT_EQ(LogLines(form->Handle()), second);  // the appended lines stay in the log

  // Issue lines are red in the file as on screen; the appended lines are written without a
  // colour of their own.
  for (std::size_t i = 0; i < first_file.size(); ++i) {
    SCOPED_TRACE(first_file[i].text);
    const bool issue_line =
        i < run.size() && (first_file[i].text == appended[1] || first_file[i].text == probe + L"" ||
                           first_file[i].text == L"Socket Error # 10061" ||
                           first_file[i].text == L"Connection refused.");
    EXPECT_EQ(first_file[i].colour, issue_line ? RGB(255, 0, 0) : RGB(255, 255, 255));
  }
  const std::string raw = ReadBytes(folder_ / L"first.rtf");
  EXPECT_NE(raw.find("\\red255\\green0\\blue0"), std::string::npos);
  EXPECT_TRUE(raw.find("\\'e3") != std::string::npos || raw.find("\\u227") != std::string::npos)
      << "accented letters are written as RTF escapes";
}

TEST_F(ExportTest, OnlySecondaryErrorsGetNoImpedimentHeading) {
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  const NetworkEndpoint refused = RefusedEndpoint();
  setup.run.targets.broadcast[0] = refused;
  const std::wstring refused_probe =
      L"Testando conexão em 127.0.0.1:" + std::to_wstring(refused.port) + L"...Falha";
  auto form = RunToVerdict(setup);
  ASSERT_NE(form, nullptr);
  ExportTo(*form, folder_ / L"report.rtf");
  const Lines lines = Texts(ReadRtfFile(folder_ / L"report.rtf"));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()),
            (Lines{L">>>Erros encontrados:", refused_probe, L"Socket Error # 10061",
                   L"Connection refused."}));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L">>>Impedimentos encontrados:"), 0);
}

TEST_F(ExportTest, CancelChangesNothing) {
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.run.host.is_admin = [] { return false; };
  auto form = RunToVerdict(setup);
  ASSERT_NE(form, nullptr);
  const Lines before = LogLines(form->Handle());
  recorded_->save_answer.reset();
  Click(form->Handle(), ids::kBtnExport);
  EXPECT_EQ(recorded_->save_dialogs.size(), 1u);
  EXPECT_EQ(LogLines(form->Handle()), before);
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(ExportTest, AFileThatCannotBeCreatedIsReportedAndTheExportCanBeRetried) {
  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.run.host.is_admin = [] { return false; };
  auto form = RunToVerdict(setup);
  ASSERT_NE(form, nullptr);
  const std::size_t run_lines = LogLines(form->Handle()).size();

  fs::create_directories(folder_ / L"a folder");
  struct Case {
    fs::path path;
    DWORD error;
  };
  // (A read-only file is refused the same way on Windows; Wine running as root writes it.)
  const Case cases[] = {
      {folder_ / L"missing" / L"report.rtf", ERROR_PATH_NOT_FOUND},
      {folder_ / L"a folder", ERROR_ACCESS_DENIED},
  };
  std::size_t exports = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    recorded_->error_boxes.clear();
    ExportTo(*form, c.path);
    ++exports;
    ASSERT_EQ(recorded_->error_boxes.size(), 1u);
    EXPECT_EQ(recorded_->error_boxes[0],
              L"Cannot create file \"" + c.path.wstring() + L"\". " + SystemErrorText(c.error));
    // The headings were appended before the file was tried, and stay.
    EXPECT_EQ(LogLines(form->Handle()).size(), run_lines + 2 * exports);
    EXPECT_EQ(IsWindow(form->Handle()), TRUE);
  }

  recorded_->error_boxes.clear();
  ExportTo(*form, folder_ / L"report.rtf");
  EXPECT_TRUE(recorded_->error_boxes.empty());
  EXPECT_EQ(Texts(ReadRtfFile(folder_ / L"report.rtf")).size(), run_lines + 2 * (exports + 1));
}

}  // namespace
}  // namespace travik::test
