#pragma once
// The live show on a thread of its own, so that it keeps its pace while the
// window's thread sits in a menu, a move or a dialog. The show's thread
// waits for audio and for each frame's slot; the frames themselves are
// rendered on the window's thread, which owns the plug-in as the player's
// thread does: the show sends each one to the window (kRenderMessage, with
// the LiveFrame as lParam) and waits until it is drawn and sent.

#include "win32/live_pipeline.h"

#include "common/win32/unique_handle.h"

#include <windows.h>

#include <string>

class CShowThread {
public:
    static constexpr UINT kRenderMessage = WM_APP + 1;  // sent; lParam: const LiveFrame*
    static constexpr UINT kChangedMessage = WM_APP + 2; // posted: TakeMessage has news
    static constexpr UINT kEndedMessage = WM_APP + 3;   // posted: the show ended by itself

    CShowThread() = default;
    CShowThread(const CShowThread&) = delete;
    CShowThread& operator=(const CShowThread&) = delete;
    ~CShowThread() { Stop(); }

    // Starts a show from `choice` for `window`. `rememberedName` names the
    // chosen device in the message when it isn't there and the default
    // stands in for it. False when the thread can't be started.
    bool Start(HWND window, const LiveSourceChoice& choice, const std::string& rememberedName);
    // Ends the show and waits for its thread, handling the frames it sends
    // meanwhile. Safe when no show runs.
    void Stop();
    bool Running() const { return static_cast<bool>(thread_); }

    // How the show stands; the last show's figures once it has ended.
    LiveShowCounts Counts() const;
    // What the show had to say since the last call (a device change, or why
    // it ended); empty when nothing.
    std::string TakeMessage();

private:
    static DWORD WINAPI ThreadProc(void* parameter) noexcept;
    void Run();
    void Say(const std::string& message, UINT notify);

    class Listener;
    HWND window_ = nullptr;
    LiveSourceChoice choice_;
    std::string rememberedName_;
    UniqueHandleNull thread_;
    UniqueHandleNull stop_;

    mutable SRWLOCK lock_ = SRWLOCK_INIT; // guards the fields below
    const LivePipeline* pipeline_ = nullptr;
    LiveShowCounts last_;
    std::string message_;
};
