// When a server that ended by itself is started again: after 2 s, then 4 s, then 8 s, at most three
// times within any ten minutes. The caller tells why no restart may follow; the rule only counts.
#pragma once
#include <windows.h>

class CrashRecovery {
public:
    static constexpr int kMaxRestarts = 3;
    static constexpr DWORD kWindowMilliseconds = 10 * 60 * 1000;

    struct End {
        bool enabled = true;        // the RestartOnFailure setting
        bool byItself = false;      // not ended by the launcher (Stop, its stop command, a restart)
        DWORD exitCode = 0;         // when byItself
        bool portTaken = false;     // the other program still holds the port
        bool exiting = false;       // Exit has begun
        bool sessionEnding = false; // between a yes to WM_QUERYENDSESSION and a cancelling WM_ENDSESSION
    };

    // The delay before the next start in milliseconds, or 0 when none follows; now is GetTickCount's.
    // A restart it allows is counted from now.
    DWORD OnServerEnd(const End& end, DWORD now);
    // The number of the restart that OnServerEnd just allowed (1 to kMaxRestarts).
    int RestartNumber() const { return count_; }
    // True when the last end called for a restart that the count refused.
    bool GaveUp() const { return gaveUp_; }
    // The user asked for a restart: the count begins anew.
    void Reset();

private:
    DWORD restarts_[kMaxRestarts] = {}; // the times of the restarts still within the window, oldest first
    int count_ = 0;
    bool gaveUp_ = false;
};
