#pragma once
// The plug-in object's open dialog windows. Adding one is the only step of
// opening a dialog that allocates inside WM_INITDIALOG, so it reports a
// failed allocation (the dialog then doesn't open) instead of throwing
// through the dialog manager. The array comes from malloc, which fails
// plainly, where even a nothrow new throws and catches inside.

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

class DialogList {
public:
    DialogList() = default;
    DialogList(const DialogList&) = delete;
    DialogList& operator=(const DialogList&) = delete;
    ~DialogList() { std::free(items_); }

    bool Empty() const noexcept { return size_ == 0; }
    HWND Last() const noexcept { return items_[size_ - 1]; }

    // False, with nothing changed, when there is no memory for one more.
    bool Add(HWND window) noexcept {
        if (size_ == capacity_) {
            const size_t capacity = capacity_ == 0 ? 4 : capacity_ * 2;
            HWND* const items = static_cast<HWND*>(std::malloc(capacity * sizeof(HWND)));
            if (items == nullptr) {
                return false;
            }
            if (size_ != 0) {
                std::memcpy(items, items_, size_ * sizeof(HWND));
            }
            std::free(items_);
            items_ = items;
            capacity_ = capacity;
        }
        items_[size_++] = window;
        return true;
    }

    // False when the window isn't in the list.
    bool Remove(HWND window) noexcept {
        for (size_t i = 0; i < size_; ++i) {
            if (items_[i] == window) {
                for (++i; i < size_; ++i) {
                    items_[i - 1] = items_[i];
                }
                --size_;
                return true;
            }
        }
        return false;
    }

private:
    HWND* items_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};
