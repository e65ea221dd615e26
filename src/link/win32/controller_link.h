#pragma once
// ControllerLink: the output engine for the serial lighting controller. One
// thread of its own does every write on the line, level commands and
// keep-alives alike; the player's thread only hands frames over and returns.
//
// Threads. Open, SendFrame, SetLevel, Adopt, Close and the PortName/DeviceId
// fields belong to one owner thread (the player's). The engine thread touches
// only a reference-counted block shared with the link, never the link
// itself, so the link may be destroyed while the thread is still finishing.
// The owner and the engine meet under a lock that is never held across I/O:
// the owner's side of it is a copy of a frame's commands into the schedule
// (output_schedule.h), which merges them per circuit while the line is behind.
//
// The line. The port is opened for overlapped I/O, and each message is one
// WriteFile whose end the engine waits for (in place of a flush, which no
// time-out can bound) before it writes the next, so messages never
// interleave and the keep-alive follows the last write that actually ended.
// A stalled line holds only the engine: its write stays in flight while
// newer levels merge behind it, and nothing is torn. A write that fails or
// writes less than asked (the adapter unplugged) closes the port, which the
// picture then reports like a port that can't be opened, and the engine tries
// the same port again every 2 s, so replugging resumes the show.
//
// Module lifetime. The thread holds a reference on the module that contains
// this code and drops it with FreeLibraryAndExitThread, so the module can't be
// unloaded under it. The flip side: a FreeLibrary of that module can't run its
// DllMain while the thread is alive, so the thread must be stopped (Close)
// before the module's last reference goes.
//
// Closing. Open (on a port already open) and Close first let the engine write
// what is pending, delayed frames included, then cancel a write the line
// doesn't take, and return within about 2000 ms in all even on a stalled line.
//
// Loader lock. Close waits for the engine, so it must never run inside
// DllMain. Code that may tear the link down under the loader lock (the
// plug-in object released at process detach) calls Abandon instead, then
// destroys the link: the thread is told to stop and ends on its own.

#include "common/win32/unique_handle.h"
#include "link/level_sink.h"
#include "link/protocol.h"

#include <windows.h>

#include <cstdint>

class ControllerLink final : public OutputLink {
public:
    // How the engine waits for the next message's time.
    enum class Pacing {
        // A waitable timer (high resolution where the system has one).
        WaitableTimer,
        // Time-outs on its event waits, as when no timer can be created.
        StopEventTimeout,
    };

    // Starts the engine thread at once; the port stays closed until Open.
    // Without a thread nothing can be written, and Open then fails.
    explicit ControllerLink(Pacing pacing = Pacing::WaitableTimer);
    ControllerLink(const ControllerLink&) = delete;
    ControllerLink& operator=(const ControllerLink&) = delete;

    // Closes the port and stops the thread, waiting for it like Close, unless
    // Close or Abandon has run already.
    ~ControllerLink();

    // True while the port is open and set up, and no write on it has failed.
    bool IsOpen() const override;

    // Refuses (false, nothing changes) an id outside 1..255, a null name or a
    // name of more than 19 characters. Otherwise closes the open port first,
    // records the name and the id, and opens the port at 115200 baud with RTS
    // raised, leaving the other line settings as they were. When the old
    // port can't be let go of in time, no new one is tried: false. Names of
    // the form COMn are opened as \\.\COMn, which is what COM10 and above
    // need; any other name is passed to CreateFileA as given.
    bool Open(const char* portName, uint32_t deviceId);
    // The same, taking the light delay from `settings` too.
    bool Open(const LinkSettings& settings) override;
    // The device id and light delay from the next frame on; the port stays.
    void Adopt(const LinkSettings& settings) override;
    OutputHealth Health() const override;

    // Hands a frame's commands (for the current DeviceId) to the engine.
    void SendFrame(const ChannelLevel* levels, size_t count) override;
    // Hands one command to the engine, as a frame of its own.
    void SetLevel(int channelIndex, int32_t level) override;

    // Writes what is pending, closes the port and stops the thread, returning
    // within about 2000 ms (normally within milliseconds) even on a stalled
    // line. Never call it inside DllMain. The owner destroys the link next.
    void Close();

    // Close for loader-lock context: tells the engine to close the port and
    // stop, dropping what is pending, and returns without waiting. Destroy
    // the link afterwards as usual.
    void Abandon();

    // What the engine has done since construction, for benchmarks.
    struct Counts {
        uint64_t commandsWritten;
        uint64_t levelsMerged; // replaced by a newer level before they went out
        uint64_t failedWrites;
        uint64_t reopens; // after a failed write
    };
    Counts GetCounts() const;

    char PortName[kPortNameSize] = {};
    uint8_t DeviceId = 0;

    // What the link and its engine thread share; defined with the engine.
    struct Shared;

private:
    void Submit(const LevelCommand* commands, size_t count, bool frame);
    void StartThread(Pacing pacing);
    static DWORD WINAPI EngineLoop(void* parameter) noexcept;
    bool EngineRunning() const;
    // Has the engine write what is pending and close the port. False when it
    // didn't finish in time; the engine then closes the port on its own.
    bool ClosePort();

    Shared* shared_ = nullptr; // one reference; the thread holds another
    UniqueHandleNull thread_;
    bool stopped_ = false; // Close or Abandon has run
    uint32_t lightDelayMs_ = 0;
};
