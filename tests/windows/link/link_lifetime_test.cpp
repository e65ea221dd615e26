// The link's thread, handles and module reference across Open/Close churn,
// destruction and Abandon.

#include "link/win32/controller_link.h"
#include "link_test_support.h"

#include <memory>

namespace {

using Kind = VctlMessage::Kind;

// Warms up whatever the process creates once (the port's device, the
// controller log's reader), so that later counts compare like with like.
DWORD SettledBaseline(const std::string& port, VctlLog& log) {
    {
        ControllerLink warm;
        warm.Open(port.c_str(), 1);
        warm.SetLevel(0, 0);
        warm.Close();
    }
    log.Mark();
    ::Sleep(50);
    return HandleCount();
}

TEST_F(LinkTest, OpenCloseChurnLeaksNoHandleAndTearsNoMessage) {
    const DWORD baseline = SettledBaseline(port_, log_);
    const size_t mark = log_.Mark();
    size_t sent = 0;

    // One long-lived link reopened over and over while its thread runs.
    {
        ControllerLink link;
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(link.Open(port_.c_str(), 1 + i % 255));
            link.SetLevel(i % 16, i % 101);
            ++sent;
            if (i % 7 == 0) {
                EXPECT_FALSE(link.Open("COM77", 1)); // closes without reopening
                link.SetLevel(0, 0);                 // dropped
            }
            if (i % 50 == 0) {
                ::Sleep(520); // let a keep-alive fall due mid-churn
            }
        }
    }
    // Hundreds of links, each with its own thread, closed or just destroyed.
    for (int i = 0; i < 300; ++i) {
        ControllerLink link;
        ASSERT_TRUE(link.Open(port_.c_str(), 2));
        link.SetLevel(i % 16, 50);
        ++sent;
        if (i % 2 == 0) {
            link.Close();
        }
    }

    EXPECT_EQ(HandleCountSettledAt(baseline), baseline);
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::Level, sent, 5000));
    const VctlMessages got = ArrivedWithin(mark, 200);
    EXPECT_EQ(CountOf(got, Kind::Level), sent);
    EXPECT_EQ(CountOf(got, Kind::Framing), 0u);
}

TEST_F(LinkTest, DestroyingAnOpenLinkClosesThePortAndEndsTheThread) {
    const DWORD baseline = SettledBaseline(port_, log_);
    {
        ControllerLink link;
        ASSERT_TRUE(link.Open(port_.c_str(), 1));
        ::Sleep(600); // at least one keep-alive: the thread is running
        // Thread, stop event, timer and port: the count does see them.
        EXPECT_GE(HandleCount(), baseline + 4);
    }
    EXPECT_EQ(HandleCount(), baseline) << "the destructor waits for the thread";
    ::Sleep(100); // what went out before the close arrives first
    const size_t mark = log_.Mark();
    EXPECT_TRUE(ArrivedWithin(mark, 1100).empty());
}

// What the plug-in object does under the loader lock: stop without waiting,
// then free the link while its thread may still be finishing.
TEST_F(LinkTest, AbandonReturnsAtOnceAndTheThreadFinishesOnItsOwn) {
    const DWORD baseline = SettledBaseline(port_, log_);
    auto link = std::make_unique<ControllerLink>();
    ASSERT_TRUE(link->Open(port_.c_str(), 1));
    ::Sleep(250);
    const double start = NowMs();
    link->Abandon();
    link.reset();
    const double took = NowMs() - start;
    EXPECT_LT(took, 50);
    ::Sleep(100); // what went out before the close arrives first
    const size_t mark = log_.Mark();
    EXPECT_TRUE(ArrivedWithin(mark, 1100).empty());
    // Port, timer, stop event and thread all gone once the thread has ended.
    EXPECT_EQ(HandleCountSettledAt(baseline), baseline);
    LINK_REPORT("Abandon and delete: %.2f ms", took);
}

// The test module holds a link in a DLL of its own, as the plug-in does.
using CreateLinkFn = ControllerLink* (*)();
using EndLinkFn = void (*)(ControllerLink*);

std::wstring ModuleBesideTheTests() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"link_test_module.dll";
}

bool ModuleUnloadedWithin(const std::wstring& path, int ms) {
    const double deadline = NowMs() + ms;
    while (::GetModuleHandleW(path.c_str()) != nullptr) {
        if (NowMs() > deadline) {
            return false;
        }
        ::Sleep(5);
    }
    return true;
}

TEST(LinkModule, TheThreadKeepsItsModuleLoadedUntilItEnds) {
    const std::wstring path = ModuleBesideTheTests();
    for (const char* end : {"CloseAndDeleteLink", "AbandonAndDeleteLink"}) {
        SCOPED_TRACE(end);
        HMODULE module = ::LoadLibraryW(path.c_str());
        ASSERT_NE(module, nullptr);
        auto create = reinterpret_cast<CreateLinkFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "CreateLink")));
        auto finish =
            reinterpret_cast<EndLinkFn>(reinterpret_cast<void*>(::GetProcAddress(module, end)));
        ASSERT_TRUE(create != nullptr && finish != nullptr);

        ControllerLink* link = create();
        ASSERT_NE(link, nullptr);
        ::FreeLibrary(module);
        EXPECT_EQ(::GetModuleHandleW(path.c_str()), module) << "unloaded under a running thread";

        // Hold it again while running its code, then let go: the module goes
        // once the thread has dropped its reference (from the thread itself
        // when the link is abandoned).
        ASSERT_EQ(::LoadLibraryW(path.c_str()), module);
        finish(link);
        ::FreeLibrary(module);
        EXPECT_TRUE(ModuleUnloadedWithin(path, 2000));
    }
}

} // namespace
