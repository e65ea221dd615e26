#pragma once
// Holds a slim reader/writer lock exclusively for a scope.

#include <windows.h>

#include <mutex>

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : lock_(lock) {
        ::AcquireSRWLockExclusive(&lock_);
    }
    // For a lock the caller has acquired already.
    ExclusiveLock(SRWLOCK& lock, std::adopt_lock_t) noexcept : lock_(lock) {}
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK& lock_;
};
