#pragma once
// The settings store on the Windows registry. Keys are opened and created,
// listed, copied and deleted through the Unicode calls (names in UTF-8), so
// that any key can be copied exactly; the settings' own values are read and
// written through the ANSI calls, whose strings are the settings' text.

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
    bool WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                    uint32_t size) override;
    bool ListValues(uintptr_t key, std::vector<NamedValue>& values) override;
    bool ListSubkeys(uintptr_t key, std::vector<std::string>& names) override;
    bool PutValue(uintptr_t key, const NamedValue& value) override;
    bool DeleteTreeAt(uintptr_t parent, const char* path) override;
    void CloseKey(uintptr_t key) override;

private:
    HKEY Key(uintptr_t handle) const {
        return handle == kRoot ? root_ : reinterpret_cast<HKEY>(handle);
    }

    HKEY root_;
};
