#include "memory_store.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

// Non-empty components of a '\'-separated path, as the registry skips
// empty ones.
std::vector<std::string> Components(const char* path) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = path ? path : ""; *p; ++p) {
        if (*p == '\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += *p;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

std::string Join(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + '\\' + name;
}

// `path` is `ancestor` or lies below it.
bool IsWithin(const std::string& path, const std::string& ancestor) {
    if (path.size() < ancestor.size() || !EqualNoCase(path.substr(0, ancestor.size()), ancestor)) {
        return false;
    }
    return path.size() == ancestor.size() || path[ancestor.size()] == '\\';
}

// REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ.
bool IsStringType(ValueType type) {
    return type == 1 || type == 2 || type == 7;
}

} // namespace

bool MemoryStore::NoCase::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

MemoryStore::MemoryStore() : root_(std::make_shared<Node>()) {}
MemoryStore::~MemoryStore() = default;

std::shared_ptr<MemoryStore::Node> MemoryStore::Walk(const std::shared_ptr<Node>& from,
                                                     const char* path, bool create) const {
    if (!from || from->deleted) {
        return nullptr;
    }
    std::shared_ptr<Node> node = from;
    for (const std::string& part : Components(path)) {
        auto it = node->subkeys.find(part);
        if (it != node->subkeys.end()) {
            node = it->second;
            continue;
        }
        if (!create) {
            return nullptr;
        }
        auto child = std::make_shared<Node>();
        child->path = Join(node->path, part);
        node = node->subkeys.emplace(part, std::move(child)).first->second;
    }
    return node;
}

std::shared_ptr<MemoryStore::Node> MemoryStore::Find(const std::string& path) const {
    return Walk(root_, path.c_str(), false);
}

std::shared_ptr<MemoryStore::Node> MemoryStore::NodeOf(uintptr_t handle) const {
    if (handle == kRoot) {
        return root_;
    }
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

uintptr_t MemoryStore::NewHandle(std::shared_ptr<Node> node) {
    const uintptr_t handle = nextHandle_++;
    handles_.emplace(handle, std::move(node));
    ++openedTotal_;
    return handle;
}

void MemoryStore::MarkDeleted(Node& node) {
    node.deleted = true;
    for (auto& [name, child] : node.subkeys) {
        MarkDeleted(*child);
    }
}

uintptr_t MemoryStore::CreateKeyAt(uintptr_t parent, const char* path) {
    const std::shared_ptr<Node> from = NodeOf(parent);
    if (!from || from->deleted) {
        return 0;
    }
    std::string target = from->path;
    for (const std::string& part : Components(path)) {
        target = Join(target, part);
    }
    for (const std::string& denied : denied_) {
        if (IsWithin(target, denied)) {
            journal_.push_back("create " + target + " failed");
            return 0;
        }
    }
    std::shared_ptr<Node> node = Walk(from, path, true);
    journal_.push_back("create " + target);
    return NewHandle(std::move(node));
}

uintptr_t MemoryStore::OpenKeyAt(uintptr_t parent, const char* path) {
    const std::shared_ptr<Node> from = NodeOf(parent);
    std::shared_ptr<Node> node = Walk(from, path, false);
    std::string target = from ? from->path : std::string();
    for (const std::string& part : Components(path)) {
        target = Join(target, part);
    }
    if (!node) {
        journal_.push_back("open " + target + " failed");
        return 0;
    }
    journal_.push_back("open " + target);
    return NewHandle(std::move(node));
}

ReadResult MemoryStore::ReadValue(uintptr_t key, const char* name, void* data, uint32_t& size) {
    const std::shared_ptr<Node> node = NodeOf(key);
    if (!node || node->deleted) {
        return ReadResult::Missing;
    }
    journal_.push_back("read " + Join(node->path, name ? name : ""));
    const auto it = node->values.find(name ? name : "");
    if (it == node->values.end()) {
        return ReadResult::Missing;
    }
    const StoredValue& value = it->second;
    const uint32_t stored = static_cast<uint32_t>(value.bytes.size());
    const uint32_t room = size;
    size = stored;
    if (stored > room) {
        return ReadResult::TooLarge;
    }
    if (data != nullptr && stored != 0) {
        auto* out = static_cast<uint8_t*>(data);
        std::memcpy(out, value.bytes.data(), stored);
        if (IsStringType(value.type) && value.bytes.back() != 0 && stored < room) {
            out[stored] = 0;
        }
    }
    return ReadResult::Ok;
}

bool MemoryStore::WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                             uint32_t size) {
    const std::shared_ptr<Node> node = NodeOf(key);
    if (!node || node->deleted) {
        return false;
    }
    journal_.push_back("write " + Join(node->path, name ? name : ""));
    const auto* begin = static_cast<const uint8_t*>(data);
    node->values[name ? name : ""] = {type, std::vector<uint8_t>(begin, begin + (data ? size : 0))};
    return true;
}

bool MemoryStore::ListValues(uintptr_t key, std::vector<NamedValue>& values) {
    const std::shared_ptr<Node> node = NodeOf(key);
    if (!node || node->deleted) {
        return false;
    }
    journal_.push_back("list " + node->path);
    for (const std::string& denied : unlistable_) {
        if (EqualNoCase(node->path, denied)) {
            return false;
        }
    }
    for (const auto& [name, value] : node->values) {
        values.push_back({name, value.type, value.bytes});
    }
    return true;
}

bool MemoryStore::ListSubkeys(uintptr_t key, std::vector<std::string>& names) {
    const std::shared_ptr<Node> node = NodeOf(key);
    if (!node || node->deleted) {
        return false;
    }
    for (const auto& [name, child] : node->subkeys) {
        names.push_back(name);
    }
    return true;
}

bool MemoryStore::PutValue(uintptr_t key, const NamedValue& value) {
    return WriteValue(key, value.name.c_str(), static_cast<ValueType>(value.type),
                      value.bytes.data(), static_cast<uint32_t>(value.bytes.size()));
}

bool MemoryStore::DeleteTreeAt(uintptr_t parent, const char* path) {
    const std::shared_ptr<Node> from = NodeOf(parent);
    if (!from || from->deleted) {
        return false;
    }
    const std::vector<std::string> parts = Components(path);
    if (parts.empty()) {
        return false; // never the key itself
    }
    std::string target = from->path;
    for (const std::string& part : parts) {
        target = Join(target, part);
    }
    for (const std::string& denied : denied_) {
        if (IsWithin(target, denied)) {
            journal_.push_back("delete " + target + " failed");
            return false;
        }
    }
    journal_.push_back("delete " + target);
    DeleteKey(target);
    return true;
}

void MemoryStore::CloseKey(uintptr_t key) {
    const auto it = handles_.find(key);
    if (it != handles_.end()) {
        journal_.push_back("close " + it->second->path);
        handles_.erase(it);
    }
}

void MemoryStore::Put(const std::string& path, const std::string& name, ValueType type,
                      std::vector<uint8_t> bytes) {
    Walk(root_, path.c_str(), true)->values[name] = {type, std::move(bytes)};
}

std::optional<StoredValue> MemoryStore::Get(const std::string& path,
                                            const std::string& name) const {
    const std::shared_ptr<Node> node = Find(path);
    if (!node) {
        return std::nullopt;
    }
    const auto it = node->values.find(name);
    if (it == node->values.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool MemoryStore::KeyExists(const std::string& path) const {
    return Find(path) != nullptr;
}

void MemoryStore::DeleteKey(const std::string& path) {
    const std::vector<std::string> parts = Components(path.c_str());
    if (parts.empty()) {
        return;
    }
    std::string parentPath;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        parentPath = Join(parentPath, parts[i]);
    }
    const std::shared_ptr<Node> parent = Find(parentPath);
    if (!parent) {
        return;
    }
    const auto it = parent->subkeys.find(parts.back());
    if (it != parent->subkeys.end()) {
        MarkDeleted(*it->second);
        parent->subkeys.erase(it);
    }
}

void MemoryStore::DeleteValue(const std::string& path, const std::string& name) {
    if (const std::shared_ptr<Node> node = Find(path)) {
        node->values.erase(name);
    }
}

std::vector<std::string> MemoryStore::ValueNames(const std::string& path) const {
    std::vector<std::string> names;
    if (const std::shared_ptr<Node> node = Find(path)) {
        for (const auto& [name, value] : node->values) {
            names.push_back(name);
        }
    }
    return names;
}

std::vector<std::string> MemoryStore::SubkeyNames(const std::string& path) const {
    std::vector<std::string> names;
    if (const std::shared_ptr<Node> node = Find(path)) {
        for (const auto& [name, child] : node->subkeys) {
            names.push_back(name);
        }
    }
    return names;
}

void MemoryStore::DenyCreate(const std::string& path) {
    std::string joined;
    for (const std::string& part : Components(path.c_str())) {
        joined = Join(joined, part);
    }
    denied_.push_back(joined);
}

void MemoryStore::DenyList(const std::string& path) {
    std::string joined;
    for (const std::string& part : Components(path.c_str())) {
        joined = Join(joined, part);
    }
    unlistable_.push_back(joined);
}
