#pragma once
// The singleton class factory: the first instance request creates the one
// plug-in object, every later request hands out that same object, and the
// factory keeps it alive until the module is torn down.

#include <windows.h>
#include <objbase.h>

IClassFactory* TwinklaClassFactory();

// Releases the plug-in object. `mayWait` is false under the loader lock,
// where nothing may wait for a thread.
void ReleaseTwinklaObject(bool mayWait);
