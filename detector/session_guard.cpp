#include "session_guard.h"

bool ClaimSession(SessionGuardApi& guard) noexcept {
    const GuardWait wait = guard.Acquire(kSessionGuardWaitMs);
    if (wait != GuardWait::kGot && wait != GuardWait::kAbandoned) return false;
    guard.RegisterRestart(kRestartFlags);
    return true;
}
