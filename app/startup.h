#pragma once
// Start-up steps of the program that tests call as well.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/socket.h"
#include "platform/win_handles.h"
#include "toolkit/theme.h"

namespace travik {

inline constexpr wchar_t kThemeName[] = L"KORVENA";

// What the window needs started before it is created, for as long as it lives: COM (for the
// picture decoder and the taskbar), the common controls and Windows Sockets. (RichEdit is loaded
// when the log is first needed.) Raises Error when Windows Sockets cannot be started.
class WindowServices {
 public:
  WindowServices();

 private:
  ComApartment com_;
  net::SocketLibrary sockets_;
};

// The themes the program carries (an empty store when the resource is missing or damaged).
[[nodiscard]] ThemeStore LoadThemeStore(HINSTANCE instance);

// The theme of that name, or null after `report_missing` has told the user that there is none;
// the program then goes on with the default look.
[[nodiscard]] const Theme* ApplyTheme(
    const ThemeStore& store, const std::wstring& name,
    const std::function<void(const std::wstring&)>& report_missing);

}  // namespace travik
