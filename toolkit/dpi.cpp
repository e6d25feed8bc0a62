#include "toolkit/dpi.h"

namespace travik {
namespace {

template <typename Function>
Function User32(const char* name) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

UINT WindowDpi(HWND window) {
  using Fn = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = User32<Fn>("GetDpiForWindow");
  const UINT dpi = get_dpi_for_window != nullptr ? get_dpi_for_window(window) : 0;
  return dpi != 0 ? dpi : ScreenDpi();
}

void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD ex_style, UINT dpi) {
  using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = User32<Fn>("AdjustWindowRectExForDpi");
  if (adjust_for_dpi == nullptr || !adjust_for_dpi(rect, style, FALSE, ex_style, dpi)) {
    AdjustWindowRectEx(rect, style, FALSE, ex_style);
  }
}

int SystemMetricForDpi(int index, UINT dpi) {
  using Fn = int(WINAPI*)(int, UINT);
  static const auto metric_for_dpi = User32<Fn>("GetSystemMetricsForDpi");
  return metric_for_dpi != nullptr ? metric_for_dpi(index, dpi) : GetSystemMetrics(index);
}

}  // namespace travik
