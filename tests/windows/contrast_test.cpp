// High contrast: while it is on, the window takes every colour from the system, the log's issue
// lines in the hyperlink colour; switched off, the theme comes back; the report keeps the theme's
// colours throughout. Wine cannot switch high contrast on (SPI_SETHIGHCONTRAST fails), so the
// window's setup says whether it is on, as SPI_GETHIGHCONTRAST would.
#include <windows.h>

#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "../native/scripted_ftp_server.h"
#include "gui_test_support.h"

namespace travik::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kLoginRejected = {"220 Ready", "220 Host ok", "331 Password",
                                                 "530 Login incorrect."};
const wchar_t kFtpFailed[] = L"Não foi possível conectar ao FTP.";

// What the window shows, read back from the screen.
struct Look {
  COLORREF page, button, border, focus, text;
};

Look ThemeLook() {
  const Colours c = ColoursOf(&ProgramTheme());
  return {c.page, c.button, c.button_border, c.focus, c.text};
}

Look SystemLook() {
  return {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT),
          GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_WINDOWTEXT)};
}

void TellHighContrastChanged(HWND window) {
  SendMessageW(window, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
}

// The verdict page: its background, the focused "Exportar" (focus frame and face), the border
// of "Fechar", and the verdict's background and text.
void ExpectVerdictPageIn(HWND w, const Look& look) {
  HWND page = FindControl(w, ids::kPage2);
  HWND focused = FindControl(w, ids::kBtnExport);
  HWND other = FindControl(w, ids::kBtnClose);
  HWND label = FindControl(w, ids::kLblResult);
  ASSERT_EQ(GetFocus(), focused);
  EXPECT_EQ(WaitForPixel(page, {4, 4}, look.page), look.page) << "page";
  EXPECT_EQ(WaitForPixel(focused, {0, 0}, look.focus), look.focus) << "focus frame";
  EXPECT_EQ(WaitForPixel(focused, {4, 4}, look.button), look.button) << "button face";
  EXPECT_EQ(WaitForPixel(other, {0, 0}, look.border), look.border) << "button border";
  RECT verdict = VisiblePart(label);
  MapWindowPoints(nullptr, label, reinterpret_cast<POINT*>(&verdict), 2);
  EXPECT_EQ(WaitForPixel(label, {verdict.right - 1, 0}, look.page), look.page) << "verdict";
  EXPECT_GT(CountPixels(label, verdict, look.text), 0) << "the verdict's text";
}

// The run's lines of the log (its first `count`) in `plain` and `issue` on `background`, the
// issue lines being `issue_lines`.
void ExpectLogIn(HWND w, std::size_t count, const std::vector<std::wstring>& issue_lines,
                 COLORREF background, COLORREF plain, COLORREF issue) {
  std::vector<ColouredLine> lines = ReadRichEdit(FindControl(w, ids::kMList));
  ASSERT_GE(lines.size(), count);
  lines.resize(count);
  for (const ColouredLine& line : lines) {
    SCOPED_TRACE(line.text);
    const bool is_issue =
        std::find(issue_lines.begin(), issue_lines.end(), line.text) != issue_lines.end();
    EXPECT_TRUE(line.uniform);
    EXPECT_EQ(line.colour, is_issue ? issue : plain);
    EXPECT_TRUE((line.format.dwMask & CFM_BACKCOLOR) != 0);
    EXPECT_EQ(line.format.crBackColor, background);
  }
}

// Pixels of the log's last FTP line (an issue line) in `colour` and of its background.
void ExpectLogPixelsIn(HWND w, COLORREF background, COLORREF issue) {
  HWND log = FindControl(w, ids::kMList);
  std::size_t offset = 0, start = std::wstring::npos;
  for (const ColouredLine& line : ReadRichEdit(log)) {
    if (line.text == kFtpFailed) start = offset;
    offset += line.text.size() + 1;
  }
  ASSERT_NE(start, std::wstring::npos);
  POINTL at{};
  SendMessageW(log, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), static_cast<LPARAM>(start));
  RECT client;
  GetClientRect(log, &client);
  EXPECT_EQ(WaitForPixel(log, {client.right - 4, 4}, background), background) << "log";
  const RECT line{at.x, at.y, at.x + 150, at.y + 10};
  PumpUntil([&] { return CountPixels(log, line, issue) > 0; }, 3000);
  EXPECT_GT(CountPixels(log, line, issue), 0) << "the issue line's text";
}

enum class SwitchedOn { kBeforeStart, kWhileRunning };

const char* NameOf(SwitchedOn when) {
  return when == SwitchedOn::kBeforeStart ? "OnAtStartUp" : "SwitchedOnAfterTheRun";
}

void PrintTo(SwitchedOn when, std::ostream* out) {
  *out << NameOf(when);
}

class HighContrast : public testing::TestWithParam<SwitchedOn> {
 protected:
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::shared_ptr<Recorded> recorded_ = std::make_shared<Recorded>();
  AcceptingEndpoint accepting_;
  fs::path folder_ = NewTempFolder(L"travik-contrast-");
};

TEST_P(HighContrast, TakesTheSystemsColoursWhileOnAndTheReportKeepsTheThemes) {
  const Look theme = ThemeLook(), system = SystemLook();
  ASSERT_NE(theme.page, system.page);
  ASSERT_NE(theme.button, system.button);
  ASSERT_NE(theme.focus, system.focus);
  const COLORREF theme_log = ColoursOf(&ProgramTheme()).log;
  const COLORREF hyperlink = GetSysColor(COLOR_HOTLIGHT);
  ASSERT_NE(hyperlink, GetSysColor(COLOR_WINDOWTEXT));

  ScriptedFtpServer ftp({kLoginRejected});
  ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp.Port(), recorded_);
  setup.window.theme = &ProgramTheme();
  MakeEverythingFail(setup);
  auto on = std::make_shared<bool>(GetParam() == SwitchedOn::kBeforeStart);
  setup.window.high_contrast = [on] { return *on; };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  ASSERT_TRUE(RunChecks(w));
  const std::vector<ColouredLine> run_lines = ReadRichEdit(FindControl(w, ids::kMList));

  if (!*on) {
    ExpectLogPixelsIn(w, theme_log, RichLog::kIssueColour);
    *on = true;
    TellHighContrastChanged(w);
  }
  // The issue lines: red in the theme, the hyperlink colour now.
  std::vector<std::wstring> issue_lines;
  for (const ColouredLine& line : run_lines) {
    if (line.colour != GetSysColor(COLOR_WINDOWTEXT) && line.colour != RichLog::kDefaultColour) {
      issue_lines.push_back(line.text);
    }
  }
  ASSERT_FALSE(issue_lines.empty());
  const std::size_t count = run_lines.size();
  ExpectLogIn(w, count, issue_lines, system.page, GetSysColor(COLOR_WINDOWTEXT), hyperlink);
  ExpectLogPixelsIn(w, system.page, hyperlink);

  Click(w, ids::kBtnNext);
  ExpectVerdictPageIn(w, system);

  // The report, written meanwhile, in the theme's colours; the screen stays as it was.
  recorded_->save_answer = (folder_ / L"report.rtf").wstring();
  Click(w, ids::kBtnExport);
  ASSERT_TRUE(recorded_->error_boxes.empty());
  const std::vector<ColouredLine> report = ReadRtfFile(folder_ / L"report.rtf");
  ASSERT_GE(report.size(), count);
  for (std::size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(report[i].text);
    const bool is_issue =
        std::find(issue_lines.begin(), issue_lines.end(), report[i].text) != issue_lines.end();
    EXPECT_EQ(report[i].colour, is_issue ? RichLog::kIssueColour : RichLog::kDefaultColour);
    EXPECT_EQ(report[i].format.crBackColor, theme_log);
  }
  ExpectLogIn(w, count, issue_lines, system.page, GetSysColor(COLOR_WINDOWTEXT), hyperlink);

  // Off again: the theme's colours at once.
  *on = false;
  TellHighContrastChanged(w);
  ExpectVerdictPageIn(w, theme);
  ExpectLogIn(w, count, issue_lines, theme_log, RichLog::kDefaultColour, RichLog::kIssueColour);
}

INSTANTIATE_TEST_SUITE_P(Switched, HighContrast,
                         testing::Values(SwitchedOn::kBeforeStart, SwitchedOn::kWhileRunning),
                         [](const testing::TestParamInfo<SwitchedOn>& info) {
                           return std::string(NameOf(info.param));
                         });

TEST(HighContrastColours, FollowTheSystemsWhileOnAndNeverTheThemes) {
  auto recorded = std::make_shared<Recorded>();
  AcceptingEndpoint accepting;
  ScriptedFtpServer ftp({});
  ProgramSetup setup = LoopbackSetup(accepting.Endpoint(), ftp.Port(), recorded);
  setup.window.theme = &ProgramTheme();
  auto on = std::make_shared<bool>(true);
  setup.window.high_contrast = [on] { return *on; };
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  HWND page = FindControl(w, ids::kPage0);
  HWND start = FindControl(w, ids::kBtnStart);
  const COLORREF theme_page = ColoursOf(&ProgramTheme()).page;
  const COLORREF wine_window = GetSysColor(COLOR_WINDOW);
  EXPECT_EQ(WaitForPixel(page, {4, 100}, wine_window), wine_window);
  {
    // Another high-contrast theme chosen: the system tells every window (WM_SYSCOLORCHANGE).
    const SystemColours black;
    EXPECT_EQ(WaitForPixel(page, {4, 100}, RGB(0, 0, 0)), RGB(0, 0, 0));
    EXPECT_EQ(WaitForPixel(start, {0, 0}, RGB(26, 235, 255)), RGB(26, 235, 255));
  }
  EXPECT_EQ(WaitForPixel(page, {4, 100}, wine_window), wine_window);
  *on = false;
  TellHighContrastChanged(w);
  EXPECT_EQ(WaitForPixel(page, {4, 100}, theme_page), theme_page);
  {
    const SystemColours black;
    EXPECT_EQ(WaitForPixel(page, {4, 100}, theme_page), theme_page);
  }
}

}  // namespace
}  // namespace travik::test
