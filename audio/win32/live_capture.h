#pragma once
// A live source through WASAPI in shared mode: loopback of the default
// playback device (what the user hears), or a recording device. It wakes its
// reader with an event when audio arrives, and with another when the default
// device it follows changes or its device goes away.

#include "common/win32/com_ptr.h"
#include "common/win32/unique_handle.h"
#include "live_window.h"
#include "sample_format.h"

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>
#include <vector>

enum class LiveSource { None, Loopback, Recording };

// Which device a show takes its audio from.
struct LiveSourceChoice {
    LiveSource kind = LiveSource::None;
    std::string name; // Recording: the first device whose name contains this (any case)
    std::wstring id;  // Recording: the device with this endpoint id
    // Loopback and the default recording device follow Windows' default.
    bool FollowsDefault() const {
        return kind == LiveSource::Loopback || (name.empty() && id.empty());
    }
};

// The performance counter in 100-ns units: the clock of the devices'
// capture times.
int64_t PerformanceTime();
int64_t PerformanceTime(LARGE_INTEGER counter);

// An active recording device, named as Windows' sound settings name it (in
// the console's code page, or the system's without a console).
struct AudioDevice {
    std::wstring id;
    std::string name;
    bool isDefault = false;
};
// The active devices of one direction (eCapture or eRender). False with a
// message in `error` when Windows audio can't be reached.
bool ListAudioDevices(EDataFlow flow, std::vector<AudioDevice>& devices, std::string& error);

class LiveCapture {
public:
    enum class Change { None, DefaultChanged, DeviceLost };

    LiveCapture();
    LiveCapture(const LiveCapture&) = delete;
    LiveCapture& operator=(const LiveCapture&) = delete;
    ~LiveCapture();

    // Opens the chosen source without starting it, closing what was open.
    // False with a plain message in `error`.
    bool Open(const LiveSourceChoice& choice, std::string& error);
    bool IsOpen() const { return static_cast<bool>(capture_); }
    void Close();
    bool Start(std::string& error);

    const LiveSourceChoice& Choice() const { return choice_; }
    const std::string& DeviceName() const { return deviceName_; }
    const SampleLayout& Layout() const { return layout_; }
    // "what plays on "Speakers"" or ""Line In"", for messages.
    std::string Describe() const;

    // Signalled when a packet is ready; null when the device can't signal
    // (then read it at least every 10 ms).
    HANDLE AudioEvent() const { return eventDriven_ ? audioEvent_.get() : nullptr; }
    // Signalled when TakeChange has something to say.
    HANDLE ChangeEvent() const { return changeEvent_.get(); }
    // What happened to the device since the last call.
    Change TakeChange();

    // Moves every packet the device holds into `window`. False with a
    // message when the device is gone or capturing failed.
    bool Drain(LiveWindow& window, std::string& error);
    // Packets that came after audio the device had to drop (its buffer ran
    // over), counted over every device this capture has opened.
    long Gaps() const { return gaps_; }

private:
    class DeviceWatch;
    std::string Failure(const char* what, HRESULT hr) const;
    bool Activate(std::string& error);

    LiveSourceChoice choice_;
    ComPtr<IMMDeviceEnumerator> enumerator_;
    ComPtr<IMMDevice> device_;
    ComPtr<IAudioClient> client_;
    ComPtr<IAudioCaptureClient> capture_;
    DeviceWatch* watch_ = nullptr; // registered with the enumerator while open
    UniqueHandleNull audioEvent_;
    UniqueHandleNull changeEvent_;
    bool eventDriven_ = false;
    std::string deviceName_;
    SampleLayout layout_;
    bool started_ = false;
    bool firstPacket_ = true;
    long gaps_ = 0;
    int64_t stateCheckedAt_ = 0;
};
