#pragma once
// What the output engines share: the clock they schedule by, a thread that
// pins the module holding their code for as long as it runs, and the block
// an output shares with its thread.

#include "common/win32/srw_lock.h"
#include "common/win32/unique_handle.h"
#include "link/output_schedule.h"

#include <windows.h>

#include <atomic>
#include <utility>

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

// A timer for WaitForWorkOrTime: a high-resolution one where the system has
// them, else an ordinary one; empty if none could be made, and the wait
// keeps time by its time-out instead.
UniqueHandleNull CreateEngineTimer();

// Waits until one of `handles` is signalled or `wakeAt` (kNever: no time)
// comes: on the high-resolution `timer` where there is one, else on the
// wait's own time-out in whole milliseconds. `handles` has room for one more,
// the timer's.
void WaitForWorkOrTime(HANDLE* handles, DWORD count, HANDLE timer, Micros wakeAt, Micros now);

// The part of an output's block shared with its engine thread that every
// output has. The block lives until both the output and the thread have let
// go of it, so an output destroyed before its thread has ended leaves the
// thread nothing freed to touch. `Block` is the output's own block, derived
// from this one.
template <typename Block> struct EngineShared {
    std::atomic<LONG> refs{1};
    HMODULE module = nullptr;           // the thread's pin on this module
    UniqueHandleNull wake;              // auto reset: work or a request for the engine
    std::atomic<bool> abandoned{false}; // set without the lock: stop now, send nothing more

    SRWLOCK lock = SRWLOCK_INIT;
    // Guarded by `lock`:
    bool stopRequested = false; // end the thread, after any close
    bool idle = false;          // the engine waits with nothing due: wake it

    EngineShared() = default;
    EngineShared(const EngineShared&) = delete;
    EngineShared& operator=(const EngineShared&) = delete;

    void AddRef() { refs.fetch_add(1); }
    void Release() {
        if (refs.fetch_sub(1) == 1) {
            delete static_cast<Block*>(this);
        }
    }

    // Runs `submit` under the lock, then wakes the engine if it was idle: a
    // busy engine finds the work by itself, and only an idle one needs the
    // call into the system.
    template <typename Submit> void HandOver(Submit&& submit) {
        bool wasIdle = false;
        {
            ExclusiveLock hold(lock);
            std::forward<Submit>(submit)();
            wasIdle = std::exchange(idle, false);
        }
        if (wasIdle) {
            ::SetEvent(wake.get());
        }
    }

    // Asks the engine to end its thread, after any close it was asked for.
    void RequestStop() {
        {
            ExclusiveLock hold(lock);
            stopRequested = true;
        }
        ::SetEvent(wake.get());
    }

protected:
    ~EngineShared() = default;
};
