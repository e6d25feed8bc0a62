#pragma once
// A PNG picture from the program's resources, decoded with WIC into a premultiplied 32-bit
// bitmap at the size wanted.
#include <windows.h>

#include "platform/win_handles.h"

namespace travik {

struct Picture {
  UniqueBitmap bitmap;
  SIZE size{};
};

// Empty (no bitmap) when the resource is missing or cannot be decoded. COM must be started.
[[nodiscard]] Picture LoadPngResource(HINSTANCE instance, int id, SIZE wanted);

// Draws the picture with its top-left corner at (x, y), blending it over what is there.
void DrawPicture(HDC dc, const Picture& picture, int x, int y);

}  // namespace travik
