#pragma once
// The window's DPI. The per-monitor functions exist from Windows 10 (1607) on; on older systems,
// which the program supports too, the screen's DPI and the plain functions stand in for them.
#include <windows.h>

namespace travik {

[[nodiscard]] UINT WindowDpi(HWND window);
void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD ex_style, UINT dpi);
[[nodiscard]] int SystemMetricForDpi(int index, UINT dpi);

// A length designed at 96 dpi, at `dpi`.
[[nodiscard]] inline int ScaleForDpi(int pixels_at_96_dpi, UINT dpi) {
  return MulDiv(pixels_at_96_dpi, static_cast<int>(dpi), 96);
}

}  // namespace travik
