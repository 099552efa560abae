// The settings file through the real Win32 calls (run under Wine).
#include "platform.h"
#include "replace_retry.h"
#include "settings_file.h"
#include "unique_handle.h"
#include "wine_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

class SleepingPause final : public Pause {
public:
    void Sleep(std::uint32_t milliseconds) noexcept override {
        ::Sleep(milliseconds);
        slept += milliseconds;
    }
    std::uint32_t slept = 0;
};

const char kContent[] =
    "; settings\r\n"
    "Beeper Function=1\r\n"
    "Frequency=1000\r\n"
    "\n"
    "Touch Mode=0";

// A fresh folder under the temporary folder holding PANELSET.TXT.
class SettingsFileWine : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        folder_ = std::string(temp) + "orva_settings_" + std::to_string(GetCurrentProcessId()) + "_" +
                  std::to_string(counter_++);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        path_ = folder_ + "\\PANELSET.TXT";
        ASSERT_TRUE(WriteWhole(path_, kContent));
    }
    void TearDown() override {
        for (const std::string& name : FilesIn(folder_)) DeleteFileA((folder_ + "\\" + name).c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    std::string folder_;
    std::string path_;
    static int counter_;
};
int SettingsFileWine::counter_ = 0;

TEST_F(SettingsFileWine, RewritesInPlaceAndReadsTheNewContent) {
    char currentBefore[MAX_PATH];
    GetCurrentDirectoryA(sizeof currentBefore, currentBefore);
    SettingsFile settings(path_.c_str());
    ASSERT_EQ(settings.GetStatus(), 0);
    settings.value.number = 4294967295u;
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    settings.value.number = 2;
    EXPECT_TRUE(settings.SetValue("Touch Mode", kFormatDecimal));
    settings.value.number = 7;
    EXPECT_FALSE(settings.SetValue("Duration", kFormatDecimal));
    EXPECT_EQ(settings.status, -2);
    ASSERT_TRUE(settings.GetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.value.number, 4294967295u);
    ASSERT_TRUE(settings.GetValue("Touch Mode", kFormatDecimal));
    EXPECT_EQ(settings.value.number, 2u);
    EXPECT_EQ(ReadWhole(path_), "; settings\r\nBeeper Function=1\r\nFrequency=-1\r\n\r\nTouch Mode=2\r\n");
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"PANELSET.TXT"});
    EXPECT_EQ(GetFileAttributesA((std::string(currentBefore) + "\\rand00.dat").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsFileWine, MissingFileStaysMissing) {
    const std::string missing = folder_ + "\\NOFILE.TXT";
    SettingsFile settings(missing.c_str());
    EXPECT_EQ(settings.GetStatus(), -1);
    settings.value.number = 1;
    EXPECT_FALSE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Windows renames nothing onto a file that is open, delete sharing or not: the
// holder keeps the old file whole and the rewrite waits for it within its budget.
TEST_F(SettingsFileWine, HandleInThisProcessHoldsTheRenameOffUntilItLetsGo) {
    UniqueHandle other(CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other);
    SettingsFile settings(path_.c_str());
    settings.value.number = 5;
    EXPECT_FALSE(settings.SetValue("Frequency", kFormatDecimal)) << "no budget: one try";
    EXPECT_EQ(settings.status, -1);
    EXPECT_EQ(ReadWhole(path_), kContent);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"PANELSET.TXT"});

    SleepingPause pause;
    RetryBudget budget(pause, kSaveRetryBudgetMs);
    settings.UseRetryBudget(&budget);
    std::thread lettingGo([&] {
        Sleep(150);
        other.Reset();
    });
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    lettingGo.join();
    EXPECT_GT(pause.slept, 0u) << "it waited";
    EXPECT_LT(pause.slept, kSaveRetryBudgetMs) << "not longer than the holder held on";
    EXPECT_NE(ReadWhole(path_).find("Frequency=5\r\n"), std::string::npos);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"PANELSET.TXT"});
}

TEST_F(SettingsFileWine, UnchangedContentIsNotWrittenAndLeftoversGo) {
    const std::string content = "; settings\r\nFrequency=1000\r\nTouch Mode=0";
    ASSERT_TRUE(WriteWhole(path_, content));
    const std::string leftover = folder_ + "\\pnl0C1D.tmp";
    ASSERT_TRUE(WriteWhole(leftover, "left by a rewrite that died"));
    // A number below 0x1000, named by the system itself (Wine writes no leading zeros).
    char shortName[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(folder_.c_str(), "pnl", 0x31B, shortName), 0u);
    ASSERT_TRUE(WriteWhole(shortName, "left by another rewrite that died"));
    const std::string busy = folder_ + "\\pnl0C1E.tmp";
    UniqueHandle writing(CreateFileA(busy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writing);
    const std::string other = folder_ + "\\pnl-notes.tmp";
    ASSERT_TRUE(WriteWhole(other, "not ours"));
    FILETIME before = {}, after = {};
    {
        UniqueHandle file(CreateFileA(path_.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(GetFileTime(file.Get(), nullptr, nullptr, &before));
    }
    Sleep(20);
    SettingsFile settings(path_.c_str());
    settings.value.number = 1000;
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal)) << "the line holds that value already";
    {
        UniqueHandle file(CreateFileA(path_.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(GetFileTime(file.Get(), nullptr, nullptr, &after));
    }
    EXPECT_EQ(CompareFileTime(&before, &after), 0) << "nothing was written";
    EXPECT_EQ(ReadWhole(path_), content);
    EXPECT_EQ(GetFileAttributesA(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(shortName), INVALID_FILE_ATTRIBUTES) << shortName;
    EXPECT_NE(GetFileAttributesA(busy.c_str()), INVALID_FILE_ATTRIBUTES) << "still being written";
    EXPECT_EQ(ReadWhole(other), "not ours");
    writing.Reset();
    DeleteFileA(busy.c_str());
}

TEST_F(SettingsFileWine, HandleWithoutDeleteSharingBlocksTheReplaceAndNothingIsLost) {
    UniqueHandle other(CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other);
    SettingsFile settings(path_.c_str());
    ASSERT_EQ(settings.GetStatus(), 0) << "reading needs no delete sharing from others";
    settings.value.number = 5;
    EXPECT_FALSE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
    EXPECT_EQ(ReadWhole(path_), kContent);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"PANELSET.TXT"});
    other.Reset();
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    ASSERT_TRUE(settings.GetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.value.number, 5u);
}

class Holder {
public:
    Holder(const std::string& path, bool shareDelete, const std::string& outFile) {
        const std::string tag = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++count_);
        readyName_ = "orva_holder_ready_" + tag;
        goName_ = "orva_holder_go_" + tag;
        ready_.Reset(CreateEventA(nullptr, TRUE, FALSE, readyName_.c_str()));
        go_.Reset(CreateEventA(nullptr, TRUE, FALSE, goName_.c_str()));
        char self[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
        std::string helper(self, length);
        helper = helper.substr(0, helper.find_last_of('\\') + 1) + "settings_file_holder.exe";
        std::string command = "\"" + helper + "\" \"" + path + "\" " + (shareDelete ? "1" : "0") + " " + readyName_ +
                              " " + goName_ + " \"" + outFile + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        PROCESS_INFORMATION created = {};
        started_ = CreateProcessA(helper.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &created) != 0;
        if (started_) {
            process_.Adopt(created);
            HANDLE waits[2] = {ready_.Get(), process_.process.Get()};
            WaitForMultipleObjects(2, waits, FALSE, 30000);
        }
    }
    ~Holder() {
        if (started_) TerminateProcess(process_.process.Get(), 9);
    }
    bool Started() const { return started_; }
    // Lets the holder read through its handle and exit; its exit code.
    DWORD Finish() {
        SetEvent(go_.Get());
        if (WaitForSingleObject(process_.process.Get(), 30000) != WAIT_OBJECT_0) return 99;
        DWORD code = 99;
        GetExitCodeProcess(process_.process.Get(), &code);
        return code;
    }

private:
    std::string readyName_, goName_;
    UniqueHandle ready_, go_;
    UniqueProcessInformation process_;
    bool started_ = false;
    static int count_;
};
int Holder::count_ = 0;

TEST_F(SettingsFileWine, OtherProcessWithDeleteSharingKeepsTheOldFileWhole) {
    const std::string out = folder_ + "_held.txt";
    SettingsFile settings(path_.c_str());
    ASSERT_EQ(settings.GetStatus(), 0);
    Holder holder(path_, true, out);
    ASSERT_TRUE(holder.Started());
    settings.value.number = 6;
    EXPECT_FALSE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
    EXPECT_EQ(ReadWhole(path_), kContent);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"PANELSET.TXT"}) << "the temporary file must go";
    EXPECT_EQ(holder.Finish(), 0u);
    EXPECT_EQ(ReadWhole(out), kContent) << "the holder read the old file";
    DeleteFileA(out.c_str());
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    ASSERT_TRUE(settings.GetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.value.number, 6u);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"PANELSET.TXT"});
}

TEST_F(SettingsFileWine, OtherProcessWithoutDeleteSharingLeavesTheOldContent) {
    const std::string out = folder_ + "_held.txt";
    SettingsFile settings(path_.c_str());
    ASSERT_EQ(settings.GetStatus(), 0);
    Holder holder(path_, false, out);
    ASSERT_TRUE(holder.Started());
    settings.value.number = 6;
    EXPECT_FALSE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_EQ(settings.status, -1);
    EXPECT_EQ(ReadWhole(path_), kContent);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"PANELSET.TXT"}) << "the temporary file must go";
    EXPECT_EQ(holder.Finish(), 0u);
    DeleteFileA(out.c_str());
    // Once the holder is gone the same accessor succeeds.
    EXPECT_TRUE(settings.SetValue("Frequency", kFormatDecimal));
    EXPECT_NE(ReadWhole(path_).find("Frequency=6\r\n"), std::string::npos);
}

// Paths as long as the installer key's value may be (259 characters): they load,
// and a rewrite works where its temporary file's name fits a path beside them.
TEST_F(SettingsFileWine, LongestPathsLoadAndRewriteWhereTheTemporaryNameFits) {
    struct Case {
        const char* name;
        bool rewrites;
    };
    for (const Case c : {Case{"PANELSET.TXT", true}, Case{"P", false}}) {
        const std::size_t folderLength = 259 - 1 - std::strlen(c.name);
        const std::string deep = folder_ + "\\" + std::string(folderLength - folder_.size() - 1, 'd');
        const std::string path = deep + "\\" + c.name;
        ASSERT_EQ(path.size(), 259u);
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << c.name;
        ASSERT_TRUE(WriteWhole(path, kContent)) << c.name;
        {
            SettingsFile settings(path.c_str());
            ASSERT_EQ(settings.GetStatus(), 0) << c.name;
            ASSERT_TRUE(settings.GetValue("Frequency", kFormatDecimal)) << c.name;
            EXPECT_EQ(settings.value.number, 1000u) << c.name;
            settings.value.number = 7;
            EXPECT_EQ(settings.SetValue("Frequency", kFormatDecimal), c.rewrites) << c.name;
            EXPECT_EQ(settings.status, c.rewrites ? 0 : -1) << c.name;
        }
        const std::string after = ReadWhole(path);
        EXPECT_EQ(after.find("Frequency=7\r\n") != std::string::npos, c.rewrites) << c.name;
        if (!c.rewrites) {
            EXPECT_EQ(after, kContent) << c.name;
        }
        EXPECT_EQ(FilesIn(deep), std::vector<std::string>{c.name}) << c.name;
        DeleteFileA(path.c_str());
        RemoveDirectoryA(deep.c_str());
    }
}

TEST_F(SettingsFileWine, ReadOnlyFolderFailsWithoutTouchingTheFile) {
    // A folder where no file can be created: a read-only Unix folder, which binds
    // even the superuser only on a read-only file system, so /proc serves.
    const std::string path = "Z:\\proc\\version";
    const std::string before = ReadWhole(path);
    if (before == "<missing>") GTEST_SKIP() << "no Z:\\proc under this Wine";
    SettingsFile settings(path.c_str());
    ASSERT_EQ(settings.GetStatus(), 0);
    const std::string word = before.substr(0, before.find(' '));
    settings.value.number = 1;
    EXPECT_FALSE(settings.SetValue(word.c_str(), kFormatDecimal));
    EXPECT_EQ(settings.status, -1) << "the temporary file cannot be created";
    EXPECT_EQ(ReadWhole(path), before);
}

}  // namespace
