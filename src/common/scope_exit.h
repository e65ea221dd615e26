#pragma once
// Runs a cleanup when the scope ends, for the one-off cleanups that have no
// owner type of their own (memory a COM call handed over, a string to free).
// release() keeps the cleanup from running, for a hand-off.
//
//   WAVEFORMATEX* mix = nullptr;
//   RETURN_IF_FAILED(client->GetMixFormat(&mix));
//   const auto freeMix = ScopeExit([&] { ::CoTaskMemFree(mix); });

#include <utility>

template <typename F> class ScopeGuard {
public:
    explicit ScopeGuard(F cleanup) noexcept : cleanup_(std::move(cleanup)) {}
    ScopeGuard(ScopeGuard&& other) noexcept
        : cleanup_(std::move(other.cleanup_)), armed_(std::exchange(other.armed_, false)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ScopeGuard& operator=(ScopeGuard&&) = delete;
    ~ScopeGuard() {
        if (armed_) {
            cleanup_();
        }
    }

    // The cleanup won't run: what it would have freed has been handed on.
    void release() noexcept { armed_ = false; }

private:
    F cleanup_;
    bool armed_ = true;
};

template <typename F> [[nodiscard]] ScopeGuard<F> ScopeExit(F cleanup) noexcept {
    return ScopeGuard<F>(std::move(cleanup));
}
