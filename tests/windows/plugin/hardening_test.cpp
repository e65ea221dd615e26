// Faults a review found, each shown through the DLL's public surface: regsvr32
// and the registry, COM calls, the player's events, and the bytes on the line.
#include "plugin_host.h"

#include "common/product.h"
#include "common/win32/com_ptr.h"
#include "common/win32/unique_handle.h"
#include "resource.h"
#include "twinkla_h.h"
#include "wmp/win32/wmp_effects.h"

#include "player_core.h"
#include "windows/common/vctl_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Kind = VctlMessage::Kind;

constexpr const char* kSettings = kSettingsKeyPath;

// The object held only by the factory is released, so the next creation
// makes a new one that loads the stored settings.
void StartOver() {
    if (::GetModuleHandleA("Twinkla.dll") != nullptr) {
        ASSERT_EQ(CallDllCanUnloadNow(), S_OK) << "a reference to the plug-in is still held";
    }
}

// Makes sure a complete set of settings is stored, as after a first run.
void EnsureStoredSettings() {
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    effects.reset();
    StartOver();
}

// Each test starts with no object and leaves none behind, and a first run's
// settings go again if there were none before it, so the order in which these
// and the other plug-in tests run doesn't matter.
class Hardening : public ::testing::Test {
protected:
    void SetUp() override {
        StartOver();
        hadSettings_ = KeyExists(HKEY_CURRENT_USER, kSettings);
    }
    void TearDown() override {
        StartOver();
        if (!hadSettings_) {
            ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettings);
        }
    }

private:
    bool hadSettings_ = false;
};

void SetValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
    UniqueHkey hkey;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr,
                                hkey.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(hkey.get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
}

std::vector<BYTE> GetValue(const char* key, const char* name) {
    BYTE data[256];
    DWORD size = sizeof data;
    UniqueHkey hkey;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, hkey.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExA(hkey.get(), name, nullptr, nullptr, data, &size) != ERROR_SUCCESS) {
        return {};
    }
    return std::vector<BYTE>(data, data + size);
}

// The port field of a property dialog opened on the object: the port name
// the object holds.
std::string PortInPropertyDialog(IWMPEffects2* effects) {
    effects->DisplayPropertyPage(nullptr);
    const HWND dialog = ::FindWindowA(nullptr, "Twinkla Properties");
    if (dialog == nullptr) {
        return "<no dialog>";
    }
    char text[64] = {};
    ::GetDlgItemTextA(dialog, IDC_PORT, text, sizeof text);
    ::DestroyWindow(dialog);
    return text;
}

TEST_F(Hardening, AFolderNameOutsideTheCodePageIsRegisteredAndTheObjectCreated) {
    // "Программы\Twinkla\": no ANSI code page of this prefix holds it.
    const std::wstring folder =
        ProgramDirectoryW() + L"\u041F\u0440\u043E\u0433\u0440\u0430\u043C\u043C\u044B\\";
    const std::wstring dll = folder + L"Twinkla\\Twinkla.dll";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"Twinkla").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW((ProgramDirectoryW() + L"Twinkla.dll").c_str(), dll.c_str(), FALSE));

    struct RegisterTheOriginalAgain {
        ~RegisterTheOriginalAgain() { EXPECT_EQ(RunRegsvr32(false), 0u); }
    } restore;
    ASSERT_EQ(RunRegsvr32(dll, false), 0u);
    wchar_t stored[MAX_PATH] = {};
    DWORD size = sizeof stored;
    EXPECT_EQ(::RegGetValueW(HKEY_CLASSES_ROOT,
                             L"CLSID\\{BAFF119E-F7C4-4F7A-87E1-BA18B0B3289A}\\InprocServer32",
                             nullptr, RRF_RT_REG_SZ, nullptr, stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(stored), dll);

    ComPtr<IWMPEffects2> effects;
    EXPECT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    const HMODULE copy = ::GetModuleHandleW(dll.c_str());
    EXPECT_NE(copy, nullptr) << "the object comes from the copy";
    effects.reset();
    if (copy != nullptr) {
        EXPECT_EQ(CallDllCanUnloadNow(copy), S_OK); // its object, port and thread go
    }
    ::CoFreeUnusedLibrariesEx(0, 0);
}

TEST_F(Hardening, StoredTwentyBytePortWithItsTerminatorInsideKeepsEveryStoredChannel) {
    ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "run under tools/with-vctl COM1 COM4";
    EnsureStoredSettings();
    // "COM4", its terminator, and 15 more bytes: 20 bytes in all. (The byte
    // after them isn't 0, or RegSetValueExA would store it as a terminator.)
    char port[21] = "COM4";
    std::memset(port + 5, 'x', sizeof port - 5);
    SetValue(kSettings, "Port", REG_SZ, port, 20);
    const BYTE nine = 9;
    SetValue(TWINKLA_SETTINGS_KEY_PATH "\\Channel3", "Address", REG_BINARY, &nine, 1);
    const std::vector<BYTE> storedPort = GetValue(kSettings, "Port");
    ASSERT_EQ(storedPort.size(), 20u);

    VctlLog log;
    const size_t mark = log.Mark();
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    EXPECT_EQ(GetValue(kSettings, "Port"), storedPort) << "nothing was written over it";
    EXPECT_EQ(GetValue(TWINKLA_SETTINGS_KEY_PATH "\\Channel3", "Address"), std::vector<BYTE>{9});
    LONG preset = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 0) << "the stored settings were loaded, not the first-run ones";
    EXPECT_EQ(PortInPropertyDialog(effects.get()), "COM4");
    EXPECT_TRUE(log.WaitForCount(mark, Kind::KeepAlive, 1, 2000)) << "COM4 is open";

    effects.reset();
    StartOver();
    SetValue(kSettings, "Port", REG_SZ, "COM1", 5);
    const BYTE three = 3;
    SetValue(TWINKLA_SETTINGS_KEY_PATH "\\Channel3", "Address", REG_BINARY, &three, 1);
}

// A player core that has let go of its own reference to the plug-in while
// still delivering events to it: the object is destroyed while subscribed,
// and a click arrives from inside the Unadvise that its teardown makes.
int g_clicksDuringUnadvise = 0;

TEST_F(Hardening, AnEventArrivingWhileTheObjectIsDestroyedIsHarmless) {
    CPlayerCore core;
    core.SetAdviseBehaviour(CPlayerCore::AdviseBehaviour::WeakSink);
    core.SetUnadviseHook([](IWMPEvents* sink) {
        ++g_clicksDuringUnadvise;
        sink->Click(1, 0, 0, 0);
    });
    {
        ComPtr<IWMPEffects2> effects;
        ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
        ASSERT_EQ(effects->SetCore(&core), S_OK);
        ASSERT_NE(core.Sink(), nullptr);
    }
    g_clicksDuringUnadvise = 0;
    VctlLog log;
    const size_t mark = log.Mark();
    EXPECT_EQ(CallDllCanUnloadNow(), S_OK); // destroys the object
    EXPECT_EQ(g_clicksDuringUnadvise, 1);
    EXPECT_EQ(core.UnadviseCalls(), 1);
    EXPECT_EQ(core.References(), 1) << "the object let go of the core";
    // It unsubscribed while its link was still there, so the click went out.
    ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 1, 2000));
    EXPECT_EQ(OfKind(log.Since(mark), Kind::Level).at(0).bytes, "000103018100");
}

// Two player threads make their first object at the same moment.
struct Creator {
    HANDLE go = nullptr;      // both wait for it
    HANDLE release = nullptr; // then hold the object until this is set
    UniqueHandleNull created; // set by the thread once it has its object
    ComPtr<IUnknown> object;  // released by its own thread, in its apartment
    HRESULT hr = E_FAIL;
};

DWORD WINAPI CreateAtOnce(void* parameter) {
    Creator& c = *static_cast<Creator*>(parameter);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ::WaitForSingleObject(c.go, INFINITE);
    c.hr = ::CoCreateInstance(CLSID_Twinkla, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              c.object.put_void());
    ::SetEvent(c.created.get());
    ::WaitForSingleObject(c.release, INFINITE);
    c.object.reset();
    ::CoUninitialize();
    return 0;
}

TEST_F(Hardening, TwoThreadsCreatingTheFirstObjectAtOnceShareOneObjectAndOneKeepAliveStream) {
    ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "run under tools/with-vctl COM1";
    EnsureStoredSettings(); // the port both would open is the stored COM1
    UniqueHandleNull go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandleNull release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Creator creators[2];
    UniqueHandleNull threads[2];
    for (int i = 0; i < 2; ++i) {
        creators[i].go = go.get();
        creators[i].release = release.get();
        creators[i].created.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        threads[i].reset(::CreateThread(nullptr, 0, CreateAtOnce, &creators[i], 0, nullptr));
        ASSERT_TRUE(threads[i]);
    }
    ::Sleep(100); // both are waiting at the barrier
    ::SetEvent(go.get());
    for (Creator& c : creators) {
        EXPECT_EQ(::WaitForSingleObject(c.created.get(), 10000), WAIT_OBJECT_0);
        EXPECT_EQ(c.hr, S_OK);
    }
    EXPECT_EQ(creators[0].object.get(), creators[1].object.get()) << "one object for both";

    // One link keeps the controller alive: a keep-alive every 500 ms, not two.
    VctlLog log;
    ::Sleep(100);
    const size_t mark = log.Mark();
    ::Sleep(2100);
    const size_t keepAlives = CountOf(log.Since(mark), Kind::KeepAlive);
    EXPECT_GE(keepAlives, 3u);
    EXPECT_LE(keepAlives, 5u);

    ::SetEvent(release.get());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(::WaitForSingleObject(threads[i].get(), 10000), WAIT_OBJECT_0);
    }
}

// Milliseconds on the performance counter.
double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void WaitUntilMs(double due) {
    for (double left; (left = due - NowMs()) > 0;) {
        ::Sleep(left > 3 ? static_cast<DWORD>(left - 2) : 0);
    }
}

// Commands about one keep-alive period apart are where a keep-alive that
// woke just as a command went out would follow it within microseconds.
TEST_F(Hardening, AKeepAliveNeverFollowsACommandByLessThanItsPeriod) {
    ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "run under tools/with-vctl COM1";
    EnsureStoredSettings();
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    CPlayerCore core;
    ASSERT_EQ(effects->SetCore(&core), S_OK);
    IWMPEvents* const events = core.Sink();
    ASSERT_NE(events, nullptr);

    VctlLog log;
    const size_t mark = log.Mark();
    std::mt19937 rng(20240);
    double due = NowMs();
    for (int i = 0; i < 60; ++i) { // about 30 s
        due += 495 + static_cast<double>(rng() % 11);
        WaitUntilMs(due);
        events->Click(1, 0, 0, 0); // one level command
    }
    ::Sleep(700);

    // The controller's own clock: how long after the last command each
    // keep-alive arrived. Reading adds a little jitter to both.
    double lastCommand = -1;
    double shortest = 1e9;
    size_t commands = 0;
    for (const VctlMessage& m : log.Since(mark)) {
        if (m.kind == Kind::Level) {
            lastCommand = m.timeMs;
            ++commands;
        } else if (m.kind == Kind::KeepAlive && lastCommand >= 0) {
            shortest = std::min(shortest, m.timeMs - lastCommand);
            EXPECT_GE(m.timeMs - lastCommand, 450) << m.line;
        }
    }
    EXPECT_EQ(commands, 60u);
    std::printf("shortest gap from a command to the next keep-alive: %.1f ms\n", shortest);
    EXPECT_EQ(effects->SetCore(nullptr), S_OK);
}

// Writes to the port through a handle of its own (Wine doesn't hold a
// serial port exclusively) until the line takes no more.
struct Filler {
    HANDLE port = INVALID_HANDLE_VALUE;
    volatile LONG written = 0;
    volatile LONG stop = 0;
};

DWORD WINAPI FillTheLine(void* parameter) {
    Filler& f = *static_cast<Filler*>(parameter);
    // Level commands for channel 0, a byte at a time: a line buffer can have
    // room for a few bytes but not for a block, and the keep-alive must find
    // none at all.
    const BYTE command[6] = {0x00, 0x01, 0x03, 0xD3, 0x80, 0x00};
    // It stops on a message boundary, so it leaves no torn message for the
    // tests that follow.
    for (LONG i = 0; !f.stop || i % 6 != 0; ++i) {
        DWORD n = 0;
        if (!::WriteFile(f.port, &command[i % 6], 1, &n, nullptr)) {
            break;
        }
        ::InterlockedExchangeAdd(&f.written, static_cast<LONG>(n));
    }
    return 0;
}

// The filler writes a byte at a time, so the plug-in's messages land inside
// its own, and the controller may be left holding the start of one. Bytes no
// message can hold, then a keep-alive, report whatever it holds as a framing
// error now, in this test, instead of in the next one's first frame.
void ClearTheControllersParser(VctlLog& log) {
    const size_t mark = log.Mark();
    const BYTE bytes[] = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0xFF, 0x81, 0x56, 0x00};
    const HANDLE port = ::CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(port, bytes, sizeof bytes, &written, nullptr);
    ::CloseHandle(port);
    ASSERT_TRUE(wrote && written == sizeof bytes);
    EXPECT_TRUE(log.WaitForCount(mark, Kind::KeepAlive, 1, 5000));
}

// Resumes the controller after a while whatever happens, so that a close
// that waits for the stalled line ends the test instead of hanging it.
DWORD WINAPI ResumeLater(void* parameter) {
    if (::WaitForSingleObject(static_cast<HANDLE>(parameter), 15000) == WAIT_TIMEOUT) {
        SignalVctl("CONT");
    }
    return 0;
}

TEST_F(Hardening, AStalledLineHoldsNeitherAReopenNorTheReleaseForLong) {
    ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "run under tools/with-vctl COM1";
    EnsureStoredSettings();
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    ASSERT_EQ(effects->DisplayPropertyPage(nullptr), S_OK);
    const HWND dialog = ::FindWindowA(nullptr, "Twinkla Properties");
    ASSERT_NE(dialog, nullptr);

    // The controller stops reading; the line fills up and writes block.
    Filler filler;
    filler.port = ::CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(filler.port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SignalVctl("STOP"));
    ::Sleep(300); // the signal is delivered by a program of its own
    UniqueHandleNull fillerThread(::CreateThread(nullptr, 0, FillTheLine, &filler, 0, nullptr));
    for (int still = 0, i = 0; still < 3 && i < 100; ++i) {
        const LONG before = filler.written;
        ::Sleep(200);
        still = before > 0 && filler.written == before ? still + 1 : 0;
        ASSERT_EQ(::WaitForSingleObject(fillerThread.get(), 0), WAIT_TIMEOUT)
            << "the controller kept reading";
    }
    ::Sleep(1200); // the keep-alive thread is now stuck in a write, holding the port

    UniqueHandleNull resumed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandleNull watchdog(::CreateThread(nullptr, 0, ResumeLater, resumed.get(), 0, nullptr));

    // Apply reopens the port: the old one must be closed first.
    double start = NowMs();
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
    const double reopen = NowMs() - start;
    ::DestroyWindow(dialog);
    effects.reset();
    start = NowMs();
    EXPECT_EQ(CallDllCanUnloadNow(), S_OK); // closes the link
    const double release = NowMs() - start;
    std::printf("with the line stalled: reopen %.0f ms, release %.0f ms\n", reopen, release);
    EXPECT_LT(reopen, 2600);
    EXPECT_LT(release, 2600);

    ::SetEvent(resumed.get());
    filler.stop = 1;
    SignalVctl("CONT");
    EXPECT_EQ(::WaitForSingleObject(fillerThread.get(), 20000), WAIT_OBJECT_0);
    ::CloseHandle(filler.port);
    ::WaitForSingleObject(watchdog.get(), INFINITE);

    // Once the line moves again the stuck thread finishes its write, closes
    // the port it was left and ends: no keep-alive comes after that.
    VctlLog log;
    for (size_t seen = log.Mark(), i = 0; i < 50; ++i) { // until the backlog has drained
        ::Sleep(200);
        if (log.Mark() == seen) {
            break;
        }
        seen = log.Mark();
    }
    const size_t mark = log.Mark();
    ::Sleep(1200);
    EXPECT_EQ(CountOf(log.Since(mark), Kind::KeepAlive), 0u) << "the thread has ended";
    ClearTheControllersParser(log);
}

// Swaps a function that `module` imports by name for another; returns the
// one it had, or null when the module doesn't import it.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) {
            continue;
        }
        auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                std::strcmp(
                    reinterpret_cast<const char*>(
                        reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)
                            ->Name),
                    function) != 0) {
                continue;
            }
            DWORD protection = 0;
            ::VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                             &protection);
            void* const previous = reinterpret_cast<void*>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            ::VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

using MallocFn = void*(__cdecl*)(size_t);
MallocFn g_realMalloc = nullptr;
volatile LONG g_allocationsBeforeFailure = 0;

void* __cdecl FailingOnceMalloc(size_t size) {
    return ::InterlockedDecrement(&g_allocationsBeforeFailure) == -1 ? nullptr : g_realMalloc(size);
}

// While it is held, the DLL's allocations succeed except the one after the
// first `succeeding`.
class OneAllocationFails {
public:
    OneAllocationFails(HMODULE dll, LONG succeeding) : dll_(dll) {
        g_allocationsBeforeFailure = succeeding;
        g_realMalloc = reinterpret_cast<MallocFn>(
            PatchImport(dll, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingOnceMalloc)));
    }
    ~OneAllocationFails() {
        if (g_realMalloc != nullptr) {
            PatchImport(dll_, "msvcrt.dll", "malloc", reinterpret_cast<void*>(g_realMalloc));
        }
    }
    OneAllocationFails(const OneAllocationFails&) = delete;
    OneAllocationFails& operator=(const OneAllocationFails&) = delete;
    bool Active() const { return g_realMalloc != nullptr; }
    bool Failed() const { return g_allocationsBeforeFailure < 0; }

private:
    HMODULE dll_;
};

// The dialog object is allocated; recording its window in the object's list
// of open dialogs, inside WM_INITDIALOG, is not.
TEST_F(Hardening, AnAllocationFailureWhileADialogOpensLeavesNoDialogAndNoException) {
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK); // a new object, no dialogs yet
    HRESULT hr = E_FAIL;
    {
        OneAllocationFails failure(::GetModuleHandleA("Twinkla.dll"), 1);
        ASSERT_TRUE(failure.Active()) << "Twinkla.dll doesn't import malloc from msvcrt.dll";
        hr = effects->DisplayPropertyPage(nullptr);
        EXPECT_TRUE(failure.Failed());
    }
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(::FindWindowA(nullptr, "Twinkla Properties"), nullptr) << "no dialog opened";
    effects.reset();
    EXPECT_EQ(CallDllCanUnloadNow(), S_OK) << "nothing of the dialog holds the module";

    // With memory to spare again, the dialog opens.
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    EXPECT_EQ(effects->DisplayPropertyPage(nullptr), S_OK);
    const HWND dialog = ::FindWindowA(nullptr, "Twinkla Properties");
    EXPECT_NE(dialog, nullptr);
    ::DestroyWindow(dialog);
}

} // namespace
