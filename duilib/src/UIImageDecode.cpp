// Pictures decoded through the Windows Imaging Component.
#include "UIImageDecode.h"

#include <initguid.h>  // the WIC GUIDs are defined in this file
#include <wincodec.h>

#include <utility>

namespace DuiLib {
namespace {

// Owns one COM reference.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (m_p) m_p->Release();
  }
  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  T** put() { return &m_p; }
  void** put_void() { return reinterpret_cast<void**>(&m_p); }

 private:
  T* m_p = nullptr;
};

// A thread that decodes keeps COM for the rest of its life, as a UI thread usually does: starting
// and ending an apartment around every small skin picture would cost more than the decode.
bool EnsureCom() {
  thread_local bool ready = false;
  if (!ready) {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ready = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;  // already in another apartment: usable too
  }
  return ready;
}

const GUID& ContainerOf(ImageFormat format) {
  switch (format) {
    case ImageFormat::Png: return GUID_ContainerFormatPng;
    case ImageFormat::Jpeg: return GUID_ContainerFormatJpeg;
    case ImageFormat::Gif: return GUID_ContainerFormatGif;
    case ImageFormat::Bmp: break;
  }
  return GUID_ContainerFormatBmp;
}

HBITMAP CreateTopDownDib(int width, int height, void** bits) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

bool ReadImageFile(const CDuiString& path, TImageFile& file) {
  file = {};
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handle, &size) && size.QuadPart > 0 &&
      static_cast<unsigned long long>(size.QuadPart) <= kMaxImageFileBytes) {
    file.bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(handle, file.bytes.data(), static_cast<DWORD>(file.bytes.size()), &read, nullptr) ||
        read != file.bytes.size())
      file.bytes.clear();
  }
  CloseHandle(handle);
  const auto* data = reinterpret_cast<const unsigned char*>(file.bytes.data());
  return !file.bytes.empty() && ProbeImageHeader(data, file.bytes.size(), file.header) &&
         IsImageSizeAcceptable(file.header.width, file.header.height);
}

TImageInfo* DecodeImageFile(const TImageFile& file, int fitSide) {
  if (file.bytes.empty() || file.bytes.size() > kMaxImageFileBytes || !EnsureCom()) return nullptr;
  ComRef<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              factory.put_void())))
    return nullptr;
  ComRef<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(file.bytes.data())),
                                          static_cast<DWORD>(file.bytes.size()))))
    return nullptr;
  // Only the decoder of the format the header showed: no other codec ever sees the bytes.
  ComRef<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoder(ContainerOf(file.header.format), nullptr, decoder.put())) ||
      FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
    return nullptr;
  ComRef<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&width, &height)) ||
      width > UINT(kMaxImageSide) || height > UINT(kMaxImageSide) ||
      !IsImageSizeAcceptable(static_cast<int>(width), static_cast<int>(height)))
    return nullptr;
  int fitWidth = 0, fitHeight = 0;
  FitImageSize(static_cast<int>(width), static_cast<int>(height), fitSide, fitWidth, fitHeight);

  ComRef<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return nullptr;
  IWICBitmapSource* source = converter.get();
  ComRef<IWICBitmapScaler> scaler;
  if (fitWidth != static_cast<int>(width) || fitHeight != static_cast<int>(height)) {
    if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(converter.get(), UINT(fitWidth), UINT(fitHeight), WICBitmapInterpolationModeFant)))
      return nullptr;
    source = scaler.get();
  }

  void* bits = nullptr;
  HBITMAP bitmap = CreateTopDownDib(fitWidth, fitHeight, &bits);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return nullptr;
  }
  const UINT stride = UINT(fitWidth) * 4;
  if (FAILED(source->CopyPixels(nullptr, stride, stride * UINT(fitHeight), static_cast<BYTE*>(bits)))) {
    DeleteObject(bitmap);
    return nullptr;
  }
  bool alpha = false;
  const auto* px = static_cast<const BYTE*>(bits);
  for (size_t i = 3, end = size_t{stride} * UINT(fitHeight); i < end && !alpha; i += 4) alpha = px[i] < 255;
  auto* info = new TImageInfo;
  info->hBitmap = bitmap;
  info->nWidth = fitWidth;
  info->nHeight = fitHeight;
  info->bAlpha = alpha;
  return info;
}

TImageInfo* CRenderEngine::LoadImageFile(const CDuiString& path, int fitSide, SIZE* source) {
  if (source) *source = SIZE{};
  TImageFile file;
  if (!ReadImageFile(path, file)) return nullptr;
  TImageInfo* image = DecodeImageFile(file, fitSide);
  if (image && source) *source = SIZE{file.header.width, file.header.height};
  return image;
}

void CRenderEngine::FreeImage(TImageInfo* image) {
  if (!image) return;
  if (image->hBitmap) DeleteObject(image->hBitmap);
  delete image;
}

}  // namespace DuiLib
