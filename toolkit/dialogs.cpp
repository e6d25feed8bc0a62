#include "toolkit/dialogs.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "platform/error.h"
#include "platform/win_handles.h"

namespace travik {

std::wstring WithFullStop(std::wstring text) {
  if (!text.empty() && text.back() > L'.') text.push_back(L'.');
  return text;
}

void ShowStandardErrorBox(HWND owner, const std::wstring& text) {
  MessageBoxW(owner, WithFullStop(text).c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

void ShowMissingThemeBox(const std::wstring& theme_name) {
  const std::wstring message = L"Style '" + theme_name + L"' not found";
  // TaskDialogIndirect lives in common controls 6, which the manifest asks for; looked up at run
  // time so that the program still says what is wrong where it is missing.
  using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  const auto task_dialog = comctl == nullptr
                               ? nullptr
                               : reinterpret_cast<TaskDialogIndirectFn>(reinterpret_cast<void*>(
                                     GetProcAddress(comctl, "TaskDialogIndirect")));
  if (task_dialog != nullptr) {
    const TASKDIALOG_BUTTON close{IDCLOSE, L"&Close"};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.pszWindowTitle = kApplicationTitle;
    config.pszMainIcon = TD_ERROR_ICON;
    config.pszContent = message.c_str();
    config.cButtons = 1;
    config.pButtons = &close;
    config.nDefaultButton = IDCLOSE;
    if (SUCCEEDED(task_dialog(&config, nullptr, nullptr, nullptr))) return;
  }
  MessageBoxW(nullptr, message.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

namespace {

using GetSaveFileNameFn = BOOL(WINAPI*)(OPENFILENAMEW*);

// GetSaveFileNameW, from comdlg32.dll loaded the first time the dialog is asked for (and kept
// for the rest of the process). Imported, comdlg32 and what it brings in (the shell, the print
// spooler) would be loaded and started with every start of the program, for a dialog that only
// the last page uses. Raises Error when it cannot be had.
GetSaveFileNameFn SaveFileNameCall() {
  static const GetSaveFileNameFn call = []() -> GetSaveFileNameFn {
    const HMODULE comdlg = LoadLibraryW(L"comdlg32.dll");
    if (comdlg == nullptr) return nullptr;
    return reinterpret_cast<GetSaveFileNameFn>(
        reinterpret_cast<void*>(GetProcAddress(comdlg, "GetSaveFileNameW")));
  }();
  if (call == nullptr) throw Error("The save dialog could not be opened");
  return call;
}

}  // namespace

std::optional<std::wstring> ShowSaveDialog(HWND owner, const SaveDialogSettings& settings) {
  // "Label|pattern" becomes the double-NUL-terminated list the dialog reads.
  std::wstring filter = settings.filter;
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.append(2, L'\0');
  std::vector<wchar_t> path(32768, L'\0');
  settings.file_name.copy(path.data(), std::min(settings.file_name.size(), path.size() - 1));
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  // The dialog wants the extension alone ("txt"): given "*.txt" it would append "*.t".
  std::wstring extension = settings.default_extension;
  if (extension.rfind(L"*.", 0) == 0) extension.erase(0, 2);
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (!SaveFileNameCall()(&dialog)) return std::nullopt;
  return std::wstring(path.data());
}

}  // namespace travik
