// The decisions around putting a rewritten settings file in place: where its copy
// goes, which failures are worth another try, how long all tries of one save may
// take together (which files a dead rewrite left behind: shared_contract.h). Plain
// functions over values, so that the Windows side only calls them.
#pragma once

#include "file_access.h"
#include "shared_contract.h"

#include <cstddef>
#include <cstdint>

class Pause;

// What a failed rename of replacement onto target means. A scanner or a backup
// agent holding the file lets go within moments (a sharing or lock violation, or
// access denied for a file that is not read-only: Windows refuses to rename onto
// a file that is open without delete sharing). A read-only file, a vanished one or
// any other error stays as it is.
[[nodiscard]] ReplaceResult ClassifyReplaceError(std::uint32_t error, bool targetReadOnly) noexcept;

// The time every try of one session-end save may spend waiting, all screens
// together: Windows waits about 5 s for the answer to the session-end query.
constexpr std::uint32_t kSaveRetryBudgetMs = 1000;
constexpr std::uint32_t kReplaceRetryPauseMs = 25;

// Waiting time shared by the tries of one save; once spent, nothing waits again.
class RetryBudget {
public:
    RetryBudget(Pause& pause, std::uint32_t totalMs) noexcept : pause_(pause), leftMs_(totalMs) {}
    RetryBudget(const RetryBudget&) = delete;
    RetryBudget& operator=(const RetryBudget&) = delete;

    // Whether another try follows a result: only a busy file, only while the budget
    // lasts. Pauses before saying yes.
    [[nodiscard]] bool WaitForRetry(ReplaceResult result) noexcept;

private:
    Pause& pause_;
    std::uint32_t leftMs_;
};

// The pure part of WaitForRetry: retry only a busy file, with a full pause left.
[[nodiscard]] bool ShouldRetryReplace(ReplaceResult result, std::uint32_t budgetLeftMs) noexcept;

// The folder a temporary file beside path must go to: path up to its last "\" or
// "/" ("." when there is none, the root itself for a file in a root). False when
// it does not fit size bytes.
[[nodiscard]] bool SettingsFolderOf(const char* path, char* folder, std::size_t size) noexcept;
