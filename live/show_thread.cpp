#include "show_thread.h"

#include <objbase.h>

class CShowThread::Listener final : public LiveShowListener {
public:
    explicit Listener(CShowThread& owner) : owner_(owner) {}
    bool Render(const LiveFrame& frame) override {
        ::SendMessageA(owner_.window_, kRenderMessage, 0, reinterpret_cast<LPARAM>(&frame));
        return true;
    }
    void SourceChanged(const std::string& message) override {
        owner_.Say(message, kChangedMessage);
    }

private:
    CShowThread& owner_;
};

bool CShowThread::Start(HWND window, const LiveSourceChoice& choice,
                        const std::string& rememberedName) {
    Stop();
    window_ = window;
    choice_ = choice;
    rememberedName_ = rememberedName;
    stop_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop_) {
        return false;
    }
    {
        ::AcquireSRWLockExclusive(&lock_);
        last_ = LiveShowCounts{};
        message_.clear();
        ::ReleaseSRWLockExclusive(&lock_);
    }
    thread_.reset(::CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

void CShowThread::Stop() {
    if (!thread_) {
        return;
    }
    ::SetEvent(stop_.get());
    // The show may be waiting for this thread to draw a frame: take the
    // frames it sends until it has ended.
    const HANDLE thread = thread_.get();
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    thread_.reset();
    // Its end notice, if it posted one, is stale now.
    MSG stale;
    while (::PeekMessageA(&stale, window_, kEndedMessage, kEndedMessage, PM_REMOVE)) {
    }
}

LiveShowCounts CShowThread::Counts() const {
    ::AcquireSRWLockShared(&lock_);
    LiveShowCounts counts = pipeline_ ? pipeline_->Counts() : last_;
    ::ReleaseSRWLockShared(&lock_);
    return counts;
}

std::string CShowThread::TakeMessage() {
    ::AcquireSRWLockExclusive(&lock_);
    std::string message;
    message.swap(message_);
    ::ReleaseSRWLockExclusive(&lock_);
    return message;
}

void CShowThread::Say(const std::string& message, UINT notify) {
    ::AcquireSRWLockExclusive(&lock_);
    message_ = message;
    ::ReleaseSRWLockExclusive(&lock_);
    ::PostMessageA(window_, notify, 0, 0);
}

DWORD WINAPI CShowThread::ThreadProc(void* parameter) noexcept {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        static_cast<CShowThread*>(parameter)->Say("Windows audio can't be used (COM)",
                                                  kEndedMessage);
        return 1;
    }
    static_cast<CShowThread*>(parameter)->Run();
    ::CoUninitialize();
    return 0;
}

void CShowThread::Run() {
    LiveCapture capture;
    std::string error;
    std::string notice;
    if (!capture.Open(choice_, error)) {
        // A remembered device that isn't there: the default stands in, as
        // for one that goes away during the show.
        if (choice_.id.empty()) {
            Say(error, kEndedMessage);
            return;
        }
        const std::string why = "\"" + rememberedName_ + "\" isn't there (unplugged or disabled)";
        if (!capture.Open(LiveSourceChoice{LiveSource::Recording, {}, {}}, error) &&
            !capture.Open(LiveSourceChoice{LiveSource::Loopback, {}, {}}, error)) {
            Say(why + ", and " + error, kEndedMessage);
            return;
        }
        notice = why + ": now live from " + capture.Describe();
    }
    LiveShowOptions options;
    options.replaceLostDevice = true;
    LivePipeline pipeline(capture, options);
    {
        ::AcquireSRWLockExclusive(&lock_);
        pipeline_ = &pipeline;
        ::ReleaseSRWLockExclusive(&lock_);
    }
    if (!notice.empty()) {
        Say(notice, kChangedMessage);
    }
    Listener listener(*this);
    const bool ok = pipeline.Run(listener, stop_.get(), error);
    ::AcquireSRWLockExclusive(&lock_);
    last_ = pipeline.Counts();
    pipeline_ = nullptr;
    ::ReleaseSRWLockExclusive(&lock_);
    Say(ok ? std::string() : error, kEndedMessage);
}
