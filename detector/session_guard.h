// One detector per session: a second one (a shortcut, a script) would beep, run the tool
// and save beside the first. A mutex in the session's own namespace keeps it out.
#pragma once

#include <cstdint>

enum class GuardWait { kGot, kAbandoned, kTimedOut, kNotCreated };

class SessionGuardApi {
public:
    virtual ~SessionGuardApi() = default;
    // Creates or opens the session's mutex and waits for it, at most milliseconds.
    virtual GuardWait Acquire(std::uint32_t milliseconds) noexcept = 0;
    // RegisterApplicationRestart with no arguments and these flags.
    virtual void RegisterRestart(std::uint32_t flags) noexcept = 0;
};

constexpr const char* kSessionGuardName = "Local\\TALMAR TOUCH SCREEN DETECTOR";
// Long enough that a detector ending, or just terminated, never keeps the next one out.
constexpr std::uint32_t kSessionGuardWaitMs = 2000;
// RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT: restarted only after an update
// closed it; a hidden program's crash offers nothing, and after a reboot the Run value starts it.
constexpr std::uint32_t kRestartFlags = 11;

// Whether this detector may run: it holds the guard, also one abandoned by a detector
// that was terminated. It then registers for a restart after updates.
[[nodiscard]] inline bool ClaimSession(SessionGuardApi& guard) noexcept {
    const GuardWait wait = guard.Acquire(kSessionGuardWaitMs);
    if (wait != GuardWait::kGot && wait != GuardWait::kAbandoned) return false;
    guard.RegisterRestart(kRestartFlags);
    return true;
}
