#pragma once
// What the plug-in tests share: the DLL registered the way an installer
// does it (regsvr32), and the object created the way the player does it.

#include "wmp/win32/wmp_effects.h"

#include <windows.h>

#include <string>

// The directory of the running test program, with a trailing backslash.
std::string ProgramDirectory();

// Runs regsvr32 (silently) on the Twinkla.dll beside the test program;
// `unregister` adds /u. Returns regsvr32's exit code.
DWORD RunRegsvr32(bool unregister);

// The class id under the player's Effects key, as the player finds it.
bool ReadPlayerClassId(CLSID& clsid);

// CoCreateInstance of that class id, asking for IWMPEffects2.
HRESULT CreateLikeThePlayer(IWMPEffects2** effects);

// Registry helpers: a value as text (REG_SZ), or "<missing>".
std::string ReadString(HKEY root, const char* key, const char* value);
bool KeyExists(HKEY root, const char* key);
