#pragma once
// Module-wide state: the instance handle and the lock count that
// DllCanUnloadNow reports.

#include <windows.h>

extern HINSTANCE g_moduleInstance;

void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();
