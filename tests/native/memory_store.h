#pragma once
// A settings store held in memory, with the registry's rules: key and value
// names match without regard to case, a value keeps the type and the exact
// bytes it was written with, a value bigger than the reader's buffer is
// reported with its size and nothing copied, a string stored without its
// terminator gets one in the reader's buffer when there is room (not counted
// in the size), and a handle to a deleted key reads nothing. It counts the
// keys that are open, so a test can see that every key opened was closed,
// and keeps a journal of what was done, in order.

#include "config/settings_store.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct StoredValue {
    ValueType type;
    std::vector<uint8_t> bytes;
};

class MemoryStore final : public SettingsStore {
public:
    MemoryStore();
    ~MemoryStore();
    MemoryStore(const MemoryStore&) = delete;
    MemoryStore& operator=(const MemoryStore&) = delete;

    // Keys open right now (all handles not yet closed).
    int OpenKeyCount() const { return static_cast<int>(handles_.size()); }
    // Keys opened or created so far, failed attempts not counted.
    int OpenedKeyTotal() const { return openedTotal_; }
    // "create P", "open P", "open P failed", "close P", "read P\V", "write P\V",
    // "list P", "delete P", with P a key's path from the root and V a value
    // name.
    const std::vector<std::string>& Journal() const { return journal_; }
    void ClearJournal() { journal_.clear(); }

    // Direct access for tests, by path from the root; none of these opens a key.
    void Put(const std::string& path, const std::string& name, ValueType type,
             std::vector<uint8_t> bytes);
    std::optional<StoredValue> Get(const std::string& path, const std::string& name) const;
    bool KeyExists(const std::string& path) const;
    // Deletes the key with its values and subkeys; open handles to any of
    // them stay open but reach nothing.
    void DeleteKey(const std::string& path);
    void DeleteValue(const std::string& path, const std::string& name);
    std::vector<std::string> ValueNames(const std::string& path) const;
    std::vector<std::string> SubkeyNames(const std::string& path) const;
    // Creating this key (or any key below it) for writing, or deleting it,
    // fails from now on, as it would without write access.
    void DenyCreate(const std::string& path);
    // Listing the values of this key fails from now on, as when one of them
    // can't be read.
    void DenyList(const std::string& path);

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
    struct NoCase {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    struct Node {
        std::string path; // from the root, for DenyCreate
        bool deleted = false;
        std::map<std::string, StoredValue, NoCase> values;
        std::map<std::string, std::shared_ptr<Node>, NoCase> subkeys;
    };

    std::shared_ptr<Node> Walk(const std::shared_ptr<Node>& from, const char* path,
                               bool create) const;
    std::shared_ptr<Node> Find(const std::string& path) const;
    std::shared_ptr<Node> NodeOf(uintptr_t handle) const;
    uintptr_t NewHandle(std::shared_ptr<Node> node);
    static void MarkDeleted(Node& node);

    std::shared_ptr<Node> root_;
    std::map<uintptr_t, std::shared_ptr<Node>> handles_;
    uintptr_t nextHandle_ = 1;
    int openedTotal_ = 0;
    std::vector<std::string> denied_;
    std::vector<std::string> unlistable_;
    std::vector<std::string> journal_;
};
