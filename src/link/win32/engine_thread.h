#pragma once
// What the output engines share: the clock they schedule by, and a thread
// that pins the module holding their code for as long as it runs.

#include "common/win32/unique_handle.h"
#include "link/output_schedule.h"

#include <windows.h>

// Microseconds on the performance counter.
Micros NowUs();

// Starts `procedure(parameter)` on a thread of its own, after taking a
// reference on the module that contains this code and storing it in
// `module`, so that the module can't be unloaded under the thread. The
// procedure must end with FreeLibraryAndExitThread(module, ...). On failure
// returns an empty handle, with the reference dropped and `module` null.
// The pin is taken before the thread exists, so there is no moment at which
// the thread runs in a module nobody holds: `module` must be where the
// procedure reads it (written before the thread starts).
UniqueHandleNull StartPinnedThread(LPTHREAD_START_ROUTINE procedure, void* parameter,
                                   HMODULE& module);
