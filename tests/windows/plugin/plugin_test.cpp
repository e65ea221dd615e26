// Twinkla.dll as the player sees it: registered with regsvr32, found through
// the player's Effects key, created with CoCreateInstance.
#include "plugin_host.h"

#include "common/product.h"
#include "common/win32/dib_surface.h"
#include "common/win32/unique_handle.h"
#include "twinkla_h.h"
#include "wmp/win32/wmp_effects.h"

#include "player_core.h"
#include "win32/message_pump.h"
#include "windows/common/vctl_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr char kClassKey[] = "CLSID\\{BAFF119E-F7C4-4F7A-87E1-BA18B0B3289A}";
constexpr const char* kEffectsParent = kEffectsKeyPath;
constexpr const char* kEffectsKey = kEffectKeyPath;
constexpr const char* kPropertiesKey = kEffectPropertiesPath;

struct Bstr {
    BSTR b = nullptr;
    explicit Bstr(const wchar_t* text = nullptr) : b(text ? ::SysAllocString(text) : nullptr) {}
    ~Bstr() { ::SysFreeString(b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    std::wstring Text() const { return b ? std::wstring(b, ::SysStringLen(b)) : L"<null>"; }
};

// An empty settings key, so the first creation is a first run.
const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new RegisteredDllEnvironment(/*firstRun=*/true));

TEST(Registration, WritesTheClassAndThePlayersEffectsEntry) {
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey, nullptr), "Twinkla Class");
    const std::string inproc = std::string(kClassKey) + "\\InprocServer32";
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, inproc.c_str(), nullptr),
              ProgramDirectory() + "Twinkla.dll");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, inproc.c_str(), "ThreadingModel"), "Apartment");
    EXPECT_EQ(
        ReadString(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\TypeLib").c_str(), nullptr),
        "{FCCE77C6-6430-495C-BFFB-15051F634443}");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kPropertiesKey, "classid"),
              "{BAFF119E-F7C4-4F7A-87E1-BA18B0B3289A}");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kPropertiesKey, "name"),
              "res://Twinkla.dll/RT_STRING/#101");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kPropertiesKey, "description"),
              "res://Twinkla.dll/RT_STRING/#105");
}

TEST(Registration, RegisteringAgainReplacesBothKeysWhole) {
    UniqueHkey stray;
    const std::string strayKey = std::string(kClassKey) + "\\Stray";
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, strayKey.c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, stray.put(), nullptr),
              ERROR_SUCCESS);
    stray.reset();
    const std::string strayEffects = std::string(kEffectsKey) + "\\Old";
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, strayEffects.c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, stray.put(), nullptr),
              ERROR_SUCCESS);
    stray.reset();

    ASSERT_EQ(RunRegsvr32(false), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, strayKey.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, strayEffects.c_str()));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kClassKey, nullptr), "Twinkla Class");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kPropertiesKey, "classid"),
              "{BAFF119E-F7C4-4F7A-87E1-BA18B0B3289A}");
}

TEST(Registration, UnregisteringRemovesOnlyItsOwnKeys) {
    ASSERT_EQ(RunRegsvr32(true), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEffectsKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kEffectsParent));
    // Unregistering what isn't registered is no error; then register again
    // for the tests that follow.
    EXPECT_EQ(RunRegsvr32(true), 0u);
    ASSERT_EQ(RunRegsvr32(false), 0u);
}

TEST(PluginObject, FirstCreationOnAnEmptyRegistryStoresTheFirstRunSettings) {
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    LONG preset = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 2);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKeyPath, "Port"), "COM1");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, TWINKLA_SETTINGS_KEY_PATH "\\Channel15"));
}

TEST(PluginObject, IsASingletonThatTheFactoryKeepsAlive) {
    ComPtr<IWMPEffects2> first;
    ComPtr<IWMPEffects2> second;
    ASSERT_EQ(CreateLikeThePlayer(first.put()), S_OK);
    ASSERT_EQ(CreateLikeThePlayer(second.put()), S_OK);
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> b;
    ASSERT_EQ(first->QueryInterface(IID_IUnknown, a.put_void()), S_OK);
    ASSERT_EQ(second->QueryInterface(IID_IUnknown, b.put_void()), S_OK);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE) << "outside references are held";

    // Mark the object, let go of every outside reference, and find it again.
    ComPtr<ITwinkla> twinkla;
    ASSERT_EQ(first->QueryInterface(IID_ITwinkla, twinkla.put_void()), S_OK);
    Bstr green(L"#00FF00");
    ASSERT_EQ(twinkla->put_foregroundColor(green.b), S_OK);
    twinkla.reset();
    a.reset();
    b.reset();
    first.reset();
    second.reset();
    ASSERT_EQ(CreateLikeThePlayer(first.put()), S_OK);
    ASSERT_EQ(first->QueryInterface(IID_ITwinkla, twinkla.put_void()), S_OK);
    Bstr color;
    ASSERT_EQ(twinkla->get_foregroundColor(&color.b), S_OK);
    EXPECT_EQ(color.Text(), L"#00FF00") << "the same object, kept by the factory";
}

TEST(PluginObject, UnloadingReleasesTheObjectAndTheNextCreationIsNew) {
    EXPECT_EQ(CallDllCanUnloadNow(), S_OK);
    ComPtr<ITwinkla> twinkla;
    ASSERT_EQ(::CoCreateInstance(CLSID_Twinkla, nullptr, CLSCTX_INPROC_SERVER, IID_ITwinkla,
                                 twinkla.put_void()),
              S_OK);
    Bstr color;
    ASSERT_EQ(twinkla->get_foregroundColor(&color.b), S_OK);
    EXPECT_EQ(color.Text(), L"#FF0000");
    ComPtr<IWMPEffects> effects;
    ASSERT_EQ(twinkla->QueryInterface(IID_IWMPEffects, effects.put_void()), S_OK);
    LONG preset = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 0) << "stored settings were loaded this time";
}

TEST(PluginObject, AnswersItsInterfacesAndNoOthers) {
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    ComPtr<IUnknown> unknown;
    ComPtr<IUnknown> viaDispatch;
    ComPtr<IUnknown> viaTwinkla;
    ASSERT_EQ(effects->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    ASSERT_EQ(effects->QueryInterface(IID_IDispatch, viaDispatch.put_void()), S_OK);
    ASSERT_EQ(effects->QueryInterface(IID_ITwinkla, viaTwinkla.put_void()), S_OK);
    EXPECT_EQ(unknown.get(), viaDispatch.get()) << "IUnknown is the first table";
    EXPECT_EQ(unknown.get(), viaTwinkla.get());
    for (const IID* iid : {&IID_IWMPEvents, &IID_IWMPEffects}) {
        ComPtr<IUnknown> p;
        EXPECT_EQ(effects->QueryInterface(*iid, p.put_void()), S_OK);
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(effects->QueryInterface(IID_IClassFactory, none.put_void()), E_NOINTERFACE);
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_EQ(effects->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(PluginObject, SmallMethodsAndTheirResultCodes) {
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    DWORD capabilities = 0;
    EXPECT_EQ(effects->GetCapabilities(&capabilities), S_OK);
    EXPECT_EQ(capabilities, 6u);
    EXPECT_EQ(effects->GetCapabilities(nullptr), E_POINTER);
    Bstr title;
    EXPECT_EQ(effects->GetTitle(&title.b), S_OK);
    EXPECT_EQ(title.Text(), L"Twinkla Plugin");
    EXPECT_EQ(effects->GetTitle(nullptr), E_POINTER);
    EXPECT_EQ(effects->GoFullscreen(TRUE), E_NOTIMPL);
    EXPECT_EQ(effects->RenderFullScreen(nullptr), E_NOTIMPL);
    EXPECT_EQ(effects->MediaInfo(2, 44100, nullptr), S_OK);
    EXPECT_EQ(effects->NotifyNewMedia(nullptr), S_OK);

    LONG count = 0;
    EXPECT_EQ(effects->GetPresetCount(&count), S_OK);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(effects->GetPresetCount(nullptr), E_POINTER);
    Bstr preset;
    EXPECT_EQ(effects->GetPresetTitle(3, &preset.b), S_OK);
    EXPECT_EQ(preset.Text(), L"Frequency Only (8 Channels)");
    Bstr untouched;
    EXPECT_EQ(effects->GetPresetTitle(7, &untouched.b), E_INVALIDARG);
    EXPECT_EQ(effects->GetPresetTitle(-1, &untouched.b), E_INVALIDARG);
    EXPECT_EQ(untouched.b, nullptr);
    // An out-parameter is cleared before anything can fail, so a caller's
    // stale value never passes for an answer.
    BSTR stale = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(effects->GetPresetTitle(7, &stale), E_INVALIDARG);
    EXPECT_EQ(stale, nullptr);
    ComPtr<ITwinkla> twinkla;
    ASSERT_EQ(effects->QueryInterface(IID_ITwinkla, twinkla.put_void()), S_OK);
    ITwinkla* const sentinel = twinkla.get();
    auto* staleInfo = reinterpret_cast<ITypeInfo*>(sentinel);
    EXPECT_EQ(twinkla->GetTypeInfo(1, LOCALE_USER_DEFAULT, &staleInfo), DISP_E_BADINDEX);
    EXPECT_EQ(staleInfo, nullptr);
    EXPECT_EQ(effects->GetPresetTitle(99, nullptr), E_POINTER) << "the pointer is tested first";
    EXPECT_EQ(effects->SetCurrentPreset(7), E_INVALIDARG);
    EXPECT_EQ(effects->SetCurrentPreset(-1), E_INVALIDARG);
    EXPECT_EQ(effects->SetCurrentPreset(4), S_OK);
    LONG current = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&current), S_OK);
    EXPECT_EQ(current, 4);
    EXPECT_EQ(effects->GetCurrentPreset(nullptr), E_POINTER);

    RECT rect = {0, 0, 1024, 256};
    TimedLevel frame = {};
    const HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(effects->Render(nullptr, screen, &rect), E_POINTER);
    EXPECT_EQ(effects->Render(&frame, nullptr, &rect), E_POINTER);
    EXPECT_EQ(effects->Render(&frame, screen, nullptr), E_POINTER);
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(effects->RenderWindowed(&frame, TRUE), E_UNEXPECTED) << "no window yet";
}

TEST(Dispatch, ForegroundColorThroughIDispatchAgreesWithTheVtable) {
    ComPtr<ITwinkla> twinkla;
    ASSERT_EQ(::CoCreateInstance(CLSID_Twinkla, nullptr, CLSCTX_INPROC_SERVER, IID_ITwinkla,
                                 twinkla.put_void()),
              S_OK);
    UINT count = 0;
    EXPECT_EQ(twinkla->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    LPOLESTR name = const_cast<LPOLESTR>(L"foregroundColor");
    DISPID id = 0;
    ASSERT_EQ(twinkla->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 1);

    auto put = [&](const wchar_t* text) {
        VARIANT arg;
        ::VariantInit(&arg);
        arg.vt = VT_BSTR;
        arg.bstrVal = ::SysAllocString(text);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&arg, &named, 1, 1};
        const HRESULT hr = twinkla->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                           &params, nullptr, nullptr, nullptr);
        ::VariantClear(&arg);
        return hr;
    };
    auto get = [&] {
        VARIANT result;
        ::VariantInit(&result);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXPECT_EQ(twinkla->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                  &result, nullptr, nullptr),
                  S_OK);
        std::wstring text = result.vt == VT_BSTR ? result.bstrVal : L"<not a string>";
        ::VariantClear(&result);
        return text;
    };

    ASSERT_EQ(put(L"#00FF00"), S_OK);
    Bstr viaVtable;
    ASSERT_EQ(twinkla->get_foregroundColor(&viaVtable.b), S_OK);
    EXPECT_EQ(viaVtable.Text(), L"#00FF00");
    EXPECT_EQ(get(), L"#00FF00");

    Bstr lower(L"x12ab3c");
    EXPECT_EQ(twinkla->put_foregroundColor(lower.b), S_OK);
    EXPECT_EQ(get(), L"#12AB3C");

    for (const wchar_t* bad : {L"#00FF0", L"#00FG00", L""}) {
        Bstr text(bad);
        EXPECT_EQ(twinkla->put_foregroundColor(text.b), E_INVALIDARG);
        EXPECT_TRUE(FAILED(put(bad)));
        EXPECT_EQ(get(), L"#12AB3C") << "a rejected string changes nothing";
    }
    EXPECT_EQ(twinkla->put_foregroundColor(nullptr), E_POINTER);
    EXPECT_EQ(twinkla->get_foregroundColor(nullptr), E_POINTER);
    Bstr red(L"#FF0000");
    EXPECT_EQ(twinkla->put_foregroundColor(red.b), S_OK);
}

// A host asks by name, with no header of the plug-in's: the words follow the
// port the object opened at creation.
TEST(Dispatch, OutputStateSaysWhichPortAndWhetherItOpened) {
    const auto outputState = [] {
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(::CoCreateInstance(CLSID_Twinkla, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     dispatch.put_void()),
                  S_OK);
        LPOLESTR name = const_cast<LPOLESTR>(L"outputState");
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        VARIANT result;
        ::VariantInit(&result);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                   &result, nullptr, nullptr),
                  S_OK);
        const std::wstring text = result.vt == VT_BSTR ? result.bstrVal : L"<not a string>";
        ::VariantClear(&result);
        EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &none,
                                   nullptr, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND)
            << "read-only";
        dispatch.reset();
        CallDllCanUnloadNow(); // the next creation opens the stored port anew
        return text;
    };
    const std::string stored = ReadString(HKEY_CURRENT_USER, kSettingsKeyPath, "Port");
    const auto storePort = [](const char* port) {
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, "Port", REG_SZ, port,
                          static_cast<DWORD>(std::strlen(port) + 1));
    };
    CallDllCanUnloadNow();
    storePort("COM250");
    EXPECT_EQ(outputState(), L"port COM250 can't be opened");
    storePort("COM1"); // the virtual controller's
    EXPECT_EQ(outputState(), L"port COM1");
    storePort(stored.c_str());
}

TEST(PlayerCore, SetCoreSubscribesToEventsAndUnsubscribesWithTheSameCookie) {
    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    {
        CPlayerCore core;
        ASSERT_EQ(effects->SetCore(&core), S_OK);
        EXPECT_EQ(core.AdviseCalls(), 1);
        ASSERT_NE(core.Sink(), nullptr);
        const DWORD cookie = core.Cookie();
        EXPECT_NE(cookie, 0u);
        EXPECT_GT(core.References(), 1) << "the plug-in holds the core";

        ASSERT_EQ(effects->SetCore(nullptr), S_OK);
        EXPECT_EQ(core.UnadviseCalls(), 1);
        EXPECT_EQ(core.Sink(), nullptr) << "unadvised with cookie " << cookie;
        EXPECT_EQ(core.References(), 1) << "every reference came back";
    }
    {
        // A second SetCore first lets go of the first core.
        CPlayerCore first;
        CPlayerCore second;
        ASSERT_EQ(effects->SetCore(&first), S_OK);
        ASSERT_EQ(effects->SetCore(&second), S_OK);
        EXPECT_EQ(first.Sink(), nullptr);
        EXPECT_EQ(first.References(), 1);
        EXPECT_NE(second.Sink(), nullptr);
        ASSERT_EQ(effects->SetCore(nullptr), S_OK);
        EXPECT_EQ(second.References(), 1);
    }
    {
        CPlayerCore failing;
        failing.SetAdviseBehaviour(CPlayerCore::AdviseBehaviour::Fail);
        EXPECT_EQ(effects->SetCore(&failing), CONNECT_E_CANNOTCONNECT);
        CPlayerCore zero;
        zero.SetAdviseBehaviour(CPlayerCore::AdviseBehaviour::ZeroCookie);
        EXPECT_EQ(effects->SetCore(&zero), S_OK);
        ASSERT_EQ(effects->SetCore(nullptr), S_OK);
        EXPECT_EQ(zero.UnadviseCalls(), 0) << "cookie 0 means not subscribed";
        EXPECT_EQ(failing.References(), 1);
        EXPECT_EQ(zero.References(), 1);
    }
}

using Kind = VctlMessage::Kind;

// The plug-in opened COM1 on its first run; the test runs with the virtual
// controller on COM1 (tools/with-vctl).
class OnTheController : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "run under tools/with-vctl COM1";
        ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    }

    // The level commands of one frame: Render, then wait for `count` commands.
    VctlMessages RenderFrame(const TimedLevel& frame, size_t count) {
        const size_t mark = log.Mark();
        RECT rect = {0, 0, 1024, 256};
        DibSurface surface(1024, 256);
        EXPECT_EQ(effects->Render(const_cast<TimedLevel*>(&frame), surface.dc(), &rect), S_OK);
        EXPECT_TRUE(log.WaitForCount(mark, Kind::Level, count, 3000));
        return OfKind(log.Since(mark), Kind::Level);
    }

    ComPtr<IWMPEffects2> effects;
    VctlLog log;
};

TimedLevel FrameWithBin(int bin, unsigned char value) {
    TimedLevel frame = {};
    std::memset(frame.waveform, 128, sizeof frame.waveform);
    frame.frequency[0][bin] = value;
    return frame;
}

TEST_F(OnTheController, OneFrameOfTheFirstRunLayoutSendsSixteenCommandsInOrder) {
    ASSERT_EQ(effects->SetCurrentPreset(2), S_OK);
    const size_t mark = log.Mark();
    const VctlMessages levels = RenderFrame(FrameWithBin(100, 255), 16);
    ASSERT_EQ(levels.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(levels[i].channel, i);
        EXPECT_EQ(levels[i].device, 1);
    }
    EXPECT_EQ(levels[1].bytes, "000103018100") << "record 1 (bins 73..146) at level 100";
    EXPECT_EQ(levels[0].intensity, 0xD3);
    // Since this frame only: other tests tear messages on purpose.
    EXPECT_EQ(CountOf(log.Since(mark), Kind::Framing), 0u);
}

TEST_F(OnTheController, PlayerEventsLightTheirFixedChannels) {
    CPlayerCore core;
    ASSERT_EQ(effects->SetCore(&core), S_OK);
    IWMPEvents* events = core.Sink();
    ASSERT_NE(events, nullptr);

    // Disable channel index 1 ("Channel 2") through its channel dialog.
    ASSERT_EQ(effects->DisplayPropertyPage(nullptr), S_OK);
    const HWND properties = ::FindWindowA(nullptr, "Twinkla Properties");
    ASSERT_NE(properties, nullptr);
    ::SendMessageA(properties, WM_COMMAND, MAKEWPARAM(229, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(properties, 229)));
    const HWND channel = ::FindWindowA(nullptr, "Channel 2");
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(::IsDlgButtonChecked(channel, 226), BST_CHECKED);
    ::SendDlgItemMessageA(channel, 226, BM_CLICK, 0, 0);
    ASSERT_EQ(::IsDlgButtonChecked(channel, 226), BST_UNCHECKED);
    ::SendMessageA(channel, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ::SendMessageA(properties, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    VctlMessages frame = RenderFrame(FrameWithBin(100, 255), 16);
    ASSERT_EQ(frame.size(), 16u);
    EXPECT_EQ(frame[1].bytes, "000103d38100") << "the zero owed to the disabled channel";
    frame = RenderFrame(FrameWithBin(100, 255), 15);
    ASSERT_EQ(frame.size(), 15u);
    EXPECT_EQ(frame[1].channel, 2) << "then nothing for channel 1";

    size_t mark = log.Mark();
    events->Click(2, 0, 10, 10); // nothing for the second button
    events->Click(1, 0, 10, 10); // channel 1 although it is disabled
    ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 1, 2000));
    ::Sleep(200);
    VctlMessages sent = OfKind(log.Since(mark), Kind::Level);
    ASSERT_EQ(sent.size(), 1u) << "the second button sent nothing";
    EXPECT_EQ(sent[0].bytes, "000103018100") << "channel index 1 at level 100";

    // One at a time: a level still waiting for the line would be replaced
    // by the next one for its channel.
    const std::pair<const char*, std::function<void()>> lighting[] = {
        {"KeyDown", [&] { events->KeyDown(65, 0); }},
        {"KeyPress", [&] { events->KeyPress(65); }},
        {"KeyUp", [&] { events->KeyUp(65, 0); }},
        {"MouseMove", [&] { events->MouseMove(0, 0, 5, 5); }},
    };
    for (const auto& [name, fire] : lighting) {
        mark = log.Mark();
        fire();
        ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 1, 2000)) << name;
        sent = OfKind(log.Since(mark), Kind::Level);
        EXPECT_EQ(sent[0].bytes, "000103018600") << name << ": channel index 6 at level 100";
    }
    mark = log.Mark();
    events->MouseDown(1, 0, 5, 5); // not one of the five
    events->DoubleClick(1, 0, 5, 5);
    ::Sleep(200);
    EXPECT_TRUE(OfKind(log.Since(mark), Kind::Level).empty());
    ASSERT_EQ(effects->SetCore(nullptr), S_OK);
}

TEST_F(OnTheController, TheFactoryKeepsTheObjectAndItsPortAfterTheLastOutsideRelease) {
    effects.reset();
    const size_t mark = log.Mark();
    EXPECT_TRUE(log.WaitForCount(mark, Kind::KeepAlive, 2, 2000))
        << "keep-alives go on: the port is still open";
}

LRESULT CALLBACK PlainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreatePlayerWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "TwinklaTestPlayer";
    ::RegisterClassA(&wc);
    return ::CreateWindowExA(0, wc.lpszClassName, "player", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                             1100, 400, nullptr, nullptr, wc.hInstance, nullptr);
}

TEST_F(OnTheController, WindowedRenderingAndBandEditingThroughWindowMessages) {
    const HWND window = CreatePlayerWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(effects->Create(window), S_OK);

    // Preset 4: sixteen 64-bin bands. Bin 135 lies in channel 2 (128..192).
    ASSERT_EQ(effects->SetCurrentPreset(4), S_OK);
    TimedLevel frame = FrameWithBin(135, 255);
    size_t mark = log.Mark();
    EXPECT_EQ(effects->RenderWindowed(&frame, FALSE), S_OK);
    ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 16, 3000));
    VctlMessages sent = OfKind(log.Since(mark), Kind::Level);
    EXPECT_EQ(sent[1].level, 0);
    EXPECT_EQ(sent[2].level, 100);

    // Drag channel 1's end edge (128) from 127 to 140: bin 135 moves into channel 1.
    LRESULT unused = 12345;
    EXPECT_EQ(effects->OnWindowMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(127, 50), &unused),
              S_FALSE);
    EXPECT_EQ(effects->OnWindowMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(140, 60), &unused),
              S_FALSE);
    EXPECT_EQ(effects->OnWindowMessage(WM_LBUTTONUP, 0, MAKELPARAM(140, 60), &unused), S_FALSE);
    EXPECT_EQ(effects->OnWindowMessage(WM_MOUSEMOVE, 0, MAKELPARAM(300, 60), &unused), S_FALSE);
    EXPECT_EQ(unused, 12345) << "the out-result is never written";
    mark = log.Mark();
    EXPECT_EQ(effects->RenderWindowed(&frame, TRUE), S_OK);
    ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 16, 3000));
    sent = OfKind(log.Since(mark), Kind::Level);
    EXPECT_EQ(sent[1].level, 100) << "channel 1 is now 64..140";
    EXPECT_EQ(sent[2].level, 0) << "channel 2 is now 140..192";

    for (UINT message : {WM_RBUTTONDOWN, WM_KEYDOWN, WM_CHAR, WM_PAINT}) {
        EXPECT_EQ(effects->OnWindowMessage(message, 0, 0, &unused), S_FALSE) << message;
    }

    // A double-click opens the property dialog, owned by the window.
    EXPECT_EQ(effects->OnWindowMessage(WM_LBUTTONDBLCLK, 0, MAKELPARAM(10, 10), &unused), S_OK);
    PumpMessages();
    const HWND dialog = ::FindWindowA(nullptr, "Twinkla Properties");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(::GetWindow(dialog, GW_OWNER), window);
    ::DestroyWindow(dialog);

    EXPECT_EQ(effects->Destroy(), S_OK);
    EXPECT_EQ(effects->RenderWindowed(&frame, TRUE), E_UNEXPECTED);
    ::DestroyWindow(window);
}

// Under the headless (null) graphics driver a window's pixels can't be read
// back, so what RenderWindowed draws is checked through the commands its
// frame sends (above); here, that it needs a live window's device context.
TEST_F(OnTheController, WindowedRenderingNeedsALiveWindow) {
    const HWND window = CreatePlayerWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(effects->Create(window), S_OK);
    TimedLevel frame = FrameWithBin(10, 0);
    EXPECT_EQ(effects->RenderWindowed(&frame, FALSE), S_OK);
    EXPECT_EQ(effects->RenderWindowed(nullptr, FALSE), E_POINTER) << "the drawing's own failure";
    // A window that is gone gives no device context.
    ::DestroyWindow(window);
    EXPECT_EQ(effects->RenderWindowed(&frame, FALSE), E_FAIL);
    EXPECT_EQ(effects->Destroy(), S_OK);
}

TEST_F(OnTheController, OpenDialogsKeepTheModuleAndTheObjectUntilTheyClose) {
    const HWND window = CreatePlayerWindow();
    ASSERT_EQ(effects->DisplayPropertyPage(window), S_OK);
    PumpMessages();
    const HWND properties = ::FindWindowA(nullptr, "Twinkla Properties");
    ASSERT_NE(properties, nullptr);
    // The "Channel 1" button opens a channel dialog owned by the property dialog.
    ::SendMessageA(properties, WM_COMMAND, MAKEWPARAM(225, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(properties, 225)));
    PumpMessages();
    const HWND channel = ::FindWindowA(nullptr, "Channel 1");
    ASSERT_NE(channel, nullptr);

    // The player lets go of the plug-in while both dialogs are open: the
    // module stays, and the dialogs still work on the live object.
    effects.reset();
    EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE);
    size_t mark = log.Mark();
    ::SendMessageA(channel, WM_COMMAND, MAKEWPARAM(210, BN_CLICKED), 0);    // Apply
    ::SendMessageA(properties, WM_COMMAND, MAKEWPARAM(210, BN_CLICKED), 0); // Apply: reopens
    EXPECT_TRUE(log.WaitForCount(mark, Kind::KeepAlive, 1, 2000)) << "the port is open";

    // Closing the owner window takes both dialogs with it; then the module
    // may go, and releasing the object closes the port.
    ::DestroyWindow(window);
    PumpMessages();
    EXPECT_FALSE(::IsWindow(properties));
    EXPECT_FALSE(::IsWindow(channel));
    EXPECT_EQ(CallDllCanUnloadNow(), S_OK);
    mark = log.Mark();
    ::Sleep(1200);
    EXPECT_EQ(CountOf(log.Since(mark), Kind::KeepAlive), 0u) << "the port is closed";
}

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllRegisterServerFn = HRESULT(STDAPICALLTYPE*)();

template <typename Fn> Fn Export(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("Twinkla.dll"), name)));
}

TEST(ClassFactory, RefusesOtherClassesAndAggregationAndLocksTheModule) {
    ComPtr<IUnknown> loaded; // loads the DLL the player's way
    ASSERT_EQ(::CoCreateInstance(CLSID_Twinkla, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 loaded.put_void()),
              S_OK);
    auto getClassObject = Export<DllGetClassObjectFn>("DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID_IWMPEffects, IID_IClassFactory, factory.put_void()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_Twinkla, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<IUnknown> factoryUnknown;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, factoryUnknown.put_void()), S_OK);
    EXPECT_EQ(factoryUnknown.get(), static_cast<IUnknown*>(factory.get())) << "one identity";
    factoryUnknown.reset();
    ComPtr<IUnknown> notAFactory;
    EXPECT_EQ(factory->QueryInterface(IID_IWMPEffects, notAFactory.put_void()), E_NOINTERFACE);
    EXPECT_EQ(notAFactory.get(), nullptr);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(loaded.get(), IID_IUnknown, aggregated.put_void()),
              CLASS_E_NOAGGREGATION);
    ComPtr<IUnknown> same;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, same.put_void()), S_OK);
    EXPECT_EQ(same.get(), loaded.get());
    same.reset();
    loaded.reset();

    EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE) << "a held factory locks the module";
    factory->LockServer(TRUE);
    factory.reset();
    EXPECT_EQ(CallDllCanUnloadNow(), S_FALSE) << "LockServer(TRUE) locks it";
    ASSERT_EQ(getClassObject(CLSID_Twinkla, IID_IClassFactory, factory.put_void()), S_OK);
    factory->LockServer(FALSE);
    factory.reset();
    EXPECT_EQ(CallDllCanUnloadNow(), S_OK);
}

UINT g_rescanMessage = 0;
int g_rescans = 0;

LRESULT CALLBACK RescanWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_rescanMessage != 0 && msg == g_rescanMessage && wParam == 0 && lParam == 0) {
        ++g_rescans;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(Registration, RegisteringAndUnregisteringTellRunningPlayersToRescan) {
    ComPtr<IUnknown> loaded;
    ASSERT_EQ(::CoCreateInstance(CLSID_Twinkla, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 loaded.put_void()),
              S_OK);
    g_rescanMessage = ::RegisterWindowMessageA("WMPlayer_PluginAddRemove");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RescanWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "TwinklaTestRescan";
    ::RegisterClassA(&wc);
    // A top-level window like a running player's.
    const HWND player = ::CreateWindowExA(0, wc.lpszClassName, "rescan", WS_OVERLAPPED, 0, 0, 10,
                                          10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(player, nullptr);
    auto unregister = Export<DllRegisterServerFn>("DllUnregisterServer");
    auto reregister = Export<DllRegisterServerFn>("DllRegisterServer");
    ASSERT_NE(unregister, nullptr);
    ASSERT_NE(reregister, nullptr);
    g_rescans = 0;
    EXPECT_EQ(unregister(), S_OK);
    EXPECT_EQ(reregister(), S_OK);
    for (int i = 0; i < 50 && g_rescans < 2; ++i) {
        PumpMessages();
        ::Sleep(10);
    }
    EXPECT_EQ(g_rescans, 2);
    ::DestroyWindow(player);
}

} // namespace
