#include "run_context.h"

#include "platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Room for two whole paths and the words around them; a longer text is logged cut
// short rather than lost. Then room for the outcome.
constexpr std::size_t kTextSize = 1024;
constexpr std::size_t kOutcomeSize = 40;

void AppendLine(const char* outcome, const char* format, va_list arguments) noexcept {
    char line[kTextSize + kOutcomeSize];
    if (std::vsnprintf(line, kTextSize, format, arguments) < 0) return;
    const std::size_t used = std::strlen(line);
    if (FormatWhole(line + used, sizeof line - used, "%s\r\n", outcome)) Platform().context->AppendLog(line);
}

}  // namespace

const char* WhyNoUserIsThere() noexcept {
    RunContextApi& context = *Platform().context;
    if (context.RunsAsSystem()) return "runs as SYSTEM";
    if (context.SessionId() == 0) return "runs in session 0";
    return nullptr;
}

void ShowError(const char* text) noexcept {
    const char* why = WhyNoUserIsThere();
    if (why == nullptr && !Platform().context->WindowStationVisible()) why = "window station not visible";
    if (why != nullptr) {
        LogLine("message box not shown (%s): %s", why, text);
        return;
    }
    LogLine("message box: %s", text);
    Platform().context->ShowMessageBox(text);
}

LogFileUse UseOfLogFile(bool reparsePoint, std::uint32_t links, std::uint64_t size,
                        bool trustedOwner) noexcept {
    if (reparsePoint || links != 1) return LogFileUse::kRefuse;
    if (!trustedOwner) return LogFileUse::kReplace;
    return size > kLogRotateBytes ? LogFileUse::kRotate : LogFileUse::kAppend;
}

void OpenLog(const char* commandLineTail, const char* verdict) noexcept {
    RunContextApi& context = *Platform().context;
    if (!context.OpenLog(verdict == nullptr)) return;
    char time[32];
    char account[kMaxPath];
    context.LocalTime(time);
    context.AccountName(account);
    LogLine("%s OrvaSetup %s, account %s, session %u, command line [%s]%s%s", time, ORVA_PROJECT_VERSION,
            account, static_cast<unsigned>(context.SessionId()), commandLineTail, verdict ? ": " : "",
            verdict ? verdict : "");
}

void LogLine(const char* format, ...) noexcept {
    va_list arguments;
    va_start(arguments, format);
    AppendLine("", format, arguments);
    va_end(arguments);
}

void LogStep(bool succeeded, const char* format, ...) noexcept {
    char outcome[kOutcomeSize - 2] = ": done";
    if (!succeeded) {
        (void)FormatWhole(outcome, sizeof outcome, ": failed, error %u",
                          static_cast<unsigned>(Platform().context->LastError()));
    }
    va_list arguments;
    va_start(arguments, format);
    AppendLine(outcome, format, arguments);
    va_end(arguments);
}
