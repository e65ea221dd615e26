#pragma once
// The little of the registry that the settings need: keys opened for reading
// or created for writing, and typed values read into a buffer of a given size;
// and, for the copy kept before a reset, every value and subkey of a key as
// stored, exact writes and deleting a key tree. The Win32 store is the
// registry itself; the memory store stands in for it in the core's tests.
//
// Names of keys and of listed values are UTF-8, which reaches every name the
// registry can hold; the settings' own names are ASCII.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Value types, with the registry's numbers, so stored values keep their
// meaning whichever store wrote them.
enum ValueType : uint32_t {
    ValueString = 1, // REG_SZ
    ValueBinary = 3, // REG_BINARY
    ValueDword = 4,  // REG_DWORD, little-endian
};

enum class ReadResult {
    Ok,       // the value was copied; size holds its stored size
    Missing,  // no such value (or it couldn't be read)
    TooLarge, // bigger than the buffer: nothing copied; size holds the stored size
};

// A value as the store holds it: any type (the registry's number), any size.
struct NamedValue {
    std::string name; // "" is the key's default value
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
};

class SettingsStore;

// An open key; closed when it goes out of scope. An empty key (failed open)
// reads nothing and ignores writes.
class SettingsKey {
public:
    SettingsKey() = default;
    SettingsKey(SettingsStore* store, uintptr_t handle) : store_(store), handle_(handle) {}
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    SettingsKey(SettingsKey&& other) noexcept
        : store_(std::exchange(other.store_, nullptr)), handle_(std::exchange(other.handle_, 0)) {}
    SettingsKey& operator=(SettingsKey&& other) noexcept;
    ~SettingsKey() { Close(); }

    explicit operator bool() const { return store_ != nullptr; }

    // The subkey `name` for writing, created if it doesn't exist.
    SettingsKey CreateSubkey(const char* name) const;
    // The existing subkey `name` for reading.
    SettingsKey OpenSubkey(const char* name) const;

    // Reads at most `size` bytes into `data`. On Ok and TooLarge, `size` is
    // set to the stored size. The stored type is neither reported nor tested.
    ReadResult Read(const char* name, void* data, uint32_t& size) const;
    // Creates or overwrites the value. True when it was stored; the settings
    // themselves ignore failures, as they have no one to report them to.
    bool Write(const char* name, ValueType type, const void* data, uint32_t size) const;

    // Every value of the key exactly as stored, in the store's order. False
    // when one couldn't be read whole (the list is then incomplete).
    bool Values(std::vector<NamedValue>& values) const;
    // The names of the key's subkeys. False when they couldn't all be listed.
    bool Subkeys(std::vector<std::string>& names) const;
    // Stores the value exactly as Values gave it: its name, type and bytes,
    // with no conversion. True when it was stored.
    bool Put(const NamedValue& value) const;

    void Close();

private:
    SettingsStore* store_ = nullptr;
    uintptr_t handle_ = 0;
};

class SettingsStore {
public:
    // `path` under the store's root (components separated by '\'), created if
    // needed, for writing.
    SettingsKey CreateKey(const char* path) { return Wrap(CreateKeyAt(kRoot, path)); }
    // The existing key `path` under the store's root, for reading.
    SettingsKey OpenKey(const char* path) { return Wrap(OpenKeyAt(kRoot, path)); }
    // Deletes the key `path` with all its values and subkeys. True when it is
    // gone, or wasn't there.
    bool DeleteTree(const char* path) { return DeleteTreeAt(kRoot, path); }

protected:
    ~SettingsStore() = default;

    // The parent handle that stands for the store's root.
    static constexpr uintptr_t kRoot = 0;

    // Each returns the new key's handle, or 0 when it couldn't be opened.
    virtual uintptr_t CreateKeyAt(uintptr_t parent, const char* path) = 0;
    virtual uintptr_t OpenKeyAt(uintptr_t parent, const char* path) = 0;
    virtual ReadResult ReadValue(uintptr_t key, const char* name, void* data, uint32_t& size) = 0;
    virtual bool WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                            uint32_t size) = 0;
    virtual bool ListValues(uintptr_t key, std::vector<NamedValue>& values) = 0;
    virtual bool ListSubkeys(uintptr_t key, std::vector<std::string>& names) = 0;
    virtual bool PutValue(uintptr_t key, const NamedValue& value) = 0;
    virtual bool DeleteTreeAt(uintptr_t parent, const char* path) = 0;
    virtual void CloseKey(uintptr_t key) = 0;

private:
    friend class SettingsKey;
    SettingsKey Wrap(uintptr_t handle) {
        return handle ? SettingsKey(this, handle) : SettingsKey();
    }
};

inline SettingsKey& SettingsKey::operator=(SettingsKey&& other) noexcept {
    if (this != &other) {
        Close();
        store_ = std::exchange(other.store_, nullptr);
        handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
}

inline SettingsKey SettingsKey::CreateSubkey(const char* name) const {
    return store_ ? store_->Wrap(store_->CreateKeyAt(handle_, name)) : SettingsKey();
}

inline SettingsKey SettingsKey::OpenSubkey(const char* name) const {
    return store_ ? store_->Wrap(store_->OpenKeyAt(handle_, name)) : SettingsKey();
}

inline ReadResult SettingsKey::Read(const char* name, void* data, uint32_t& size) const {
    return store_ ? store_->ReadValue(handle_, name, data, size) : ReadResult::Missing;
}

inline bool SettingsKey::Write(const char* name, ValueType type, const void* data,
                               uint32_t size) const {
    return store_ && store_->WriteValue(handle_, name, type, data, size);
}

inline bool SettingsKey::Values(std::vector<NamedValue>& values) const {
    values.clear();
    return store_ && store_->ListValues(handle_, values);
}

inline bool SettingsKey::Subkeys(std::vector<std::string>& names) const {
    names.clear();
    return store_ && store_->ListSubkeys(handle_, names);
}

inline bool SettingsKey::Put(const NamedValue& value) const {
    return store_ && store_->PutValue(handle_, value);
}

inline void SettingsKey::Close() {
    if (store_) {
        std::exchange(store_, nullptr)->CloseKey(std::exchange(handle_, 0));
    }
}
