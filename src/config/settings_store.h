#pragma once
// The little of the registry that the settings need: keys opened for reading
// or created for writing, and typed values read into a buffer of a given size.
// The Win32 store is the registry itself; the memory store stands in for it
// in the core's tests.

#include <cstdint>
#include <utility>

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
    // Creates or overwrites the value; failures are ignored, as the settings
    // have no one to report them to.
    void Write(const char* name, ValueType type, const void* data, uint32_t size) const;

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

protected:
    ~SettingsStore() = default;

    // The parent handle that stands for the store's root.
    static constexpr uintptr_t kRoot = 0;

    // Each returns the new key's handle, or 0 when it couldn't be opened.
    virtual uintptr_t CreateKeyAt(uintptr_t parent, const char* path) = 0;
    virtual uintptr_t OpenKeyAt(uintptr_t parent, const char* path) = 0;
    virtual ReadResult ReadValue(uintptr_t key, const char* name, void* data, uint32_t& size) = 0;
    virtual void WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                            uint32_t size) = 0;
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

inline void SettingsKey::Write(const char* name, ValueType type, const void* data,
                               uint32_t size) const {
    if (store_) {
        store_->WriteValue(handle_, name, type, data, size);
    }
}

inline void SettingsKey::Close() {
    if (store_) {
        std::exchange(store_, nullptr)->CloseKey(std::exchange(handle_, 0));
    }
}
