#include "png_writer.h"

#include "common/win32/com_ptr.h"

#include <windows.h>
#include <wincodec.h>

bool WritePng(const char* path, const void* bgrx, int width, int height) {
    wchar_t widePath[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0) {
        return false;
    }
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, factory.put_void());
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.put());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(widePath, GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.put(), options.put());
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options.get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(width, height);
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && !::IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)) {
        // The encoder wants another layout: convert through a WIC bitmap.
        ComPtr<IWICBitmap> bitmap;
        ComPtr<IWICFormatConverter> converter;
        hr = factory->CreateBitmapFromMemory(
            width, height, GUID_WICPixelFormat32bppBGR, width * 4, width * height * 4,
            static_cast<BYTE*>(const_cast<void*>(bgrx)), bitmap.put());
        if (SUCCEEDED(hr))
            hr = factory->CreateFormatConverter(converter.put());
        if (SUCCEEDED(hr))
            hr = converter->Initialize(bitmap.get(), format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom);
        if (SUCCEEDED(hr))
            hr = frame->WriteSource(converter.get(), nullptr);
    } else if (SUCCEEDED(hr)) {
        hr = frame->WritePixels(height, width * 4, width * height * 4,
                                static_cast<BYTE*>(const_cast<void*>(bgrx)));
    }
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    return SUCCEEDED(hr);
}
