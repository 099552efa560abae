#include "replace_retry.h"

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
    if (size == 0) return false;
    const std::size_t length = std::strlen(path);
    std::size_t cut = length;
    while (cut > 0 && path[cut - 1] != '\\' && path[cut - 1] != '/') --cut;
    std::size_t keep;
    if (cut == 0) {
        // "C:name" lies in the current folder of drive C.
        if (length >= 2 && path[1] == ':') {
            keep = 2;
        } else {
            if (size < 2) return false;
            std::memcpy(folder, ".", 2);
            return true;
        }
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
