#pragma once
// Owns one COM reference and releases it; a copy takes a reference of its
// own. The surface is UniqueHandle's: put() releases what is held before
// handing out the address, so an out-parameter never leaks the old reference.

#include <unknwn.h>

#include <utility>

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller holds.
    explicit ComPtr(T* p) : p_(p) {}
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) {
            p_->AddRef();
        }
    }
    ComPtr& operator=(const ComPtr& other) {
        if (other.p_) {
            other.p_->AddRef();
        }
        reset(other.p_);
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : p_(other.release()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Hands the reference to the caller.
    T* release() { return std::exchange(p_, nullptr); }

    void reset(T* p = nullptr) {
        if (T* old = std::exchange(p_, p)) {
            old->Release();
        }
    }

    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};
