#pragma once
// The singleton class factory: the first instance request creates the one
// plug-in object, every later request hands out that same object, and the
// factory keeps it alive until the module is torn down.

#include <windows.h>
#include <objbase.h>

IClassFactory* TwinklaClassFactory() noexcept;

// DllCanUnloadNow: when nothing holds the module, releases the plug-in object
// (closing its port and stopping its thread) and returns S_OK; else S_FALSE.
HRESULT ReleaseTwinklaObjectIfUnused() noexcept;

// At FreeLibrary, under the loader lock: releases the object without waiting
// for anything.
void ReleaseTwinklaObjectUnderLoaderLock() noexcept;
