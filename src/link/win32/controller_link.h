#pragma once
// ControllerLink: the serial port to the lighting controller and the thread
// that keeps the controller alive while no level command goes out.
//
// Threads. Open, SetLevel, Close and the PortName/DeviceId fields belong to
// one owner thread (the player's). The keep-alive thread touches only a
// reference-counted block shared with the link, never the link itself, so the
// link may be destroyed while the thread is still finishing. The port handle
// and the timer sit in that block behind a lock: a keep-alive can't go to a
// handle that Open or Close has just closed, and every message is written
// whole (one WriteFile and a flush) before another may start.
//
// Module lifetime. The thread holds a reference on the module that contains
// this code and drops it with FreeLibraryAndExitThread, so the module can't be
// unloaded under it. The flip side: a FreeLibrary of that module can't run its
// DllMain while the thread is alive, so the thread must be stopped (Close)
// before the module's last reference goes.
//
// Stalled line. No write time-outs are set (the port's own apply), so a
// write can block for ever when flow control holds the line off or an adapter
// hangs. Open and Close wait for the port's lock at most 1000 ms: after 100 ms
// they cancel the keep-alive thread's pending write (CancelSynchronousIo), and
// if the lock still can't be had they leave the port to the stuck thread to
// close once its write ends, and carry on as if it were closed. Close, thread
// wait included, returns within about 2000 ms.
//
// Loader lock. Close waits up to 2000 ms for the thread, so it must never run
// inside DllMain. Code that may tear the link down under the loader lock (the
// plug-in object released at process detach) calls Abandon instead, then
// destroys the link: the thread is told to stop and ends on its own.

#include "common/win32/unique_handle.h"
#include "link/level_sink.h"
#include "link/protocol.h"

#include <windows.h>

#include <cstdint>

class ControllerLink final : public ControllerLinkBase {
public:
    // How the keep-alive thread paces itself.
    enum class Pacing {
        // Its own unnamed timer, re-armed by every command: a keep-alive goes
        // out only once 500 ms have passed without a command.
        WaitableTimer,
        // No timer: a 500 ms time-out on the stop event, as when the timer
        // can't be created. Commands then don't push the next keep-alive.
        StopEventTimeout,
    };

    // Starts the keep-alive thread at once; the port stays closed until Open.
    // If the thread can't be started the link works without keep-alives.
    explicit ControllerLink(Pacing pacing = Pacing::WaitableTimer);
    ControllerLink(const ControllerLink&) = delete;
    ControllerLink& operator=(const ControllerLink&) = delete;

    // Closes the port and stops the thread, waiting for it like Close, unless
    // Close or Abandon has run already.
    ~ControllerLink();

    bool IsOpen() const override { return isOpen_; }

    // Refuses (false, nothing changes) an id outside 1..255, a null name or a
    // name of more than 19 characters. Otherwise closes the open port first,
    // records the name and the id, and opens the port at 115200 baud with RTS
    // raised, leaving the other line settings as they were. When a stalled
    // write keeps the old port, no new one is tried: false. Names of the form
    // COMn are opened as \\.\COMn, which is what COM10 and above need; any
    // other name is passed to CreateFileA as given.
    bool Open(const char* portName, uint32_t deviceId) override;

    // Encodes a level command for the current DeviceId and sends it.
    void SetLevel(int channelIndex, int32_t level) override;

    // Closes the port and stops the thread, returning within about 2000 ms
    // (normally within milliseconds) even on a stalled line. Never call it
    // inside DllMain.
    // The owner destroys the link next; a port opened after Close would get
    // no keep-alives.
    void Close();

    // Close for loader-lock context: closes the port if no write holds it
    // (otherwise the port closes when the thread lets go of it), tells the
    // thread to stop and returns without waiting. Destroy the link afterwards
    // as usual. At process exit, where other threads are already gone, this
    // never blocks on a lock a vanished thread may have held.
    void Abandon();

private:
    struct Shared;
    // Writes one command while the port is open, with bytes 0, 1 and 5 set to
    // 00, DeviceId and 00, and pushes the next keep-alive to 500 ms from now.
    void SendCommand(const LevelCommand& command);
    // The thread's procedure; noexcept, as nothing may unwind out of a thread.
    static DWORD WINAPI KeepAliveLoop(void* parameter) noexcept;
    void StartThread(Pacing pacing);
    // Takes the shared lock, cancelling a stalled keep-alive write that holds
    // it; false if it still can't be had after 1000 ms.
    bool LockPort();
    // False when a stalled write kept the port: it is then the writer's to
    // close. The link is closed either way.
    bool ClosePort();

    Shared* shared_ = nullptr; // one reference; the thread holds another
    UniqueHandleNull thread_;
    bool isOpen_ = false;
    bool stopped_ = false; // Close or Abandon has run
};
