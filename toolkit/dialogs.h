#pragma once
// The program's message boxes and its save dialog.
#include <windows.h>

#include <optional>
#include <string>

namespace travik {

inline constexpr wchar_t kApplicationTitle[] = L"TRAVIK";

// The error's text as the standard error box shows it: a full stop is added when the last
// character comes after "." in code order (a letter or a digit, for instance).
[[nodiscard]] std::wstring WithFullStop(std::wstring text);

// The application's standard error box: its title, an error icon, OK and the error's text.
void ShowStandardErrorBox(HWND owner, const std::wstring& text);

// "Style '<name>' not found", with a single "&Close" button.
void ShowMissingThemeBox(const std::wstring& theme_name);

struct SaveDialogSettings {
  std::wstring file_name;
  std::wstring filter;             // "Label|pattern[|Label|pattern...]"
  std::wstring default_extension;  // "*.txt" or "txt": names typed without one get it
};

// The system's save dialog: its default title and folder, no question before replacing a file,
// read-only box hidden, resizable. The chosen path, or nothing when the user cancels.
[[nodiscard]] std::optional<std::wstring> ShowSaveDialog(HWND owner,
                                                         const SaveDialogSettings& settings);

}  // namespace travik
