// Who runs the installer and where: deployment tools run it as SYSTEM, often in
// session 0, where no user sees a program started or a message box shown.
#pragma once

#include "shared_contract.h"

#include <cstdint>

class RunContextApi {
public:
    virtual ~RunContextApi() = default;
    // The process token's user is LocalSystem (S-1-5-18).
    virtual bool RunsAsSystem() noexcept = 0;
    // ProcessIdToSessionId of the installer's own process; 0 when it cannot be read.
    virtual std::uint32_t SessionId() noexcept = 0;
    // The installer's window station is visible (WSF_VISIBLE).
    virtual bool WindowStationVisible() noexcept = 0;
    // The account's name and the local time with its offset ("2026-12-09T08:12:36+01:00").
    virtual void AccountName(char (&name)[kMaxPath]) noexcept = 0;
    virtual void LocalTime(char (&text)[32]) noexcept = 0;
};

// Why the programs meant for a user (the detector, the tool) are not started: the
// installer runs as SYSTEM or in session 0. Null when a user's session runs it.
[[nodiscard]] const char* WhyNoUserIsThere() noexcept;

// The installer's error box; where no one would see it (see above, or a window station
// that is not visible) it is logged instead, so that nothing waits for a click.
void ShowError(const char* text) noexcept;

#if defined(_WIN32)
RunContextApi& WindowsRunContextApi() noexcept;
#endif
