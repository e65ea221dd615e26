#pragma once
// A live source for the stand-in, through WASAPI in shared mode: loopback of
// the default playback device (what the user hears), or a recording device.

#include "common/win32/com_ptr.h"
#include "live_window.h"
#include "sample_format.h"

#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>

enum class LiveSource { None, Loopback, Recording };

// The performance counter in 100-ns units: the clock of the devices'
// capture times.
int64_t PerformanceTime();
int64_t PerformanceTime(LARGE_INTEGER counter);

// Prints the active recording and playback devices, the defaults marked.
// False with a message in `error` when Windows audio can't be reached.
bool ListAudioDevices(std::string& error);

class LiveCapture {
public:
    LiveCapture() = default;
    LiveCapture(const LiveCapture&) = delete;
    LiveCapture& operator=(const LiveCapture&) = delete;
    ~LiveCapture();

    // Opens the source without starting it. For a recording device, `name`
    // picks the first whose name contains it (in any case); empty picks the
    // default. False with a plain message in `error`.
    bool Open(LiveSource source, const std::string& name, std::string& error);
    bool IsOpen() const { return static_cast<bool>(capture_); }
    bool Start(std::string& error);

    LiveSource Source() const { return source_; }
    const std::string& DeviceName() const { return deviceName_; }
    const SampleLayout& Layout() const { return layout_; }

    // Moves every packet the device holds into `window`. False with a
    // message when the device is gone or capturing failed.
    bool Drain(LiveWindow& window, std::string& error);

private:
    std::string Failure(const char* what, HRESULT hr) const;

    LiveSource source_ = LiveSource::None;
    ComPtr<IMMDevice> device_;
    ComPtr<IAudioClient> client_;
    ComPtr<IAudioCaptureClient> capture_;
    std::string deviceName_;
    SampleLayout layout_;
    bool started_ = false;
    int64_t stateCheckedAt_ = 0;
};
