#include "run_context.h"

#include "bounded_text.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstdlib>

namespace {

class WindowsRunContext final : public RunContextApi {
public:
    bool RunsAsSystem() noexcept override {
        UniqueHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
        union {
            TOKEN_USER user;
            BYTE room[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        } buffer;
        DWORD size = 0;
        return GetTokenInformation(token.Get(), TokenUser, &buffer, sizeof buffer, &size) &&
               IsWellKnownSid(buffer.user.User.Sid, WinLocalSystemSid);
    }
    std::uint32_t SessionId() noexcept override {
        DWORD session = 0;
        return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0;
    }
    bool WindowStationVisible() noexcept override {
        USEROBJECTFLAGS flags{};
        return GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
               (flags.dwFlags & WSF_VISIBLE) != 0;
    }
    void AccountName(char (&name)[kMaxPath]) noexcept override {
        DWORD size = kMaxPath;
        if (!GetUserNameA(name, &size)) (void)CopyWhole(name, "(unknown)");
    }
    void LocalTime(char (&text)[32]) noexcept override {
        SYSTEMTIME now;
        GetLocalTime(&now);
        TIME_ZONE_INFORMATION zone;
        LONG bias = 0;  // minutes west of UTC
        switch (GetTimeZoneInformation(&zone)) {
        case TIME_ZONE_ID_STANDARD: bias = zone.Bias + zone.StandardBias; break;
        case TIME_ZONE_ID_DAYLIGHT: bias = zone.Bias + zone.DaylightBias; break;
        case TIME_ZONE_ID_UNKNOWN: bias = zone.Bias; break;
        default: break;
        }
        const long offset = std::labs(bias);
        (void)FormatWhole(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", now.wYear, now.wMonth,
                          now.wDay, now.wHour, now.wMinute, now.wSecond, bias > 0 ? '-' : '+', offset / 60,
                          offset % 60);
    }
};

}  // namespace

RunContextApi& WindowsRunContextApi() noexcept {
    static WindowsRunContext context;
    return context;
}
