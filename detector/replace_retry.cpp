#include "replace_retry.h"

#include "bounded_text.h"
#include "platform.h"

#include <cstring>

ReplaceResult ClassifyReplaceError(std::uint32_t error, bool targetReadOnly) noexcept {
    switch (error) {
    case kErrorSharingViolation:
    case kErrorLockViolation:
        return ReplaceResult::kBusy;
    case kErrorAccessDenied:
        return targetReadOnly ? ReplaceResult::kFailed : ReplaceResult::kBusy;
    default:
        return ReplaceResult::kFailed;
    }
}

bool ShouldRetryReplace(ReplaceResult result, std::uint32_t budgetLeftMs) noexcept {
    return result == ReplaceResult::kBusy && budgetLeftMs >= kReplaceRetryPauseMs;
}

bool RetryBudget::WaitForRetry(ReplaceResult result) noexcept {
    if (!ShouldRetryReplace(result, leftMs_)) return false;
    pause_.Sleep(kReplaceRetryPauseMs);
    leftMs_ -= kReplaceRetryPauseMs;
    return true;
}

bool SettingsFolderOf(const char* path, char* folder, std::size_t size) noexcept {
    const std::size_t length = std::strlen(path);
    std::size_t cut = length;
    while (cut > 0 && path[cut - 1] != '\\' && path[cut - 1] != '/') --cut;
    std::size_t keep = 2;  // "C:" for "C:name", which lies in the current folder of drive C
    if (cut == 0) {
        if (length < 2 || path[1] != ':') return CopyWhole(folder, size, ".");
    } else {
        keep = cut - 1;  // without the separator...
        if (keep == 0 || path[keep - 1] == ':' || path[keep - 1] == '\\' || path[keep - 1] == '/') {
            keep = cut;  // ...except for a root ("\", "C:\"), which needs it
        }
    }
    if (keep + 1 > size) return false;
    std::memcpy(folder, path, keep);
    folder[keep] = '\0';
    return true;
}
