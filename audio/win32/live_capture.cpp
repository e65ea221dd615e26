#include "live_capture.h"

#include "common/scope_exit.h"
#include "common/win32/hresult.h"
#include "common/win32/interface_table.h"

#include <mmreg.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwctype>
#include <new>

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
    const auto clearValue = ScopeExit([&] { ::PropVariantClear(&value); });
    if (SUCCEEDED(store->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR &&
        value.pwszVal) {
        return value.pwszVal;
    }
    return L"(unnamed device)";
}

std::wstring DeviceId(IMMDevice* device) {
    LPWSTR id = nullptr;
    const auto freeId = ScopeExit([&] { ::CoTaskMemFree(id); });
    if (device && SUCCEEDED(device->GetId(&id)) && id) {
        return id;
    }
    return {};
}

HRESULT CreateEnumerator(ComPtr<IMMDeviceEnumerator>& enumerator) {
    return ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(enumerator.put()));
}

// Active devices of one direction, and the default's id.
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
    RETURN_IF_FAILED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.put()));
    UINT count = 0;
    RETURN_IF_FAILED(collection->GetCount(&count));
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (SUCCEEDED(collection->Item(i, device.put()))) {
            list.devices.push_back(device);
        }
    }
    return S_OK;
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

// Windows' word on devices, from its own threads: the default of the watched
// direction changing, or the open device going. It only records and signals;
// the capture's reader acts on it.
class LiveCapture::DeviceWatch final : public IMMNotificationClient {
public:
    DeviceWatch(EDataFlow flow, bool followDefault, std::wstring deviceId, HANDLE changed)
        : flow_(flow), followDefault_(followDefault), deviceId_(std::move(deviceId)),
          changed_(changed) {}

    Change Take() {
        if (lost_.exchange(false)) {
            defaultChanged_ = false;
            return Change::DeviceLost;
        }
        return defaultChanged_.exchange(false) ? Change::DefaultChanged : Change::None;
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) noexcept override {
        static const InterfaceRow kInterfaces[] = {
            INTERFACE_ROW(DeviceWatch, __uuidof(IMMNotificationClient), IMMNotificationClient)};
        return QueryInterfaceFromTable(this, kInterfaces, iid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ::InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0) {
            delete this;
        }
        return static_cast<ULONG>(refs);
    }

    // IMMNotificationClient
    STDMETHODIMP OnDeviceStateChanged(LPCWSTR id, DWORD state) noexcept override {
        if (state != DEVICE_STATE_ACTIVE) {
            Lost(id);
        }
        return S_OK;
    }
    STDMETHODIMP OnDeviceAdded(LPCWSTR) noexcept override { return S_OK; }
    STDMETHODIMP OnDeviceRemoved(LPCWSTR id) noexcept override {
        Lost(id);
        return S_OK;
    }
    STDMETHODIMP OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) noexcept override {
        // A new default that is the open device (another role's change, or
        // the same device back) needs nothing.
        if (followDefault_ && flow == flow_ && role == eConsole &&
            (id == nullptr || deviceId_ != id)) {
            defaultChanged_ = true;
            ::SetEvent(changed_);
        }
        return S_OK;
    }
    STDMETHODIMP OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) noexcept override {
        return S_OK;
    }

private:
    ~DeviceWatch() = default;
    void Lost(LPCWSTR id) {
        if (id != nullptr && deviceId_ == id) {
            lost_ = true;
            ::SetEvent(changed_);
        }
    }

    LONG refs_ = 1;
    const EDataFlow flow_;
    const bool followDefault_;
    const std::wstring deviceId_;
    const HANDLE changed_; // the capture's; it outlives the registration
    std::atomic<bool> lost_{false};
    std::atomic<bool> defaultChanged_{false};
};

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

bool ListAudioDevices(EDataFlow flow, std::vector<AudioDevice>& devices, std::string& error) {
    devices.clear();
    ComPtr<IMMDeviceEnumerator> enumerator;
    const HRESULT hr = CreateEnumerator(enumerator);
    if (FAILED(hr)) {
        error = "Windows audio isn't available (" + Hex(hr) + ")";
        return false;
    }
    DeviceList list;
    ListDevices(enumerator.get(), flow, list);
    for (const auto& device : list.devices) {
        AudioDevice d;
        d.id = DeviceId(device.get());
        d.name = Narrow(FriendlyName(device.get()).c_str());
        d.isDefault = d.id == list.defaultId;
        devices.push_back(std::move(d));
    }
    return true;
}

LiveCapture::LiveCapture()
    : audioEvent_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      changeEvent_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

LiveCapture::~LiveCapture() {
    Close();
}

void LiveCapture::Close() {
    if (started_) {
        client_->Stop();
        started_ = false;
    }
    if (watch_) {
        enumerator_->UnregisterEndpointNotificationCallback(watch_);
        watch_->Release();
        watch_ = nullptr;
    }
    capture_.reset();
    client_.reset();
    device_.reset();
    deviceName_.clear();
}

std::string LiveCapture::Failure(const char* what, HRESULT hr) const {
    return std::string(what) + " \"" + deviceName_ + "\" (" + Hex(hr) + ")";
}

std::string LiveCapture::Describe() const {
    return (choice_.kind == LiveSource::Loopback ? "what plays on \"" : "\"") + deviceName_ + "\"";
}

bool LiveCapture::Open(const LiveSourceChoice& choice, std::string& error) {
    Close();
    choice_ = choice;
    const bool loopback = choice.kind == LiveSource::Loopback;
    if (!audioEvent_ || !changeEvent_) {
        error = "out of system resources";
        return false;
    }
    HRESULT hr = enumerator_ ? S_OK : CreateEnumerator(enumerator_);
    if (FAILED(hr)) {
        error = "Windows audio isn't available (" + Hex(hr) + ")";
        return false;
    }
    if (!choice.id.empty()) {
        hr = enumerator_->GetDevice(choice.id.c_str(), device_.put());
        DWORD state = 0;
        if (SUCCEEDED(hr) && (FAILED(device_->GetState(&state)) || state != DEVICE_STATE_ACTIVE)) {
            device_.reset();
        }
        if (!device_) {
            error = "the recording device isn't there (unplugged or disabled)";
            return false;
        }
    } else if (loopback || choice.name.empty()) {
        hr = enumerator_->GetDefaultAudioEndpoint(loopback ? eRender : eCapture, eConsole,
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
        ::MultiByteToWideChar(CP_ACP, 0, choice.name.c_str(), -1, wide, 255);
        const std::wstring wanted = Lower(wide);
        DeviceList list;
        ListDevices(enumerator_.get(), eCapture, list);
        for (const auto& device : list.devices) {
            if (Lower(FriendlyName(device.get())).find(wanted) != std::wstring::npos) {
                device_ = device;
                break;
            }
        }
        if (!device_) {
            error = list.devices.empty() ? "no recording device"
                                         : "no recording device's name contains \"" + choice.name +
                                               "\" (--list-devices lists them)";
            return false;
        }
    }
    deviceName_ = Narrow(FriendlyName(device_.get()).c_str());
    if (!Activate(error)) {
        Close();
        return false;
    }
    // Without word from Windows a lost device still shows in Drain's checks.
    watch_ = new (std::nothrow) DeviceWatch(loopback ? eRender : eCapture, choice.FollowsDefault(),
                                            DeviceId(device_.get()), changeEvent_.get());
    if (watch_ && FAILED(enumerator_->RegisterEndpointNotificationCallback(watch_))) {
        watch_->Release();
        watch_ = nullptr;
    }
    return true;
}

bool LiveCapture::Activate(std::string& error) {
    const bool loopback = choice_.kind == LiveSource::Loopback;
    HRESULT hr = device_->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                   client_.put_void());
    if (FAILED(hr)) {
        error = Failure("can't open the device", hr);
        return false;
    }
    WAVEFORMATEX* mix = nullptr;
    hr = client_->GetMixFormat(&mix);
    const auto freeMix = ScopeExit([&] { ::CoTaskMemFree(mix); });
    if (FAILED(hr) || !mix) {
        error = Failure("can't read the audio format of", hr);
        return false;
    }
    layout_ = LayoutOf(*mix);
    if (const char* problem = LayoutProblem(layout_)) {
        error = "the audio format of \"" + deviceName_ + "\" can't be used: " + problem + " (" +
                DescribeLayout(layout_) + ")";
        return false;
    }
    // Woken by the device rather than polling it. Systems that refuse the
    // event for a loopback stream get a stream without one.
    const DWORD flags = loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
    hr = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags | AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                             kBufferDuration, 0, mix, nullptr);
    eventDriven_ = SUCCEEDED(hr);
    if (hr == E_INVALIDARG || hr == AUDCLNT_E_INVALID_STREAM_FLAG) {
        client_.reset();
        hr = device_->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                               client_.put_void());
        if (SUCCEEDED(hr)) {
            hr = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mix,
                                     nullptr);
        }
    }
    if (SUCCEEDED(hr) && eventDriven_) {
        hr = client_->SetEventHandle(audioEvent_.get());
    }
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
    firstPacket_ = true;
    stateCheckedAt_ = PerformanceTime();
    return true;
}

LiveCapture::Change LiveCapture::TakeChange() {
    return watch_ ? watch_->Take() : Change::None;
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
        // Audio was dropped before this packet. The first packet of a stream
        // may carry the flag too, with nothing before it to lose.
        if ((flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) && !firstPacket_) {
            ++gaps_;
        }
        firstPacket_ = false;
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
    // above failing and no word from Windows (Wine sends none); its state or
    // the padding query tells.
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
    const char* kind = choice_.kind == LiveSource::Loopback ? "playback" : "recording";
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
