#pragma once
// The settings store on the Windows registry.

#include "config/settings_store.h"

#include <windows.h>

class RegistryStore final : public SettingsStore {
public:
    // Paths are taken under HKEY_CURRENT_USER.
    RegistryStore() : root_(HKEY_CURRENT_USER) {}
    // Paths are taken under `root`, which the caller keeps open while the
    // store is used (tests give each run a scratch key of its own).
    explicit RegistryStore(HKEY root) : root_(root) {}

protected:
    uintptr_t CreateKeyAt(uintptr_t parent, const char* path) override;
    uintptr_t OpenKeyAt(uintptr_t parent, const char* path) override;
    ReadResult ReadValue(uintptr_t key, const char* name, void* data, uint32_t& size) override;
    void WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                    uint32_t size) override;
    void CloseKey(uintptr_t key) override;

private:
    HKEY Key(uintptr_t handle) const {
        return handle == kRoot ? root_ : reinterpret_cast<HKEY>(handle);
    }

    HKEY root_;
};
