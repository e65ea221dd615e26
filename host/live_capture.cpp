#include "live_capture.h"

#include <mmreg.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <vector>

namespace {

// The device's friendly name (the one Windows' sound settings show).
const PROPERTYKEY kFriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
// Sub-formats of WAVE_FORMAT_EXTENSIBLE: the format tag, then a fixed tail.
const GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr REFERENCE_TIME kBufferDuration = 100 * 10000; // 100 ms
constexpr int64_t kStateCheckInterval = 500 * 10000;    // 0.5 s

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// Text for the console: its own code page when there is one, else the
// system's.
std::string Narrow(const wchar_t* text) {
    DWORD mode = 0;
    const UINT codePage = ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode)
                              ? ::GetConsoleOutputCP()
                              : CP_ACP;
    const int size = ::WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.pop_back();
    return out;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

std::wstring FriendlyName(IMMDevice* device) {
    ComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, store.put()))) {
        return L"(unnamed device)";
    }
    PROPVARIANT value;
    ::PropVariantInit(&value);
    std::wstring name = L"(unnamed device)";
    if (SUCCEEDED(store->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR &&
        value.pwszVal) {
        name = value.pwszVal;
    }
    ::PropVariantClear(&value);
    return name;
}

std::wstring DeviceId(IMMDevice* device) {
    LPWSTR id = nullptr;
    std::wstring out;
    if (device && SUCCEEDED(device->GetId(&id)) && id) {
        out = id;
    }
    ::CoTaskMemFree(id);
    return out;
}

HRESULT CreateEnumerator(ComPtr<IMMDeviceEnumerator>& enumerator) {
    return ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(enumerator.put()));
}

// Active devices of one direction, the default first in the list's order.
struct DeviceList {
    std::vector<ComPtr<IMMDevice>> devices;
    std::wstring defaultId;
};

HRESULT ListDevices(IMMDeviceEnumerator* enumerator, EDataFlow flow, DeviceList& list) {
    ComPtr<IMMDevice> fallback;
    if (SUCCEEDED(enumerator->GetDefaultAudioEndpoint(flow, eConsole, fallback.put()))) {
        list.defaultId = DeviceId(fallback.get());
    }
    ComPtr<IMMDeviceCollection> collection;
    HRESULT hr = enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.put());
    UINT count = 0;
    if (SUCCEEDED(hr)) {
        hr = collection->GetCount(&count);
    }
    for (UINT i = 0; SUCCEEDED(hr) && i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (SUCCEEDED(collection->Item(i, device.put()))) {
            list.devices.push_back(device);
        }
    }
    return hr;
}

SampleLayout LayoutOf(const WAVEFORMATEX& format) {
    SampleLayout layout;
    layout.bits = format.wBitsPerSample;
    layout.channels = format.nChannels;
    layout.sampleRate = static_cast<int>(format.nSamplesPerSec);
    layout.type = SampleType::Other;
    if (format.wFormatTag == WAVE_FORMAT_PCM) {
        layout.type = SampleType::Pcm;
    } else if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        layout.type = SampleType::Float;
    } else if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22) {
        const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
        layout.channelMask = extensible.dwChannelMask;
        if (::IsEqualGUID(extensible.SubFormat, kSubtypePcm)) {
            layout.type = SampleType::Pcm;
        } else if (::IsEqualGUID(extensible.SubFormat, kSubtypeFloat)) {
            layout.type = SampleType::Float;
        }
    }
    if (format.nBlockAlign != layout.BytesPerFrame()) {
        layout.type = SampleType::Other; // packed in a way we don't read
    }
    return layout;
}

} // namespace

int64_t PerformanceTime(LARGE_INTEGER counter) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    // In two steps, so that a long uptime can't overflow.
    return counter.QuadPart / frequency * 10000000 +
           counter.QuadPart % frequency * 10000000 / frequency;
}

int64_t PerformanceTime() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return PerformanceTime(now);
}

bool ListAudioDevices(std::string& error) {
    ComPtr<IMMDeviceEnumerator> enumerator;
    const HRESULT hr = CreateEnumerator(enumerator);
    if (FAILED(hr)) {
        error = "Windows audio isn't available (" + Hex(hr) + ")";
        return false;
    }
    const struct {
        EDataFlow flow;
        const char* heading;
    } sections[] = {
        {eCapture, "recording devices (--capture NAME picks one, * marks the default):"},
        {eRender, "playback devices (--live captures the default, marked *):"},
    };
    for (const auto& section : sections) {
        std::printf("%s\n", section.heading);
        DeviceList list;
        ListDevices(enumerator.get(), section.flow, list);
        for (const auto& device : list.devices) {
            const bool isDefault = DeviceId(device.get()) == list.defaultId;
            std::printf("  %s %s\n", isDefault ? "*" : " ",
                        Narrow(FriendlyName(device.get()).c_str()).c_str());
        }
        if (list.devices.empty()) {
            std::printf("  (none)\n");
        }
    }
    return true;
}

LiveCapture::~LiveCapture() {
    if (started_) {
        client_->Stop();
    }
}

std::string LiveCapture::Failure(const char* what, HRESULT hr) const {
    return std::string(what) + " \"" + deviceName_ + "\" (" + Hex(hr) + ")";
}

bool LiveCapture::Open(LiveSource source, const std::string& name, std::string& error) {
    source_ = source;
    const bool loopback = source == LiveSource::Loopback;
    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = CreateEnumerator(enumerator);
    if (FAILED(hr)) {
        error = "Windows audio isn't available (" + Hex(hr) + ")";
        return false;
    }
    if (loopback || name.empty()) {
        hr = enumerator->GetDefaultAudioEndpoint(loopback ? eRender : eCapture, eConsole,
                                                 device_.put());
        if (FAILED(hr)) {
            error = loopback ? "no playback device to capture from" : "no recording device";
            if (hr != E_NOTFOUND) {
                error += " (" + Hex(hr) + ")";
            }
            return false;
        }
    } else {
        wchar_t wide[256] = {};
        ::MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, 255);
        const std::wstring wanted = Lower(wide);
        DeviceList list;
        ListDevices(enumerator.get(), eCapture, list);
        for (const auto& device : list.devices) {
            if (Lower(FriendlyName(device.get())).find(wanted) != std::wstring::npos) {
                device_ = device;
                break;
            }
        }
        if (!device_) {
            error = list.devices.empty() ? "no recording device"
                                         : "no recording device's name contains \"" + name +
                                               "\" (--list-devices lists them)";
            return false;
        }
    }
    deviceName_ = Narrow(FriendlyName(device_.get()).c_str());

    hr = device_->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                           client_.put_void());
    if (FAILED(hr)) {
        error = Failure("can't open the device", hr);
        return false;
    }
    WAVEFORMATEX* mix = nullptr;
    hr = client_->GetMixFormat(&mix);
    if (FAILED(hr) || !mix) {
        error = Failure("can't read the audio format of", hr);
        return false;
    }
    layout_ = LayoutOf(*mix);
    if (const char* problem = LayoutProblem(layout_)) {
        ::CoTaskMemFree(mix);
        error = "the audio format of \"" + deviceName_ + "\" can't be used: " + problem + " (" +
                DescribeLayout(layout_) + ")";
        return false;
    }
    hr = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0,
                             kBufferDuration, 0, mix, nullptr);
    ::CoTaskMemFree(mix);
    if (SUCCEEDED(hr)) {
        hr = client_->GetService(IID_PPV_ARGS(capture_.put()));
    }
    if (FAILED(hr)) {
        capture_.reset();
        if (hr == AUDCLNT_E_DEVICE_IN_USE) {
            error = "\"" + deviceName_ + "\" is in use by another program in exclusive mode";
        } else if (loopback) {
            // Wine 8 accepts the loopback flag, then has no capture client
            // for a playback device (AUDCLNT_E_WRONG_ENDPOINT_TYPE).
            error = "loopback capture isn't available on this system (" + Hex(hr) + ")";
        } else {
            error = Failure("can't capture from", hr);
        }
        return false;
    }
    return true;
}

bool LiveCapture::Start(std::string& error) {
    const HRESULT hr = client_->Start();
    if (FAILED(hr)) {
        error = Failure("can't start capturing from", hr);
        return false;
    }
    started_ = true;
    stateCheckedAt_ = PerformanceTime();
    return true;
}

bool LiveCapture::Drain(LiveWindow& window, std::string& error) {
    HRESULT hr = S_OK;
    // A bound, so that a device that never runs dry can't hold the frame.
    for (int packet = 0; packet < 1000; ++packet) {
        UINT32 waiting = 0;
        hr = capture_->GetNextPacketSize(&waiting);
        if (FAILED(hr) || waiting == 0) {
            break;
        }
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        UINT64 position = 0;
        UINT64 captured = 0;
        hr = capture_->GetBuffer(&data, &frames, &flags, &position, &captured);
        if (FAILED(hr) || hr == AUDCLNT_S_BUFFER_EMPTY) {
            break;
        }
        // The device's capture time of the packet's first frame, in the
        // performance counter's clock; the newest frame is the packet's
        // last. No frame is captured after the packet is in hand: some
        // drivers (Wine's) stamp the time they received the packet instead.
        const int64_t received = PerformanceTime();
        const bool measured = !(flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) && captured != 0;
        int64_t newest = received;
        if (measured && frames > 0) {
            newest = std::min(received,
                              static_cast<int64_t>(captured) +
                                  static_cast<int64_t>(frames - 1) * 10000000 / layout_.sampleRate);
        }
        if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
            window.AppendSilence(frames, newest, measured);
        } else {
            window.Append(data, frames, newest, measured);
        }
        hr = capture_->ReleaseBuffer(frames);
        if (FAILED(hr)) {
            break;
        }
    }
    // A device that went away may just stop sending packets, with no call
    // above failing; its state or the padding query tells.
    const int64_t now = PerformanceTime();
    if (SUCCEEDED(hr) && now - stateCheckedAt_ >= kStateCheckInterval) {
        stateCheckedAt_ = now;
        DWORD state = 0;
        UINT32 padding = 0;
        hr = client_->GetCurrentPadding(&padding);
        if (SUCCEEDED(hr) && (FAILED(device_->GetState(&state)) || state != DEVICE_STATE_ACTIVE)) {
            hr = AUDCLNT_E_DEVICE_INVALIDATED;
        }
    }
    if (SUCCEEDED(hr)) {
        return true;
    }
    const char* kind = source_ == LiveSource::Loopback ? "playback" : "recording";
    if (hr == AUDCLNT_E_DEVICE_INVALIDATED) {
        error = std::string("the ") + kind + " device \"" + deviceName_ +
                "\" went away (unplugged or disabled)";
    } else if (hr == AUDCLNT_E_SERVICE_NOT_RUNNING) {
        error = "the Windows audio service stopped";
    } else {
        error = Failure("lost the audio of", hr);
    }
    return false;
}
