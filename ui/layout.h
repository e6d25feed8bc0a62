#pragma once
// The window's layout at 96 dpi; everything is scaled to the monitor's DPI when placed.
#include <windows.h>

namespace travik::layout {

constexpr SIZE kClient{558, 270};
constexpr int kBannerHeight = 57;
constexpr SIZE kBanner{269, 64};
constexpr POINT kLabel1{80, 128};
constexpr RECT kBtnStart{240, 216, 97, 34};  // left, top, width, height
constexpr int kPanelHeight = 35;
constexpr RECT kBtnNext{479, 5, 75, 25};
constexpr POINT kLabel2{16, 16};
constexpr POINT kLblResult{24, 64};
constexpr RECT kBtnExport{375, 232, 75, 25};
constexpr RECT kBtnClose{456, 232, 75, 25};
// Where lblResult shows, in its scroll box: from its place to as far from the right edge, and
// down to a gap above the buttons. The box's focus band lies around it.
constexpr int kScrollBoxGap = 8;
constexpr RECT kScrollBox1{kLblResult.x, kLblResult.y, kClient.cx - 2 * kLblResult.x,
                           kBtnExport.top - kScrollBoxGap - kLblResult.y};
constexpr int kScrollBoxFocusBand = 2;
constexpr int kFontHeight = 11;     // Tahoma 8 pt
constexpr int kHeadingHeight = 19;  // Label2

}  // namespace travik::layout
