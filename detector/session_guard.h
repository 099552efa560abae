// One detector per session: a second one (a shortcut, a script, a restart) would beep,
// run the tool and save beside the first. A named mutex in the session's own namespace
// keeps it out; detectors of other sessions are not affected.
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
// Long enough that a detector ending, or just terminated by the installer, never keeps
// the next one out.
constexpr std::uint32_t kSessionGuardWaitMs = 2000;
// RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT: started again only after an
// update that closed it; never offered after a crash of a hidden program, and after a
// reboot the Run value starts it.
constexpr std::uint32_t kRestartFlags = 11;

// Whether this detector may run: it holds the guard, also one abandoned by a detector
// that was terminated. It then registers for a restart after updates.
[[nodiscard]] bool ClaimSession(SessionGuardApi& guard) noexcept;
