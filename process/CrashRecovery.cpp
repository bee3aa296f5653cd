#include "process/CrashRecovery.h"

DWORD CrashRecovery::OnServerEnd(const End& end, DWORD now)
{
    gaveUp_ = false;
    if (!end.enabled || !end.byItself || end.exitCode == 0 || end.portTaken || end.exiting || end.sessionEnding)
        return 0;
    // Restarts older than the window no longer count (unsigned differences survive the tick count's wrap).
    int kept = 0;
    for (int i = 0; i < count_; ++i)
        if (now - restarts_[i] < kWindowMilliseconds) restarts_[kept++] = restarts_[i];
    count_ = kept;
    if (count_ == kMaxRestarts) {
        gaveUp_ = true;
        return 0;
    }
    restarts_[count_++] = now;
    return 2000u << (count_ - 1);
}

void CrashRecovery::Reset()
{
    count_ = 0;
    gaveUp_ = false;
}
