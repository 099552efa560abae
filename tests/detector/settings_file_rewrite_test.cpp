// How a rewrite reaches the disk: all keys in one rewrite, nothing written
// when nothing changes, and at every step, failed or cut short by a dead
// process, a settings file holding its whole old or its whole new content.
#include "replace_retry.h"
#include "settings_file.h"

#include "fake_file_access.h"
#include "line_rules_model.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

const char kPath[] = "C:\\Orva\\PANELSET.TXT";

class CountingPause final : public Pause {
public:
    void Sleep(std::uint32_t milliseconds) noexcept override {
        ++pauses;
        total += milliseconds;
    }
    int pauses = 0;
    std::uint32_t total = 0;
};

// Written out by hand, not computed: what one save of several keys makes of a file.
TEST(SetValues, GivesTheFileWrittenOutByHand) {
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> keys;
        std::vector<std::uint32_t> numbers;
        int format;
        std::string expected;
        std::vector<int> results;
        const char* valueText;
    };
    const Case cases[] = {
        {"a key twice, a comment, a missing key",
         "; Frequency=1 in a note\r\nFrequency=1000\r\nDuration=50\r\n\nFrequency=2000\nTouch Mode=0",
         {"Frequency", "Missing", "Touch Mode", "Duration"},
         {900, 1, 4294967295u, 60},
         kFormatDecimal,
         "; Frequency=1 in a note\r\nFrequency=900\r\nDuration=60\r\n\r\nFrequency=900\r\nTouch Mode=-1\r\n",
         {0, -2, 0, 0},
         "60"},
        {"the same key twice: the later value stays", "A=1\r\nB=2\r\n", {"A", "A"}, {7, 8}, kFormatDecimal,
         "A=8\r\nB=2\r\n", {0, 0}, "8"},
        {"a replaced line matched by a later key", "Beeper=1\r\nOther=2\r\n", {"Beeper", "=3"}, {3, 4},
         kFormatDecimal, "=3=4\r\nOther=2\r\n", {0, 0}, "4"},
        {"a replaced line no longer holds what it held", "Routing=1\r\n", {"Routing", "Rout", "ing="}, {5, 6, 7},
         kFormatDecimal, "Rout=6\r\n", {0, 0, -2}, "7"},
        {"a replaced line that became a comment", "x;y=1\r\nz=2\r\n", {";y", "y", "z"}, {1, 2, 3},
         kFormatDecimal, ";y=1\r\nz=3\r\n", {0, -2, 0}, "3"},
        {"a key inside a value and inside a longer key", "Note=Mode\r\nTouch Mode=1\r\n;Mode=5\r\n", {"Mode"},
         {2}, kFormatDecimal, "Mode=2\r\nMode=2\r\n;Mode=5\r\n", {0}, "2"},
        {"only missing keys: lone LFs become CR LF", "a=1\n\n;c\n", {"X", "Y"}, {1, 2}, kFormatDecimal,
         "a=1\n\r\n;c\n", {-2, -2}, "2"},
        {"empty keys skipped", "Frequency=1\n\n", {"", "Frequency", ""}, {1, 2, 3}, kFormatDecimal,
         "Frequency=2\r\n\r\n", {-2, 0, -2}, "3"},
        {"only empty keys: not even lone LFs change", "Frequency=1\n\n", {"", ""}, {1, 2}, kFormatDecimal,
         "Frequency=1\n\n", {-2, -2}, "2"},
        {"an empty file", "", {"A"}, {5}, kFormatDecimal, "", {-2}, "5"},
        {"hexadecimal", "Frequency=1\r\n", {"Frequency", "Duration"}, {26, 27}, kFormatHex4, "Frequency=001a\r\n",
         {0, -2}, "001b"},
        {"text format changes nothing", "Frequency=1\n\n", {"Frequency"}, {26}, kFormatText, "Frequency=1\n\n",
         {-2}, ""},
        {"unknown format changes nothing", "Frequency=1\n\n", {"Frequency"}, {26}, 7, "Frequency=1\n\n", {-2}, ""},
        {"format -6 changes nothing", "Frequency=1\n\n", {"Frequency"}, {26}, -6, "Frequency=1\n\n", {-2},
         ""},
        {"# is no comment", "#Frequency=1\r\n;Frequency=1\r\n", {"Frequency"}, {2}, kFormatDecimal,
         "Frequency=2\r\n;Frequency=1\r\n", {0}, "2"},
        {"a key of 256 bytes skipped", "A=1\r\n" + std::string(256, 'k') + "=1\r\n",
         {std::string(256, 'k'), "A"}, {3, 4}, kFormatDecimal, "A=4\r\n" + std::string(256, 'k') + "=1\r\n",
         {-2, 0}, "4"},
    };
    for (const Case& c : cases) {
        FakeFileAccess files;
        files.Put(kPath, c.content);
        SettingsFile settings(kPath, files);
        std::vector<const char*> names;
        for (const std::string& key : c.keys) names.push_back(key.c_str());
        std::vector<int> results(c.keys.size(), 99);
        const std::size_t replaced =
            settings.SetValues(names.data(), c.numbers.data(), names.size(), c.format, results.data());
        EXPECT_EQ(files.Content(kPath), c.expected) << c.name;
        EXPECT_EQ(results, c.results) << c.name;
        EXPECT_EQ(replaced, static_cast<std::size_t>(std::count(c.results.begin(), c.results.end(), 0))) << c.name;
        EXPECT_EQ(settings.status, c.results.back()) << c.name;
        EXPECT_STREQ(settings.valueText, c.valueText) << c.name;
        // All keys in one rewrite, and none when nothing changes.
        EXPECT_EQ(files.Calls(FakeFileAccess::kReplace), c.expected == c.content ? 0 : 1) << c.name;
        EXPECT_EQ(files.Snapshot().size(), 1u) << c.name;
    }
}

// Random files from a small alphabet, so that keys turn up inside keys, values
// and comments, with long lines and files without a final LF; the expectation is
// worked out by the model of the line rules (line_rules_model.h).
TEST(SetValues, FollowsTheLineRulesOnRandomFiles) {
    std::mt19937 random(20261208);
    const std::vector<std::string> pieces = {"Freq", "uency", "=", "Dur", "ation", ";", "\n", "\r\n", " ", "7",
                                             "Touch Mode", "\n\n", "==", "#", "\xEF\xBB\xBF"};
    for (int round = 0; round < 400; ++round) {
        std::string content;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) content += pieces[random() % pieces.size()];
        if (random() % 8 == 0) content += std::string(1500 + random() % 3000, 'x');
        std::vector<std::string> keys;
        std::vector<const char*> names;
        std::vector<std::uint32_t> numbers;
        const int count = 1 + static_cast<int>(random() % 9);
        for (int i = 0; i < count; ++i) {
            keys.push_back(pieces[random() % 6]);
            if (random() % 2) keys.back() += pieces[random() % 6];
            numbers.push_back(random() % 3 == 0 ? 7u : static_cast<std::uint32_t>(random()));
        }
        std::string expected = content;
        std::vector<int> expectedResults;
        std::string lastText;
        for (int i = 0; i < count; ++i) {
            lastText = std::to_string(static_cast<std::int32_t>(numbers[i]));
            bool replaced = false;
            expected = ModelRewrite(expected, keys[i], lastText, &replaced);
            expectedResults.push_back(replaced ? 0 : -2);
            names.push_back(keys[i].c_str());
        }

        FakeFileAccess files;
        files.Put(kPath, content);
        SettingsFile settings(kPath, files);
        std::vector<int> results(keys.size(), 99);
        (void)settings.SetValues(names.data(), numbers.data(), keys.size(), kFormatDecimal, results.data());
        const std::string where = "round " + std::to_string(round) + ": " + content;
        EXPECT_EQ(files.Content(kPath), expected) << where;
        EXPECT_EQ(results, expectedResults) << where;
        EXPECT_EQ(settings.status, expectedResults.back()) << where;
        EXPECT_EQ(settings.valueText, lastText) << where;
        EXPECT_EQ(files.Calls(FakeFileAccess::kReplace), expected == content ? 0 : 1) << where;
        EXPECT_EQ(files.Snapshot().size(), 1u) << where;
        if (HasFailure()) return;
    }
}

// A text holding line feeds makes lines of its own, which later changes see as such.
TEST(ReplaceValues, TextsWithLineFeedsMakeLinesOfTheirOwn) {
    FakeFileAccess files;
    files.Put(kPath, "A=1\r\nB=2\r\n");
    SettingsFile settings(kPath, files);
    const SettingsFile::SettingChange changes[] = {{"A", "x\r\n"}, {"B", "y\n\n"}, {"y", "z"}};
    int results[3] = {99, 99, 99};
    EXPECT_EQ(settings.ReplaceValues(changes, 3, results), 3u);
    EXPECT_EQ(std::vector<int>(results, results + 3), (std::vector<int>{0, 0, 0}));
    // After "A": A=x\r\n\r\nB=2\r\n. After "B": A=x\r\n\r\nB=y\n\n\r\n, where
    // the line B=y\n holds "y" and the lone LF becomes CR LF.
    EXPECT_EQ(files.Content(kPath), "A=x\r\n\r\ny=z\r\n\r\n\r\n");
    EXPECT_EQ(files.Calls(FakeFileAccess::kReplace), 1);
}

TEST(ReplaceValues, TextThatWouldNotFitIsRefused) {
    FakeFileAccess files;
    files.Put(kPath, "A=1\r\n");
    SettingsFile settings(kPath, files);
    const std::string tooLong(SettingsFile::kTextSize, '9');
    EXPECT_EQ(settings.ReplaceValue("A", tooLong.c_str()), kSettingsNotFound);
    EXPECT_EQ(settings.ReplaceValue("A", tooLong.substr(1).c_str()), kSettingsOk);
    EXPECT_EQ(files.Content(kPath), "A=" + tooLong.substr(1) + "\r\n");
}

const std::string kOld = "; settings\r\nFrequency=1000\r\n\nDuration=50\r\nTouch Mode=1";
const std::string kNew = "; settings\r\nFrequency=999\r\n\r\nDuration=60\r\nTouch Mode=2\r\n";
const char* const kKeys[] = {"Frequency", "Duration", "Touch Mode"};
const std::uint32_t kOldValues[] = {1000, 50, 1};
const std::uint32_t kNewValues[] = {999, 60, 2};

// A rewrite that fails at any step: -1 for every key that could match, found or not,
// -2 still for those that never could; the file and its folder as before.
TEST(SetValues, FailedRewriteGivesMinusOneToUsableKeysOnly) {
    const std::string longKey(SettingsFile::kTextSize, 'k');
    const char* const keys[] = {"Frequency", "", longKey.c_str(), "Missing", "Duration"};
    const std::uint32_t numbers[] = {1, 2, 3, 4, 5};
    using F = FakeFileAccess;
    const F::Op failing[] = {F::kRead, F::kCreate, F::kWrite, F::kFlush, F::kReplace};
    for (const F::Op op : failing) {
        FakeFileAccess files;
        files.Put(kPath, kOld);
        SettingsFile settings(kPath, files);
        files.FailCall(op, 1);
        int results[5];
        EXPECT_EQ(settings.SetValues(keys, numbers, 5, kFormatDecimal, results), 0u) << "op " << op;
        EXPECT_EQ(std::vector<int>(results, results + 5), (std::vector<int>{-1, -2, -2, -1, -1}))
            << "op " << op;
        EXPECT_EQ(settings.status, -1) << "op " << op;
        EXPECT_EQ(files.Content(kPath), kOld) << "op " << op;
        EXPECT_EQ(files.Snapshot().size(), 1u) << "op " << op << ": a copy left beside the file";
    }
}

TEST(SetValues, UnchangedContentWritesNothing) {
    const std::string content = "; x\r\nFrequency=5\r\nDuration=-1\r\nOther=\r\n";
    const char* keys[] = {"Frequency", "Duration", "Missing"};
    const std::uint32_t numbers[] = {5, 4294967295u, 1};
    FakeFileAccess files;
    files.Put(kPath, content);
    SettingsFile settings(kPath, files);
    int results[3];
    EXPECT_EQ(settings.SetValues(keys, numbers, 3, kFormatDecimal, results), 2u);
    EXPECT_EQ(std::vector<int>(results, results + 3), (std::vector<int>{0, 0, -2}));
    EXPECT_EQ(files.Content(kPath), content);
    for (auto op : {FakeFileAccess::kCreate, FakeFileAccess::kWrite, FakeFileAccess::kFlush,
                    FakeFileAccess::kReplace, FakeFileAccess::kDelete}) {
        EXPECT_EQ(files.Calls(op), 0) << "op " << op;
    }
    // A lone LF becoming CR LF is a change like any other.
    files.Put(kPath, content + "\n");
    SettingsFile again(kPath, files);
    EXPECT_EQ(again.SetValues(keys, numbers, 3, kFormatDecimal, results), 2u);
    EXPECT_EQ(files.Content(kPath), content + "\r\n");
    EXPECT_EQ(files.Calls(FakeFileAccess::kFlush), 1);
    EXPECT_EQ(files.Calls(FakeFileAccess::kReplace), 1);
}

// What a later start sees: the whole old or the whole new set, never a mix.
void ExpectOldOrNewSet(FakeFileAccess& files, const std::string& where) {
    SettingsFile settings(kPath, files);
    ASSERT_EQ(settings.GetStatus(), 0) << where << ": the settings file must be there";
    std::uint32_t seen[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(settings.GetValue(kKeys[i], kFormatDecimal)) << where << " " << kKeys[i];
        seen[i] = settings.value.number;
    }
    const bool old = std::equal(seen, seen + 3, kOldValues);
    const bool fresh = std::equal(seen, seen + 3, kNewValues);
    EXPECT_TRUE(old || fresh) << where << ": " << seen[0] << " " << seen[1] << " " << seen[2];
    const std::string content = files.Content(kPath);
    EXPECT_TRUE(content == kOld || content == kNew) << where;
}

// What the next save makes of it: the new set, and nothing left beside the file.
void ExpectNextSaveCompletes(FakeFileAccess& files, const std::string& where) {
    SettingsFile settings(kPath, files);
    int results[3];
    EXPECT_EQ(settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results), 3u) << where;
    EXPECT_EQ(files.Content(kPath), kNew) << where;
    for (const auto& file : files.Snapshot()) {
        const std::string& name = file.first;
        EXPECT_TRUE(name == kPath || name == "C:\\Orva\\notes.tmp") << where << ": " << name << " left over";
    }
}

// Every state the files pass through during a save is what a process that died
// at that moment leaves behind.
TEST(SettingsFileDurability, ProcessDyingAtAnyStepLeavesTheOldOrTheNewFile) {
    FakeFileAccess files;
    files.Put(kPath, kOld);
    files.Put("C:\\Orva\\pnlBEEF.tmp", "left by an earlier death");
    files.Put("C:\\Orva\\notes.tmp", "someone else's");
    {
        SettingsFile settings(kPath, files);
        files.RecordStates();
        int results[3];
        ASSERT_EQ(settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results), 3u);
    }
    ASSERT_EQ(files.Content(kPath), kNew);
    EXPECT_FALSE(files.Exists("C:\\Orva\\pnlBEEF.tmp"));
    EXPECT_EQ(files.Content("C:\\Orva\\notes.tmp"), "someone else's");
    ASSERT_GT(files.States().size(), 8u);
    int step = 0;
    for (const auto& state : files.States()) {
        const std::string where = "death before call " + std::to_string(++step);
        FakeFileAccess after;
        for (const auto& file : state) after.Put(file.first, file.second);
        ExpectOldOrNewSet(after, where);
        ExpectNextSaveCompletes(after, where);
        EXPECT_TRUE(after.Exists("C:\\Orva\\notes.tmp")) << where << ": not a leftover of ours";
    }
}

// Each call of each operation fails in turn; the result says what the file holds.
TEST(SettingsFileDurability, EveryFailingStepLeavesTheOldOrTheNewFile) {
    FakeFileAccess counting;
    counting.Put(kPath, kOld);
    int before[FakeFileAccess::kOpCount];
    int during[FakeFileAccess::kOpCount];
    {
        SettingsFile settings(kPath, counting);
        for (int op = 0; op < FakeFileAccess::kOpCount; ++op) before[op] = counting.Calls(FakeFileAccess::Op(op));
        int results[3];
        ASSERT_EQ(settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results), 3u);
        for (int op = 0; op < FakeFileAccess::kOpCount; ++op) {
            during[op] = counting.Calls(FakeFileAccess::Op(op)) - before[op];
        }
    }
    EXPECT_EQ(during[FakeFileAccess::kCreate], 1);
    EXPECT_EQ(during[FakeFileAccess::kFlush], 1);
    EXPECT_EQ(during[FakeFileAccess::kReplace], 1);
    int injected = 0;
    for (int op = 0; op < FakeFileAccess::kOpCount; ++op) {
        for (int nth = 1; nth <= during[op]; ++nth) {
            const std::string where = "op " + std::to_string(op) + " call " + std::to_string(nth);
            FakeFileAccess files;
            files.Put(kPath, kOld);
            {
                SettingsFile settings(kPath, files);
                files.FailCall(FakeFileAccess::Op(op), nth);
                int results[3];
                const std::size_t replaced = settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results);
                // Checked before any later save could clean up what this one left.
                EXPECT_EQ(files.Snapshot().size(), 1u) << where << ": a copy left beside the file";
                const bool written = files.Content(kPath) == kNew;
                ASSERT_TRUE(written || files.Content(kPath) == kOld) << where;
                EXPECT_EQ(replaced, written ? 3u : 0u) << where;
                EXPECT_EQ(settings.status, written ? 0 : -1) << where;
                // The accessor reads what the file now holds, unless its reopening failed.
                if (settings.GetValue("Duration", kFormatDecimal)) {
                    EXPECT_EQ(settings.value.number, written ? 60u : 50u) << where;
                } else {
                    EXPECT_EQ(op, FakeFileAccess::kOpen) << where;
                }
            }
            ExpectOldOrNewSet(files, where);
            ExpectNextSaveCompletes(files, where);
            ++injected;
        }
    }
    EXPECT_GT(injected, 8);
}

TEST(SettingsFileDurability, BusyFileIsTriedAgainWhileTheBudgetLasts) {
    FakeFileAccess files;
    files.Put(kPath, kOld);
    CountingPause pause;
    RetryBudget budget(pause, 100);
    const OsHandle holder = files.HoldOpen(kPath, false);
    {
        SettingsFile settings(kPath, files);
        settings.UseRetryBudget(&budget);
        int results[3];
        EXPECT_EQ(settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results), 0u);
        EXPECT_EQ(settings.status, -1);
    }
    EXPECT_EQ(files.Calls(FakeFileAccess::kReplace), 1 + 100 / static_cast<int>(kReplaceRetryPauseMs));
    EXPECT_EQ(pause.total, 100u);
    EXPECT_EQ(files.Content(kPath), kOld);
    EXPECT_EQ(files.Snapshot().size(), 1u);

    // A spent budget waits no more: the next save of the same session-end tries once.
    {
        SettingsFile settings(kPath, files);
        settings.UseRetryBudget(&budget);
        int results[3];
        EXPECT_EQ(settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results), 0u);
    }
    EXPECT_EQ(pause.pauses, 4);
    files.Release(holder);
    ExpectNextSaveCompletes(files, "after the holder let go");
}

TEST(SettingsFileDurability, LastingFailureIsNotTriedAgain) {
    FakeFileAccess files;
    files.Put(kPath, kOld);
    CountingPause pause;
    RetryBudget budget(pause, 1000);
    SettingsFile settings(kPath, files);
    settings.UseRetryBudget(&budget);
    files.FailCall(FakeFileAccess::kReplace, 1);
    int results[3];
    EXPECT_EQ(settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results), 0u);
    EXPECT_EQ(pause.pauses, 0);
    EXPECT_EQ(files.Content(kPath), kOld);
}

TEST(SettingsFileDurability, LeftoverInUseIsKeptAndAFailedCleanupGoesNextTime) {
    FakeFileAccess files;
    files.Put(kPath, kOld);
    files.Put("C:\\Orva\\pnl0A0B.tmp", "another rewrite still writing");
    const OsHandle writer = files.HoldOpen("C:\\Orva\\pnl0A0B.tmp", false);
    {
        SettingsFile settings(kPath, files);
        files.FailCall(FakeFileAccess::kReplace, 1);
        files.FailCall(FakeFileAccess::kDelete, 1);
        int results[3];
        EXPECT_EQ(settings.SetValues(kKeys, kNewValues, 3, kFormatDecimal, results), 0u);
    }
    EXPECT_EQ(files.Content(kPath), kOld);
    EXPECT_EQ(files.Snapshot().size(), 3u);  // the busy one and our failed copy
    files.Release(writer);
    ExpectNextSaveCompletes(files, "next save");
}

}  // namespace
