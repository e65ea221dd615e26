#pragma once
// What the plug-in tests share: the DLL registered the way an installer
// does it (regsvr32), and the object created the way the player does it.

#include "common/win32/com_ptr.h"
#include "wmp/win32/wmp_effects.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

// The directory of the running test program, with a trailing backslash.
std::string ProgramDirectory();
std::wstring ProgramDirectoryW();

// Runs regsvr32 (silently) on the Twinkla.dll beside the test program;
// `unregister` adds /u. Returns regsvr32's exit code.
DWORD RunRegsvr32(bool unregister);
// The same for any DLL path.
DWORD RunRegsvr32(const std::wstring& dll, bool unregister);

// The class id under the player's Effects key, as the player finds it.
bool ReadPlayerClassId(CLSID& clsid);

// CoCreateInstance of that class id, asking for IWMPEffects2.
HRESULT CreateLikeThePlayer(IWMPEffects2** effects);

// DllCanUnloadNow of the loaded Twinkla.dll (the one beside the test program
// unless `module` names another); E_UNEXPECTED when it isn't loaded.
HRESULT CallDllCanUnloadNow(HMODULE module = nullptr);

// The process around the tests of a program: COM on the main thread and the
// DLL beside the program registered, and at the end the plug-in object
// released (its output closed, its thread stopped) before COM goes.
// `firstRun` removes the stored settings first, so the first creation is a
// first run.
class RegisteredDllEnvironment : public ::testing::Environment {
public:
    explicit RegisteredDllEnvironment(bool firstRun = false) : firstRun_(firstRun) {}
    void SetUp() override;
    void TearDown() override;

private:
    bool firstRun_;
};

// Registry helpers: a value as text (REG_SZ), or "<missing>".
std::string ReadString(HKEY root, const char* key, const char* value);
bool KeyExists(HKEY root, const char* key);

// Runs a command line with the Unix shell (Wine starts Unix programs too) and
// returns at once; their process handles can't be waited for, so callers
// watch for the effect. False if it couldn't be started.
bool RunUnixCommand(const std::string& command);
// Sends a signal ("STOP", "CONT", "TERM") to the virtual controller started
// by tools/with-vctl.
bool SignalVctl(const char* signal);
