#pragma once
// NetworkOutput: the output engine for sACN (E1.31) and Art-Net receivers.
// One thread of its own starts Winsock, looks the receiver's name up, owns
// the socket and sends every packet; the player's thread only hands levels
// over under a short lock and returns, so it never waits on the network.
//
// Packets. One per frame, when the frame falls due after the light delay; a
// level outside a frame amends the last frame and goes out as a packet too.
// With nothing new the last frame is sent again once a second
// (network_schedule.h). UDP to port 5568 (sACN) or 6454 (Art-Net) of the
// receiver, or without an address to the universe's multicast group (sACN)
// or the limited broadcast (Art-Net). Sends never block: a packet the socket
// can't take at once is dropped, and the next frame or resend follows.
//
// Streams. The receiver, the kind and the universe make one stream with its
// own sequence numbers. Open with the same stream keeps it going (the start
// channel and the delay change from the next packet); Open with another one,
// and Close, end the old stream, for sACN with its three stream-terminated
// packets, then (Open) start the new one with the last frame's levels.
//
// Failures are never the player's: Winsock that can't start, a name that
// doesn't resolve (looked up again every 5 s), a send the network refuses.
// Health() tells them for the status line; the output stays open, takes
// frames and sends as soon as it can. IsOpen is true from an accepted Open
// on, whatever the network does: the frame pipeline's alternative is the
// serial port's error text, the wrong words for a network, and frames handed
// over keep the newest levels ready for when the network comes back.
//
// Threads, module lifetime, closing and the loader lock as for
// ControllerLink: the thread touches only a reference-counted block shared
// with the output, pins the module while it runs, Close waits for it at most
// 2000 ms (normally milliseconds; a name lookup that hangs is left to finish
// on its own), and Abandon is Close for DllMain: nothing more is sent.

#include "common/win32/unique_handle.h"
#include "link/level_sink.h"
#include "link/network_schedule.h"
#include "link/output_state.h"

#include <windows.h>

class NetworkOutput final : public OutputLink {
public:
    // Starts the engine thread at once; nothing is sent until Open.
    NetworkOutput();
    NetworkOutput(const NetworkOutput&) = delete;
    NetworkOutput& operator=(const NetworkOutput&) = delete;
    // Close, unless Close or Abandon has run.
    ~NetworkOutput();

    // True from an accepted Open until Close, while the engine runs.
    bool IsOpen() const override;

    // Refuses (false, nothing changes) settings that aren't for sACN or
    // Art-Net or that AcceptsOutput refuses, and, false, when the engine
    // isn't running. Otherwise hands them to the engine and returns true at
    // once: the name is looked up there, not here.
    bool Open(const LinkSettings& settings) override;
    // The light delay from the next frame on.
    void Adopt(const LinkSettings& settings) override;

    // Hands a frame's levels over: each to the slot of its circuit.
    void SendFrame(const ChannelLevel* levels, size_t count) override;
    // Hands one level over, for the slot of circuit `channelIndex`.
    void SetLevel(int channelIndex, int32_t level) override;

    // Sends what is delayed at once, ends the stream and stops the thread,
    // returning within about 2000 ms. Never call it inside DllMain.
    void Close();
    // Close for loader-lock context: the thread stops sending and ends on
    // its own; nothing is waited for.
    void Abandon();

    // What the engine last found: Working, LookingUp, NameNotFound,
    // NoNetworking or SendFailed; Closed before Open or without a thread.
    OutputHealth Health() const override;

    // What the output and its engine thread share; defined with the engine.
    struct Shared;

private:
    void Submit(const CircuitLevel* levels, size_t count, bool frame);
    bool EngineRunning() const;
    static DWORD WINAPI EngineLoop(void* parameter) noexcept;

    Shared* shared_ = nullptr; // one reference; the thread holds another
    UniqueHandleNull thread_;
    bool configured_ = false; // an Open was accepted
    bool stopped_ = false;    // Close or Abandon has run
};
