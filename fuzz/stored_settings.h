#pragma once
// The settings target's picture of what is stored under Software\Twinkla:
// whether the key is there, then for each of its values and, per channel
// subkey that is there, each of its nine values: missing (type byte 0) or a
// type byte, a size byte and that many bytes.

#include "fuzz_input.h"

#include "config/settings.h"
#include "memory_store.h"
#include "records.h"

#include <string>

constexpr const char* kMainValues[] = {
    "Port",       "Device", "DrawFrequency", "DrawPower", "DrawChannels", "DrawChannelNumbers",
    "LightDelay", "Output", "OutputAddress", "Universe",  "StartChannel", "SourceId"};

inline std::string ChannelPath(int n) {
    return std::string(kSettingsKeyPath) + "\\Channel" + std::to_string(n);
}

inline const char* NameOf(const char* name) {
    return name;
}
inline const char* NameOf(const StoredChannelValue& value) {
    return value.name;
}

template <typename Names>
void ReadStoredValues(FuzzInput& in, MemoryStore& store, const std::string& path,
                      const Names& names) {
    for (const auto& name : names) {
        if (const uint8_t type = in.Byte()) {
            store.Put(path, NameOf(name), static_cast<ValueType>(type), in.Bytes(in.Byte()));
        }
    }
}

inline void ReadStoredSettings(FuzzInput& in, MemoryStore& store) {
    if (!(in.Byte() & 1)) {
        return;
    }
    store.CreateKey(kSettingsKeyPath);
    ReadStoredValues(in, store, kSettingsKeyPath, kMainValues);
    for (int n = 0; n < kChannelCount; ++n) {
        if (in.Byte() & 1) {
            store.CreateKey(ChannelPath(n).c_str());
            ReadStoredValues(in, store, ChannelPath(n), kStoredChannelValues);
        }
    }
}

template <typename Names>
void WriteStoredValues(FuzzOutput& out, const MemoryStore& store, const std::string& path,
                       const Names& names) {
    for (const auto& name : names) {
        const auto value = store.Get(path, NameOf(name));
        out.Byte(value ? static_cast<uint8_t>(value->type) : 0);
        if (value) {
            out.Byte(static_cast<uint8_t>(value->bytes.size()));
            out.Bytes(value->bytes);
        }
    }
}

inline void WriteStoredSettings(FuzzOutput& out, const MemoryStore& store) {
    out.Byte(store.KeyExists(kSettingsKeyPath));
    if (!store.KeyExists(kSettingsKeyPath)) {
        return;
    }
    WriteStoredValues(out, store, kSettingsKeyPath, kMainValues);
    for (int n = 0; n < kChannelCount; ++n) {
        out.Byte(store.KeyExists(ChannelPath(n)));
        if (store.KeyExists(ChannelPath(n))) {
            WriteStoredValues(out, store, ChannelPath(n), kStoredChannelValues);
        }
    }
}
