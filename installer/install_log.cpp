#include "install_log.h"

#include "platform.h"
#include "run_context.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Room for two whole paths and the words around them, and then for the outcome.
constexpr std::size_t kTextSize = 1024;
constexpr std::size_t kOutcomeSize = 40;

void AppendLine(const char* format, va_list arguments, const char* suffix) noexcept {
    InstallLogApi* log = Platform().log;
    if (log == nullptr) return;
    char line[kTextSize + kOutcomeSize];
    // A text too long for its room is logged cut short rather than lost.
    if (std::vsnprintf(line, kTextSize, format, arguments) < 0) return;
    const std::size_t used = std::strlen(line);
    if (FormatWhole(line + used, sizeof line - used, "%s\r\n", suffix)) log->Append(line);
}

}  // namespace

LogFileUse UseOfLogFile(bool reparsePoint, std::uint32_t links, std::uint64_t size) noexcept {
    if (reparsePoint || links != 1) return LogFileUse::kRefuse;
    return size > kLogRotateBytes ? LogFileUse::kRotate : LogFileUse::kAppend;
}

void OpenLog(const char* commandLineTail) noexcept {
    if (Platform().log == nullptr || !Platform().log->Open()) return;
    RunContextApi& context = *Platform().context;
    char time[32];
    char account[kMaxPath];
    context.LocalTime(time);
    context.AccountName(account);
    LogLine("%s OrvaSetup %s, account %s, session %u, command line [%.600s]", time, ORVA_PROJECT_VERSION, account,
            static_cast<unsigned>(context.SessionId()), commandLineTail);
}

void LogLine(const char* format, ...) noexcept {
    va_list arguments;
    va_start(arguments, format);
    AppendLine(format, arguments, "");
    va_end(arguments);
}

void LogStep(bool succeeded, const char* format, ...) noexcept {
    InstallLogApi* log = Platform().log;
    if (log == nullptr) return;
    char outcome[kOutcomeSize - 2];
    if (succeeded) {
        std::memcpy(outcome, ": done", sizeof ": done");
    } else if (!FormatWhole(outcome, sizeof outcome, ": failed, error %u", static_cast<unsigned>(log->LastError()))) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    AppendLine(format, arguments, outcome);
    va_end(arguments);
}
