#include "replace_retry.h"

#include "platform.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kErrorPathNotFound = 3;

TEST(ClassifyReplaceError, OnlyAHolderThatLetsGoIsWorthAnotherTry) {
    struct Case {
        std::uint32_t error;
        bool readOnly;
        ReplaceResult expected;
    };
    const Case cases[] = {
        {kErrorSharingViolation, false, ReplaceResult::kBusy},
        {kErrorLockViolation, false, ReplaceResult::kBusy},
        {kErrorSharingViolation, true, ReplaceResult::kBusy},
        // Windows refuses a rename onto a file open without delete sharing this way.
        {kErrorAccessDenied, false, ReplaceResult::kBusy},
        {kErrorAccessDenied, true, ReplaceResult::kFailed},
        {kErrorFileNotFound, false, ReplaceResult::kFailed},
        {kErrorPathNotFound, false, ReplaceResult::kFailed},
        {112, false, ReplaceResult::kFailed},   // disk full
        {1176, false, ReplaceResult::kFailed},  // ERROR_UNABLE_TO_MOVE_REPLACEMENT
        {0, false, ReplaceResult::kFailed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyReplaceError(c.error, c.readOnly), c.expected) << c.error << " read-only " << c.readOnly;
    }
}

TEST(ShouldRetryReplace, RetriesABusyFileWhileAFullPauseIsLeft) {
    EXPECT_TRUE(ShouldRetryReplace(ReplaceResult::kBusy, kSaveRetryBudgetMs));
    EXPECT_TRUE(ShouldRetryReplace(ReplaceResult::kBusy, kReplaceRetryPauseMs));
    EXPECT_FALSE(ShouldRetryReplace(ReplaceResult::kBusy, kReplaceRetryPauseMs - 1));
    EXPECT_FALSE(ShouldRetryReplace(ReplaceResult::kBusy, 0));
    EXPECT_FALSE(ShouldRetryReplace(ReplaceResult::kFailed, kSaveRetryBudgetMs));
    EXPECT_FALSE(ShouldRetryReplace(ReplaceResult::kReplaced, kSaveRetryBudgetMs));
}

class RecordingPause final : public Pause {
public:
    void Sleep(std::uint32_t milliseconds) noexcept override { slept += milliseconds; }
    std::uint32_t slept = 0;
};

TEST(RetryBudget, AllTriesTogetherStayWithinTheBound) {
    RecordingPause pause;
    RetryBudget budget(pause, kSaveRetryBudgetMs);
    int retries = 0;
    while (budget.WaitForRetry(ReplaceResult::kBusy)) ++retries;
    EXPECT_EQ(retries, static_cast<int>(kSaveRetryBudgetMs / kReplaceRetryPauseMs));
    EXPECT_EQ(pause.slept, kSaveRetryBudgetMs);
    EXPECT_FALSE(budget.WaitForRetry(ReplaceResult::kBusy));
    EXPECT_EQ(pause.slept, kSaveRetryBudgetMs);
}

TEST(RetryBudget, ARemainderShorterThanOnePauseIsNotWaited) {
    RecordingPause pause;
    RetryBudget budget(pause, 2 * kReplaceRetryPauseMs + kReplaceRetryPauseMs / 2);
    EXPECT_FALSE(budget.WaitForRetry(ReplaceResult::kFailed));
    EXPECT_TRUE(budget.WaitForRetry(ReplaceResult::kBusy));
    EXPECT_TRUE(budget.WaitForRetry(ReplaceResult::kBusy));
    EXPECT_FALSE(budget.WaitForRetry(ReplaceResult::kBusy));
    EXPECT_EQ(pause.slept, 2 * kReplaceRetryPauseMs);
}

struct FolderCase {
    const char* path;
    const char* folder;
};

TEST(SettingsFolderOf, KeepsTheTemporaryFileBesideTheSettingsFile) {
    const FolderCase cases[] = {
        {"C:\\Program Files (x86)\\Orva\\PANELSET.TXT", "C:\\Program Files (x86)\\Orva"},
        {"C:\\PANELSET.TXT", "C:\\"},
        {"\\PANELSET.TXT", "\\"},
        {"C:PANELSET.TXT", "C:"},
        {"PANELSET.TXT", "."},
        {"sub/PANELSET.TXT", "sub"},
        {"\\\\server\\share\\PANELSET.TXT", "\\\\server\\share"},
    };
    for (const FolderCase& c : cases) {
        char folder[256];
        ASSERT_TRUE(SettingsFolderOf(c.path, folder, sizeof folder)) << c.path;
        EXPECT_STREQ(folder, c.folder) << c.path;
    }
    char small[4];
    EXPECT_FALSE(SettingsFolderOf("abcd\\x", small, sizeof small));
    EXPECT_TRUE(SettingsFolderOf("abc\\x", small, sizeof small));
}


TEST(IsLeftoverTemporaryName, KnowsTheRewritesOwnNamesOnly) {
    struct Case {
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {"pnl1A2F.tmp", true}, {"PNL0000.TMP", true}, {"pnlffff.Tmp", true},
        {"pnl31b.tmp", true}, {"pnla.tmp", true},  // Wine's names, without leading zeros
        {"pnl.tmp", false}, {"pnl1A2FF.tmp", false}, {"pnl1G2F.tmp", false},
        {"pnl1A2F.tmp.bak", false}, {"xpnl1A2F.tmp", false}, {"PANELSET.TXT", false},
        {"pnl1A2F.txt", false}, {"", false}, {nullptr, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsLeftoverTemporaryName(c.name), c.expected) << (c.name ? c.name : "(null)");
    }
}

}  // namespace
