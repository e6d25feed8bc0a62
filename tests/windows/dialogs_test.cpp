// The program's boxes and its save dialog, driven as a user would drive them.
#include "toolkit/dialogs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/startup.h"
#include "gui_test_support.h"

namespace travik::test {
namespace {

TEST(StandardErrorBox, AddsAFullStopAfterALetterOrDigit) {
  struct Case {
    const wchar_t* text;
    const wchar_t* shown;
  };
  const Case cases[] = {
      {L"Failed to Save Stream", L"Failed to Save Stream."},
      {L"Error 5", L"Error 5."},
      {L"Access is denied.", L"Access is denied."},
      {L"Done!", L"Done!"},  // '!' comes before '.'
      {L"(none)", L"(none)"},
      {L"Connection refused.\r\n", L"Connection refused.\r\n"},
      {L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(WithFullStop(c.text), c.shown);
  }
}

// A box or dialog shows within this (a first dialog in a fresh Wine prefix loads a good deal).
constexpr int kShowLimitMs = 60000;

// Looks for a top-level window of this process with the given class until `deadline_ms`.
HWND FindOwnWindow(const wchar_t* class_name, int deadline_ms) {
  for (int waited = 0; waited < deadline_ms; waited += 20) {
    for (HWND h = FindWindowW(class_name, nullptr); h != nullptr;
         h = FindWindowExW(nullptr, h, class_name, nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(h, &pid);
      if (pid == GetCurrentProcessId() && IsWindowVisible(h)) return h;
    }
    Sleep(20);
  }
  return nullptr;
}

struct ChildSearch {
  const wchar_t* class_name;
  std::vector<HWND> found;
};

std::vector<HWND> Children(HWND parent, const wchar_t* class_name) {
  ChildSearch search{class_name, {}};
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<ChildSearch*>(l);
        wchar_t name[64];
        GetClassNameW(h, name, 64);
        if (lstrcmpiW(name, s->class_name) == 0) s->found.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST(MissingTheme, ReportsTheNameAndGoesOnWithTheDefaultLook) {
  const ThemeStore store = ThemeStore::Parse("[Other]\npage = #000000\n");
  std::vector<std::wstring> reported;
  EXPECT_EQ(ApplyTheme(store, kThemeName, [&](const std::wstring& n) { reported.push_back(n); }),
            nullptr);
  EXPECT_EQ(reported, std::vector<std::wstring>{L"KORVENA"});

  // The carried store has it, whatever the letter case asked for.
  const ThemeStore carried = LoadThemeStore(GetModuleHandleW(nullptr));
  EXPECT_NE(ApplyTheme(carried, L"korvena", [](const std::wstring&) { FAIL(); }), nullptr);

  auto recorded = std::make_shared<Recorded>();
  AcceptingEndpoint accepting;
  ProgramSetup setup = LoopbackSetup(accepting.Endpoint(), RefusedEndpoint().port, recorded);
  setup.window.theme = nullptr;
  auto form = OpenWindow(setup);
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST(MissingTheme, BoxNamesTheThemeAndHasOnlyACloseButton) {
  std::wstring text;
  std::vector<std::wstring> buttons;
  std::thread user([&] {
    HWND box = FindOwnWindow(L"#32770", kShowLimitMs);
    if (box == nullptr) return;
    for (HWND child : Children(box, L"Static")) {
      wchar_t t[256] = {};
      GetWindowTextW(child, t, 256);
      if (std::wstring(t).find(L"Style") != std::wstring::npos) text = t;
    }
    for (HWND b : Children(box, L"Button")) {
      wchar_t t[64] = {};
      GetWindowTextW(b, t, 64);
      if (IsWindowVisible(b)) buttons.push_back(t);
    }
    PostMessageW(box, WM_COMMAND, IDCLOSE, 0);
    PostMessageW(box, WM_CLOSE, 0, 0);
  });
  ShowMissingThemeBox(L"KORVENA");
  user.join();
  EXPECT_EQ(text, L"Style 'KORVENA' not found");
  EXPECT_EQ(buttons, std::vector<std::wstring>{L"&Close"});
}

TEST(SaveDialog, NameTypedWithoutExtensionGetsTxtAndCancelGivesNothing) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring typed = std::wstring(temp) + L"travik-typed-report";
  const SaveDialogSettings settings{L"", L"Text File|*.txt", L"*.txt"};
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancel" : "save");
    std::atomic<bool> found{false};
    std::thread user([&] {
      HWND dialog = FindOwnWindow(L"#32770", kShowLimitMs);
      if (dialog == nullptr) return;
      found = true;
      if (!cancel) {
        // The file name box: the first edit control of the dialog.
        const auto edits = Children(dialog, L"Edit");
        if (!edits.empty())
          SendMessageW(edits[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
      }
      PostMessageW(dialog, WM_COMMAND, cancel ? IDCANCEL : IDOK, 0);
    });
    const auto chosen = ShowSaveDialog(nullptr, settings);
    user.join();
    EXPECT_TRUE(found);
    if (cancel) {
      EXPECT_FALSE(chosen.has_value());
    } else {
      ASSERT_TRUE(chosen.has_value());
      EXPECT_EQ(*chosen, typed + L".txt");
    }
  }
}

}  // namespace
}  // namespace travik::test
