#pragma once
// A stored setting of the plug-in that one run of the stand-in overrides (the
// port or the device id), put back afterwards exactly as it was.

#include <windows.h>

#include <string>
#include <vector>

class ScopedSetting {
public:
    // The value `name` under the plug-in's settings key.
    explicit ScopedSetting(const wchar_t* name) : name_(name) {}
    ScopedSetting(const ScopedSetting&) = delete;
    ScopedSetting& operator=(const ScopedSetting&) = delete;
    // Restores what Apply saved, whatever its size and type, or deletes the
    // value again if there was none. If the plug-in reset the settings during
    // the run, the copy it kept holds this run's value: the copy gets the
    // stored one back too.
    ~ScopedSetting();

    // Saves the stored value (raw bytes through the Unicode calls), then
    // writes this run's. False, with `error` set and nothing changed, if
    // either step fails: the run is then refused.
    bool Apply(DWORD type, const void* data, DWORD size, std::string& error);

private:
    LSTATUS ReadOld(HKEY key);
    void PutBack(HKEY key) const;

    const wchar_t* name_;
    bool active_ = false;
    bool had_ = false;
    DWORD oldType_ = 0;
    std::vector<BYTE> old_;
    std::wstring backupMade_; // the plug-in's copy's stamp before the run
};

// Whether the plug-in has stored a complete set of settings (its last
// channel's key is there), so that a run's overrides don't meet a first run.
bool SettingsAreStored();
