#pragma once
// The thread's message loop, as a host runs it between calls: the one pump
// the Windows tests and the dialog screenshots share.

#include <functional>

// Dispatches the messages waiting for the thread until none is left.
void PumpMessages();

// Pumps every 10 ms until `done` says so or `timeoutMs` have passed; returns
// what `done` said last. Without `done` it pumps for the whole time.
bool PumpMessagesUntil(int timeoutMs, const std::function<bool()>& done = {});
