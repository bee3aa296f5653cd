// Waiting on conditions, for the programs that measure and test the launcher.
#pragma once
#include <windows.h>

#include <functional>

// Pumps this thread's messages until condition() holds or the time is up; returns condition().
// Under a flood the queue is never empty: the condition and the time are also checked between
// messages, every 10 ms.
// preTranslate, when given, sees each message first, as an application's pre-translation does; a
// message it takes (returns true for) is not dispatched.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds,
               const std::function<bool(MSG*)>& preTranslate = nullptr);
// Pumps messages for the given time.
void PumpFor(DWORD milliseconds);
// Checks every 20 ms without pumping, for waits on other processes.
bool PollUntil(const std::function<bool()>& condition, DWORD milliseconds);
