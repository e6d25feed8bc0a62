#include "app/startup.h"

#include <commctrl.h>

#include "assets/resource_ids.h"
#include "platform/error.h"
#include "platform/text.h"

namespace travik {

WindowServices::WindowServices() {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

ThemeStore LoadThemeStore(HINSTANCE instance) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDR_THEMES), MAKEINTRESOURCEW(10));
  HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
  const auto* bytes = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (bytes == nullptr) return {};
  try {
    return ThemeStore::FromCompressed({bytes, SizeofResource(instance, found)});
  } catch (const Error&) {
    return {};
  }
}

const Theme* ApplyTheme(const ThemeStore& store, const std::wstring& name,
                        const std::function<void(const std::wstring&)>& report_missing) {
  if (const Theme* theme = store.Find(Narrow(name))) return theme;
  report_missing(name);
  return nullptr;
}

}  // namespace travik
