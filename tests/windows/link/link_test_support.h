#pragma once
// Shared by the link tests: the port the virtual controller listens on, its
// log, and small timing helpers.

#include "../common/vctl_log.h"
#include "common/win32/unique_handle.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <string>
#include <vector>

inline double NowMs() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

// A second handle on a port, for reading and changing its line settings
// beside the link. Wine doesn't enforce the link's exclusive access.
inline UniqueFile OpenPortDirectly(const std::string& port) {
    const std::string path = "\\\\.\\" + port;
    return UniqueFile(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
}

// The handles this process holds. GetProcessHandleCount answers 0 under
// Wine, so the count comes from the system's handle list, which Wine keeps.
inline DWORD HandleCount() {
    using QueryFn = LONG(NTAPI*)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    static std::vector<unsigned char> buffer(1 << 16);
    LONG status;
    while ((status = query(SystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), nullptr)) == kLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0) {
        ADD_FAILURE() << "NtQuerySystemInformation: 0x" << std::hex << status;
        return 0;
    }
    const auto* info = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    const ULONG self = ::GetCurrentProcessId();
    DWORD count = 0;
    for (ULONG i = 0; i < info->Count; ++i) {
        count += info->Handle[i].OwnerPid == self;
    }
    return count;
}

// Threads end and release their handles a little after they are told to.
inline DWORD HandleCountSettledAt(DWORD expected, int timeoutMs = 2000) {
    const double deadline = NowMs() + timeoutMs;
    DWORD count = HandleCount();
    while (count != expected && NowMs() < deadline) {
        ::Sleep(10);
        count = HandleCount();
    }
    return count;
}

// Gaps between consecutive messages, in the controller's milliseconds.
inline std::vector<double> Gaps(const VctlMessages& messages) {
    std::vector<double> gaps;
    for (size_t i = 1; i < messages.size(); ++i) {
        gaps.push_back(messages[i].timeMs - messages[i - 1].timeMs);
    }
    return gaps;
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(port_.empty()) << "run this program under tools/with-vctl";
        ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "no controller log";
    }

    // Waits `ms` and returns what the controller received meanwhile.
    VctlMessages ArrivedWithin(size_t mark, int ms) {
        ::Sleep(ms);
        return log_.Since(mark);
    }

    const std::string port_ = VctlLog::TestPort();
    VctlLog log_;
};

// Timings go to the test output; the tests assert only generous bounds.
#define LINK_REPORT(...)                                                                           \
    do {                                                                                           \
        std::printf("[ measured ] " __VA_ARGS__);                                                  \
        std::printf("\n");                                                                         \
        std::fflush(stdout);                                                                       \
    } while (0)
