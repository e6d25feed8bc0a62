#include "toolkit/banner.h"

#include <wincodec.h>

#include "toolkit/gdi.h"

namespace travik {

Picture LoadPngResource(HINSTANCE instance, int id, SIZE wanted) {
  Picture picture;
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
  auto* bytes = static_cast<BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
  if (bytes == nullptr || wanted.cx <= 0 || wanted.cy <= 0) return picture;

  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  ComPtr<IWICBitmapScaler> scaler;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(factory.put()))) ||
      FAILED(factory->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(bytes, SizeofResource(instance, found))) ||
      // The PNG decoder by name: asking the factory to find one for the stream has it try every
      // registered decoder first, which costs more than all the rest of the decoding.
      FAILED(CoCreateInstance(CLSID_WICPngDecoder, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(decoder.put()))) ||
      FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
      FAILED(decoder->GetFrame(0, frame.put())) ||
      FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom)) ||
      FAILED(factory->CreateBitmapScaler(scaler.put())) ||
      FAILED(scaler->Initialize(converter.get(), static_cast<UINT>(wanted.cx),
                                static_cast<UINT>(wanted.cy), WICBitmapInterpolationModeFant))) {
    return picture;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = wanted.cx;
  info.bmiHeader.biHeight = -wanted.cy;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (!bitmap || pixels == nullptr) return picture;
  const UINT stride = static_cast<UINT>(wanted.cx) * 4;
  if (FAILED(scaler->CopyPixels(nullptr, stride, stride * static_cast<UINT>(wanted.cy),
                                static_cast<BYTE*>(pixels)))) {
    return picture;
  }
  picture.bitmap = std::move(bitmap);
  picture.size = wanted;
  return picture;
}

void DrawPicture(HDC dc, const Picture& picture, int x, int y) {
  if (!picture.bitmap) return;
  const MemoryDC memory(dc);
  if (!memory) return;
  const SelectedObject selected(memory.get(), picture.bitmap.get());
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, x, y, picture.size.cx, picture.size.cy, memory.get(), 0, 0, picture.size.cx,
             picture.size.cy, blend);
}

}  // namespace travik
