// The verdict page at 96 and 144 dpi: a verdict that fits shows as it always has; the longest
// scrolls in its box above the buttons and can be read to its last line with the mouse and the
// keyboard. The window keeps its designed size as its smallest.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "../native/scripted_ftp_server.h"
#include "gui_test_support.h"
#include "toolkit/dpi.h"
#include "toolkit/gdi.h"
#include "ui/layout.h"

namespace travik::test {
namespace {

const std::vector<std::string> kLoginRejected = {"220 Ready", "220 Host ok", "331 Password",
                                                 "530 Login incorrect."};
const wchar_t kSupportLine[] =
    L"Para maiores informações, envie o relatório para suporte@korvena.com.br";

enum class Verdict { kReady, kOneImpediment, kLongest };

struct VerdictCase {
  const char* name;
  Verdict verdict;
  UINT dpi;
};

std::string CaseName(const testing::TestParamInfo<VerdictCase>& info) {
  return info.param.name;
}

void PrintTo(const VerdictCase& c, std::ostream* out) {
  *out << c.name;
}

// The label's font's line height.
int LineHeight(HWND label) {
  TEXTMETRICW metrics{};
  const WindowDC dc(label);
  const SelectedObject font(dc.get(),
                            reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  GetTextMetricsW(dc.get(), &metrics);
  return metrics.tmHeight;
}

// The size the label's text takes in its font.
SIZE TextSize(HWND label) {
  RECT r{};
  const WindowDC dc(label);
  const SelectedObject font(dc.get(),
                            reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  DrawTextW(dc.get(), WindowText(label).c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
  return {r.right, r.bottom};
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

RECT ClientOnScreen(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A key pressed as the program's message loop hands it on (IsDialogMessage).
void PressKey(HWND window, WPARAM key) {
  MSG message{};
  message.hwnd = GetFocus();
  message.message = WM_KEYDOWN;
  message.wParam = key;
  message.lParam = 1;
  if (!IsDialogMessageW(window, &message)) DispatchMessageW(&message);
}

class VerdictPage : public testing::Test {
 protected:
  // The window at `dpi` showing the verdict of a run made to give `verdict`.
  std::unique_ptr<TFrmTravik> OpenAtVerdict(Verdict verdict, UINT dpi) {
    ProgramSetup setup = LoopbackSetup(accepting_.Endpoint(), ftp_.Port(), recorded_);
    setup.window.theme = &ProgramTheme();
    if (verdict == Verdict::kOneImpediment) setup.run.host.is_admin = [] { return false; };
    if (verdict == Verdict::kLongest) MakeEverythingFail(setup);
    auto form = OpenWindow(setup);
    if (form == nullptr) return nullptr;
    HWND w = form->Handle();
    // Run once more with the system's DPI set by the test run, which then names it.
    if (const char* system_dpi = std::getenv("TRAVIK_EXPECTED_DPI")) {
      EXPECT_EQ(WindowDpi(w), static_cast<UINT>(std::atoi(system_dpi)));
    }
    EXPECT_TRUE(RunChecks(w));
    Click(w, ids::kBtnNext);
    // Moved to the other monitor with the verdict shown: everything is laid out again.
    if (WindowDpi(w) != dpi) MoveToDpi(w, dpi);
    return form;
  }

  std::shared_ptr<Recorded> recorded_ = std::make_shared<Recorded>();
  AcceptingEndpoint accepting_;
  ScriptedFtpServer ftp_{{kLoginRejected}};
};

class VerdictFits : public VerdictPage, public testing::WithParamInterface<VerdictCase> {};

TEST_P(VerdictFits, ShowsInsideTheWindowAboveTheButtonsAndScrollsOnlyWhenLonger) {
  const VerdictCase& c = GetParam();
  auto form = OpenAtVerdict(c.verdict, c.dpi);
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  auto s = [&c](int v) { return ScaleForDpi(v, c.dpi); };
  HWND page = FindControl(w, ids::kPage2);
  HWND label = FindControl(w, ids::kLblResult);
  HWND box = FindControl(w, ids::kScrollBox1);
  HWND export_button = FindControl(w, ids::kBtnExport);
  HWND close_button = FindControl(w, ids::kBtnClose);
  ASSERT_NE(box, nullptr);
  const bool longest = c.verdict == Verdict::kLongest;

  // lblResult where it always was, at the size of its text, its top line first.
  RECT on_page = ScreenRect(label);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&on_page), 2);
  EXPECT_EQ(on_page.left, s(24));
  EXPECT_EQ(on_page.top, s(64));
  const SIZE text = TextSize(label);
  EXPECT_EQ(on_page.right - on_page.left, text.cx);
  EXPECT_EQ(on_page.bottom - on_page.top, text.cy);

  // What shows of it lies inside the client area and under no button.
  const RECT visible = VisiblePart(label);
  ASSERT_FALSE(IsRectEmpty(&visible));
  EXPECT_TRUE(Inside(visible, ClientOnScreen(w)));
  for (HWND button : {export_button, close_button}) {
    RECT overlap;
    const RECT b = ScreenRect(button);
    EXPECT_FALSE(IntersectRect(&overlap, &visible, &b));
  }
  const RECT whole = ScreenRect(label);
  if (!longest) {
    EXPECT_TRUE(EqualRect(&visible, &whole)) << "shown whole";
  }

  // A scroll bar and a tab stop only for the verdict that needs them.
  const LONG_PTR style = GetWindowLongPtrW(box, GWL_STYLE);
  EXPECT_EQ((style & WS_VSCROLL) != 0, longest);
  EXPECT_EQ((style & WS_TABSTOP) != 0, longest);

  // In the page's colours: the label's background is the page's.
  const COLORREF page_colour = ColoursOf(&ProgramTheme()).page;
  RECT label_client{0, 0, visible.right - visible.left, visible.bottom - visible.top};
  const int area = label_client.right * label_client.bottom;
  EXPECT_EQ(WaitForPixel(label, {label_client.right - 1, 0}, page_colour), page_colour);
  EXPECT_GT(CountPixels(label, label_client, page_colour), area / 2);

  // The focus starts on "Exportar" when there are impediments, else on "Fechar"; Tab goes to
  // "Exportar", "Fechar" and, when it scrolls, the verdict.
  HWND first = c.verdict == Verdict::kReady ? close_button : export_button;
  EXPECT_EQ(GetFocus(), first);
  std::vector<HWND> expected, tabbed;
  const std::vector<HWND> order = longest ? std::vector<HWND>{export_button, close_button, box}
                                          : std::vector<HWND>{export_button, close_button};
  std::size_t at = first == export_button ? 0 : 1;
  for (int i = 0; i < 4; ++i) {
    at = (at + 1) % order.size();
    expected.push_back(order[at]);
    PressKey(w, VK_TAB);
    tabbed.push_back(GetFocus());
  }
  EXPECT_EQ(tabbed, expected);
}

INSTANTIATE_TEST_SUITE_P(
    AtTwoDpis, VerdictFits,
    testing::Values(VerdictCase{"Ready96", Verdict::kReady, 96},
                    VerdictCase{"OneImpediment96", Verdict::kOneImpediment, 96},
                    VerdictCase{"Longest96", Verdict::kLongest, 96},
                    VerdictCase{"Ready144", Verdict::kReady, 144},
                    VerdictCase{"OneImpediment144", Verdict::kOneImpediment, 144},
                    VerdictCase{"Longest144", Verdict::kLongest, 144}),
    CaseName);

class LongestVerdict : public VerdictPage, public testing::WithParamInterface<UINT> {};

TEST_P(LongestVerdict, ReadsToItsLastLineWithTheWheelTheScrollBarAndTheKeyboard) {
  auto form = OpenAtVerdict(Verdict::kLongest, GetParam());
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  HWND label = FindControl(w, ids::kLblResult);
  HWND box = FindControl(w, ids::kScrollBox1);
  HWND view = GetParent(label);
  const RECT view_rect = ClientOnScreen(view);
  const int view_height = view_rect.bottom - view_rect.top;
  const int line = LineHeight(label);
  const int last = (ScreenRect(label).bottom - ScreenRect(label).top) - view_height;
  ASSERT_GT(last, line) << "the longest verdict does not fit";
  const auto position = [&] { return view_rect.top - ScreenRect(label).top; };
  const auto support_line_shows = [&] {
    RECT support = ScreenRect(label);
    support.top = support.bottom - line;
    return Inside(support, VisiblePart(label));
  };
  ASSERT_EQ(WindowText(label).substr(WindowText(label).size() - std::size(kSupportLine) + 1),
            kSupportLine);
  EXPECT_EQ(position(), 0);
  EXPECT_FALSE(support_line_shows());

  // The wheel, with the focus on "Exportar".
  HWND focus = GetFocus();
  ASSERT_EQ(focus, FindControl(w, ids::kBtnExport));
  SendMessageW(focus, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  EXPECT_GT(position(), 0);
  SendMessageW(focus, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(position(), 0);

  // The scroll bar.
  SendMessageW(box, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(position(), last);
  EXPECT_TRUE(support_line_shows());
  SCROLLINFO bar{};
  bar.cbSize = sizeof bar;
  bar.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(box, SB_VERT, &bar));
  EXPECT_EQ(bar.nPos, last);
  EXPECT_EQ(static_cast<int>(bar.nPage), view_height);
  SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(position(), 0);

  // The keyboard: Tab, Tab to the verdict, which shows its focus band, then the keys.
  const COLORREF focus_colour = ColoursOf(&ProgramTheme()).focus;
  const COLORREF page_colour = ColoursOf(&ProgramTheme()).page;
  EXPECT_EQ(WaitForPixel(box, {0, 0}, page_colour), page_colour);
  PressKey(w, VK_TAB);
  PressKey(w, VK_TAB);
  ASSERT_EQ(GetFocus(), box);
  EXPECT_EQ(WaitForPixel(box, {0, 0}, focus_colour), focus_colour);
  struct Key {
    WPARAM key;
    int position;
  };
  const Key keys[] = {
      {VK_DOWN, line},
      {VK_DOWN, 2 * line},
      {VK_NEXT, std::min(last, 2 * line + view_height)},
      {VK_UP, std::min(last, 2 * line + view_height) - line},
      {VK_PRIOR, 0},
      {VK_END, last},
      {VK_HOME, 0},
      {VK_END, last},
  };
  for (const Key& k : keys) {
    SCOPED_TRACE(k.key);
    PressKey(w, k.key);
    EXPECT_EQ(position(), k.position);
    EXPECT_EQ(GetFocus(), box) << "the arrows scroll; they do not move the focus";
  }
  EXPECT_TRUE(support_line_shows());

  // Ctrl+C copies the verdict's text.
  BYTE keys_down[256];
  ASSERT_TRUE(GetKeyboardState(keys_down));
  BYTE with_control[256];
  std::copy(std::begin(keys_down), std::end(keys_down), with_control);
  with_control[VK_CONTROL] = 0x80;
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  SetKeyboardState(with_control);
  PressKey(w, 'C');
  SetKeyboardState(keys_down);
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const auto* copied = static_cast<const wchar_t*>(data != nullptr ? GlobalLock(data) : nullptr);
  const std::wstring text = copied != nullptr ? copied : L"";
  if (copied != nullptr) GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(text, WindowText(label));

  // Tab leaves it, and its band goes.
  PressKey(w, VK_TAB);
  EXPECT_EQ(GetFocus(), FindControl(w, ids::kBtnExport));
  EXPECT_EQ(WaitForPixel(box, {0, 0}, page_colour), page_colour);
}

INSTANTIATE_TEST_SUITE_P(AtTwoDpis, LongestVerdict, testing::Values(96u, 144u),
                         [](const testing::TestParamInfo<UINT>& info) {
                           return "Dpi" + std::to_string(info.param);
                         });

class MinimumSize : public VerdictPage, public testing::WithParamInterface<UINT> {};

TEST_P(MinimumSize, IsTheDesignedClientArea) {
  const UINT dpi = GetParam();
  auto form = OpenWindow(LoopbackSetup(accepting_.Endpoint(), ftp_.Port(), recorded_));
  ASSERT_NE(form, nullptr);
  HWND w = form->Handle();
  if (WindowDpi(w) != dpi) MoveToDpi(w, dpi);
  const SIZE designed{ScaleForDpi(layout::kClient.cx, dpi), ScaleForDpi(layout::kClient.cy, dpi)};
  struct Size {
    int cx, cy;
    SIZE client;
  };
  RECT now;
  GetWindowRect(w, &now);
  const int cx = now.right - now.left, cy = now.bottom - now.top;
  const Size sizes[] = {
      {cx / 2, cy / 2, designed},
      {cx - 1, cy + 40, {designed.cx, designed.cy + 40}},
      {cx + 100, cy - 1, {designed.cx + 100, designed.cy}},
      {cx + 100, cy + 50, {designed.cx + 100, designed.cy + 50}},
  };
  for (const Size& size : sizes) {
    SCOPED_TRACE(testing::Message() << size.cx << " x " << size.cy);
    SetWindowPos(w, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, size.client.cx);
    EXPECT_EQ(client.bottom, size.client.cy);
  }
  MINMAXINFO info{};
  SendMessageW(w, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, cx);
  EXPECT_EQ(info.ptMinTrackSize.y, cy);
}

INSTANTIATE_TEST_SUITE_P(AtTwoDpis, MinimumSize, testing::Values(96u, 144u),
                         [](const testing::TestParamInfo<UINT>& info) {
                           return "Dpi" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace travik::test
