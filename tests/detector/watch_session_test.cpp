#include "watch_session.h"

#include "device_arrival.h"
#include "replace_retry.h"
#include "scripted_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kPath[] = "C:\\OrvaPanels\\PANELSET.TXT";
const char kTool[] = "C:\\Program Files (x86)\\OrvaPanels\\Tesvo.exe";

// Holds started work until the test runs it, or runs it on real threads.
class FakeThreads final : public WorkerThreads {
public:
    bool realThreads = false;
    int failingStarts = 0;

    bool Start(std::function<std::uint32_t()> work) noexcept override {
        std::lock_guard<std::mutex> guard(mutex_);
        if (failingStarts > 0) {
            --failingStarts;
            return false;
        }
        if (realThreads) {
            running_.emplace_back([this, work] { Note(work()); });
        } else {
            pending_.push_back(std::move(work));
        }
        return true;
    }
    std::size_t Pending() {
        std::lock_guard<std::mutex> guard(mutex_);
        return pending_.size();
    }
    // Runs queued work in start order, including work started meanwhile.
    void RunAll() {
        for (;;) {
            std::function<std::uint32_t()> work;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                if (pending_.empty()) return;
                work = std::move(pending_.front());
                pending_.pop_front();
            }
            Note(work());
        }
    }
    // The exit codes of the work that has ended, in the order it ended.
    std::vector<std::uint32_t> ExitCodes() {
        std::lock_guard<std::mutex> guard(mutex_);
        return exitCodes_;
    }
    void JoinAll() {
        for (;;) {
            std::vector<std::thread> threads;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                threads.swap(running_);
            }
            if (threads.empty()) return;
            for (std::thread& t : threads) t.join();
        }
    }

private:
    void Note(std::uint32_t exitCode) {
        std::lock_guard<std::mutex> guard(mutex_);
        exitCodes_.push_back(exitCode);
    }

    std::mutex mutex_;
    std::deque<std::function<std::uint32_t()>> pending_;
    std::vector<std::thread> running_;
    std::vector<std::uint32_t> exitCodes_;
};

class FakeTools final : public ToolRunner {
public:
    bool startable = true;
    std::function<void()> whileRunning;

    bool RunAndWait(const char* commandLine) noexcept override {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            commands_.emplace_back(commandLine);
        }
        if (!startable) return false;
        if (whileRunning) whileRunning();
        return true;
    }
    std::vector<std::string> Commands() {
        std::lock_guard<std::mutex> guard(mutex_);
        return commands_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> commands_;
};

class RecordingTones final : public TonePlayer {
public:
    void Tone(std::uint32_t frequency, std::uint32_t milliseconds) noexcept override {
        std::lock_guard<std::mutex> guard(mutex_);
        tones_.push_back(std::to_string(frequency) + "/" + std::to_string(milliseconds));
    }
    std::vector<std::string> Tones() {
        std::lock_guard<std::mutex> guard(mutex_);
        return tones_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> tones_;
};

// The in-memory files, made safe for the workers and the user-interface thread at once.
// Keeps every content a replace left under a name, to show that no rewrite left a torn file.
class LockedFiles final : public FileAccess {
public:
    explicit LockedFiles(FakeFileAccess& inner) : inner_(inner) {}

    ReplaceResult Replace(const char* target, const char* replacement) noexcept override {
        std::lock_guard<std::mutex> guard(mutex_);
        const ReplaceResult result = inner_.Replace(target, replacement);
        if (result == ReplaceResult::kReplaced) replacedContents_.push_back(inner_.Content(target));
        return result;
    }
    std::vector<std::string> ReplacedContents() {
        std::lock_guard<std::mutex> guard(mutex_);
        return replacedContents_;
    }
#define ORVA_LOCKED(Result, Name, Params, Args)        \
    Result Name Params noexcept override {             \
        std::lock_guard<std::mutex> guard(mutex_);     \
        return inner_.Name Args;                       \
    }
    ORVA_LOCKED(OsHandle, OpenForReading, (const char* path), (path))
    ORVA_LOCKED(bool, Read, (OsHandle f, char* b, std::size_t s, std::size_t* g), (f, b, s, g))
    ORVA_LOCKED(bool, Seek, (OsHandle f, std::uint64_t o), (f, o))
    ORVA_LOCKED(OsHandle, CreateTemporary, (const char* d, char* t, std::size_t s), (d, t, s))
    ORVA_LOCKED(bool, Write, (OsHandle f, const char* d, std::size_t s), (f, d, s))
    ORVA_LOCKED(bool, Flush, (OsHandle f), (f))
    ORVA_LOCKED(void, Close, (OsHandle f), (f))
    ORVA_LOCKED(bool, Delete, (const char* p), (p))
    ORVA_LOCKED(void, DeleteLeftoverTemporaries, (const char* d), (d))
#undef ORVA_LOCKED

private:
    std::mutex mutex_;
    FakeFileAccess& inner_;
    std::vector<std::string> replacedContents_;
};

std::vector<char> Arrival(const std::string& name, std::uint32_t type = kDeviceInterfaceType) {
    std::vector<char> bytes(kInterfaceNameOffset + name.size() + 1, '\0');
    const auto size = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(bytes.data(), &size, 4);
    std::memcpy(bytes.data() + 4, &type, 4);
    std::memcpy(bytes.data() + kInterfaceNameOffset, name.c_str(), name.size());
    return bytes;
}

const std::vector<char> kController = Arrival("\\\\?\\HID#VID_0A7C&PID_0030&MI_00#7&1a2b&0&0000#{4d1e55b2}");
const std::vector<std::string> kSignal = {"1000/300", "2000/300", "3000/400"};

// The double-click metrics as the restore meets them: each change is broadcast, and the
// broadcast waits for every window, the detector's own included. A test closes the gate
// to hold the restore there.
class GatedMetrics final : public SystemMetrics {
public:
    explicit GatedMetrics(SystemMetrics& inner) : inner_(inner) {}
    std::function<void()> whileSetting;  // in every width change, before the gate
    void Close() { open_ = false; }
    void Open() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    bool WaitUntilHeld() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return held_; });
    }

    std::int32_t GetDoubleClickWidth() noexcept override { return inner_.GetDoubleClickWidth(); }
    std::int32_t GetDoubleClickHeight() noexcept override { return inner_.GetDoubleClickHeight(); }
    std::uint32_t GetDoubleClickTime() noexcept override { return inner_.GetDoubleClickTime(); }
    void SetDoubleClickWidth(std::int32_t value) noexcept override {
        if (whileSetting) whileSetting();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        }
        inner_.SetDoubleClickWidth(value);
    }
    void SetDoubleClickHeight(std::int32_t value) noexcept override { inner_.SetDoubleClickHeight(value); }
    void SetDoubleClickTime(std::uint32_t value) noexcept override { inner_.SetDoubleClickTime(value); }

private:
    SystemMetrics& inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    bool held_ = false;
};

struct WatchSessionTest : ::testing::Test {
    ScriptedPlatform p;
    LockedFiles files{p.files};
    GatedMetrics metrics{p.metrics};
    DetectorPlatform platform{p.driver, metrics, p.trace, p.pause, files};
    FakeThreads threads;
    FakeTools tools;
    RecordingTones tones;
    WorkerServices services{threads, tools, tones};
    std::shared_ptr<WatchSession> session;

    void Start(int screens, const std::string& settings = "Frequency=3100\r\nTouch Mode=2\r\n") {
        p.driver.screenInfoCount = screens;
        for (int i = 0; i < screens; ++i) p.driver.screens.push_back(HealthyScreen());
        p.files.Put(kPath, settings);
        session = std::make_shared<WatchSession>(platform, services);
        std::strcpy(session->settingsPath, kPath);
        std::strcpy(session->toolCommand, kTool);
        p.driver.ClearCalls();
    }
};

TEST_F(WatchSessionTest, StartUpWorkerLoadsAndAppliesEveryScreenOnce) {
    Start(2);
    session->StartApplyWorker();
    session->StartApplyWorker();  // dropped: one is under way
    EXPECT_TRUE(session->applyBusy);
    ASSERT_EQ(threads.Pending(), 1u);
    threads.RunAll();

    EXPECT_FALSE(session->applyBusy);
    EXPECT_EQ(p.driver.CountCalls("SetBeep 0 1 3100 50 0"), 1);
    EXPECT_EQ(p.driver.CountCalls("SetBeep 1 1 3100 50 0"), 1);
    EXPECT_EQ(p.driver.CountCalls("SetMouseMode 1 2"), 1);
}

TEST_F(WatchSessionTest, NoScreensLoadsNothingAndSavesNothing) {
    Start(0, "Frequency=3100\n");
    session->StartApplyWorker();
    threads.RunAll();
    EXPECT_FALSE(session->applyBusy);
    session->SaveAllScreens();
    EXPECT_EQ(p.driver.Calls(), std::vector<std::string>{"GetScreenInfo 0"});
    EXPECT_EQ(p.files.Content(kPath), "Frequency=3100\n");
}

TEST_F(WatchSessionTest, OnlyTheControllersArrivalSignalsAndRunsTheTool) {
    Start(1);
    const std::vector<char> other = Arrival("\\\\?\\HID#VID_046D&PID_C52B&MI_00#7&1a2b");
    const std::vector<char> volume = Arrival("HID#Vid_0a7c&Pid_0030", 2);
    session->HandleDeviceChange(0x8004, kController.data());  // removal
    session->HandleDeviceChange(kDeviceArrival, other.data());
    session->HandleDeviceChange(kDeviceArrival, volume.data());
    EXPECT_EQ(threads.Pending(), 0u);

    session->HandleDeviceChange(kDeviceArrival, kController.data());
    EXPECT_EQ(threads.Pending(), 2u);  // the signal and the tool
    threads.RunAll();
    EXPECT_EQ(tones.Tones(), kSignal);
    EXPECT_EQ(tools.Commands(), std::vector<std::string>{kTool});
    EXPECT_FALSE(session->toolBusy);
    EXPECT_EQ(p.driver.CountCalls("GetScreenInfo"), 1);  // the refresh after the tool
}

TEST_F(WatchSessionTest, ArrivalsWhileTheToolRunsSignalButStartNoSecondTool) {
    Start(1);
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    EXPECT_EQ(threads.Pending(), 3u);
    threads.RunAll();
    std::vector<std::string> twice = kSignal;
    twice.insert(twice.end(), kSignal.begin(), kSignal.end());
    EXPECT_EQ(tones.Tones(), twice);
    EXPECT_EQ(tools.Commands().size(), 1u);
}

TEST_F(WatchSessionTest, ArrivalDuringTheClosingRefreshStartsTheNextTool) {
    Start(1);
    bool arrived = false;
    p.driver.onScreenInfo = [&] {
        if (arrived) return;
        arrived = true;
        EXPECT_FALSE(session->toolBusy);
        session->HandleDeviceChange(kDeviceArrival, kController.data());
    };
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    threads.RunAll();
    EXPECT_TRUE(arrived);
    EXPECT_EQ(tools.Commands().size(), 2u);
}

TEST_F(WatchSessionTest, FailedStartsClearTheirFlags) {
    Start(1);
    tools.startable = false;
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    threads.RunAll();
    EXPECT_FALSE(session->toolBusy);
    EXPECT_EQ(threads.ExitCodes(), (std::vector<std::uint32_t>{0, 1}));  // the signal, the tool
    EXPECT_EQ(p.driver.CountCalls("GetScreenInfo"), 0);  // no refresh without a tool run

    tools.startable = true;
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    threads.RunAll();
    EXPECT_EQ(tools.Commands().size(), 2u);

    threads.failingStarts = 2;  // the signal's thread and the tool's
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    EXPECT_FALSE(session->toolBusy);
    threads.failingStarts = 1;
    session->StartApplyWorker();
    EXPECT_FALSE(session->applyBusy);
}

TEST_F(WatchSessionTest, SessionEndSavesTheDriversCurrentValuesWhileTheToolStillRuns) {
    Start(2, "; keep\r\nFrequency=1\r\nDuration=2\r\n");
    session->HandleDeviceChange(kDeviceArrival, kController.data());  // tool never finishes here
    p.driver.screens[1].beep.beeperFrequency = 4321;
    session->SaveAllScreens();
    EXPECT_TRUE(session->toolBusy);
    // The last screen's values are what the file keeps.
    EXPECT_EQ(p.files.Content(kPath), "; keep\r\nFrequency=4321\r\nDuration=50\r\n");
}

// A file held by someone else for good must not hold up the answer to Windows:
// all screens' retries together wait no longer than the one budget.
TEST_F(WatchSessionTest, SessionEndWaitsForABusyFileWithinOneBudgetForAllScreens) {
    Start(4, "Frequency=1\r\n");
    for (auto& screen : p.driver.screens) screen.beep.beeperFrequency = 4321;
    const OsHandle holder = p.files.HoldOpen(kPath, false);
    session->SaveAllScreens();
    std::uint32_t waited = 0;
    for (std::uint32_t pause : p.pause.Pauses()) waited += pause;
    EXPECT_EQ(waited, kSaveRetryBudgetMs);
    EXPECT_EQ(p.files.Content(kPath), "Frequency=1\r\n");
    // The first screen spent the budget; each later screen tried once.
    EXPECT_EQ(p.files.Calls(FakeFileAccess::kReplace), static_cast<int>(kSaveRetryBudgetMs / kReplaceRetryPauseMs) + 4);
    p.files.Release(holder);
    session->SaveAllScreens();
    EXPECT_EQ(p.files.Content(kPath), "Frequency=4321\r\n");
}

TEST_F(WatchSessionTest, NoOtherRefreshComesBetweenTheSessionEndRefreshAndItsSave) {
    Start(2, "Frequency=1\r\n");
    bool refreshed = false;
    // Once the session-end refresh has counted the screens, the tool worker's
    // refresh (which would count none) tries to run.
    std::thread toolRefresh;
    p.driver.onScreenInfo = [&] {
        if (refreshed) {
            p.driver.screenInfoStatus = 1;
            return;
        }
        refreshed = true;
        toolRefresh = std::thread([&] { session->screens.Refresh(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    p.driver.screens[1].beep.beeperFrequency = 3456;
    session->SaveAllScreens();
    toolRefresh.join();
    EXPECT_EQ(p.files.Content(kPath), "Frequency=3456\r\n");
    EXPECT_EQ(session->screens.GetScreenCount(), 0);  // the tool worker's refresh came after
}

// Kiosks are switched off rather than logged off: what the tool set is saved as soon
// as the refresh after it has read the driver, once, and only when it changed.
TEST_F(WatchSessionTest, ToolRunIsSavedAtOnceWhenItChangedSomething) {
    Start(1, "; kept\r\nFrequency=1\r\nTouch Mode=1\r\n");
    tools.whileRunning = [&] { p.driver.screens[0].beep.beeperFrequency = 4321; };
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    threads.RunAll();
    EXPECT_EQ(p.files.Content(kPath), "; kept\r\nFrequency=4321\r\nTouch Mode=3\r\n");
    EXPECT_EQ(p.files.Calls(FakeFileAccess::kReplace), 1);

    tools.whileRunning = nullptr;  // a tool that changes nothing writes nothing
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    threads.RunAll();
    EXPECT_EQ(p.files.Calls(FakeFileAccess::kReplace), 1);

    // A busy file gets one try and no pause: it is saved by a later run or the session end.
    tools.whileRunning = [&] { p.driver.screens[0].beep.beeperFrequency = 999; };
    const OsHandle holder = p.files.HoldOpen(kPath, false);
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    threads.RunAll();
    EXPECT_EQ(p.files.Content(kPath), "; kept\r\nFrequency=4321\r\nTouch Mode=3\r\n");
    EXPECT_TRUE(p.pause.Pauses().empty());
    p.files.Release(holder);
}

// The restore is held in its metrics broadcast, as when the detector's window is slow
// to answer: the tool run's save waits for the restore to end, and the session-end
// save on the user-interface thread waits for neither and skips the screen not restored.
TEST_F(WatchSessionTest, ToolRunSaveWaitsForTheRestoreAndSessionEndForNeither) {
    Start(1, "Frequency=1\r\n");
    threads.realThreads = true;
    metrics.Close();
    session->StartApplyWorker();
    ASSERT_TRUE(metrics.WaitUntilHeld());
    std::atomic<bool> toolEnded{false};
    tools.whileRunning = [&] {
        p.driver.screens[0].beep.beeperFrequency = 4321;
        toolEnded = true;
    };
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    while (!toolEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    auto sessionEnd = std::async(std::launch::async, [&] { session->SaveAllScreens(); });
    EXPECT_EQ(sessionEnd.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(files.ReplacedContents().size(), 0u) << "saved in the middle of the restore";

    p.driver.screens[0].beep.beeperFrequency = 5555;
    metrics.Open();
    threads.JoinAll();
    EXPECT_EQ(files.ReplacedContents(), std::vector<std::string>{"Frequency=5555\r\n"});
}

TEST_F(WatchSessionTest, SessionEndDuringTheRestoreSavesOnlyTheScreensItWentThrough) {
    Start(3, "Frequency=03100\r\n");  // only a save writes "3100"
    std::vector<std::string> seen;   // the file after a session end within each screen's restore
    metrics.whileSetting = [&] { session->SaveAllScreens(); seen.push_back(p.files.Content(kPath)); };
    session->StartApplyWorker();
    threads.RunAll();
    const std::string kept = "Frequency=03100\r\n", saved = "Frequency=3100\r\n";
    EXPECT_EQ(seen, (std::vector<std::string>{kept, saved, saved}));
}

// The session's end, or an installer's close request: no tool is started any more,
// and a tool run that ends afterwards is not saved.
TEST_F(WatchSessionTest, AfterTheEndNoToolStartsAndNoRunIsSaved) {
    Start(1, "Frequency=1\r\n");
    tools.whileRunning = [&] {
        p.driver.screens[0].beep.beeperFrequency = 4321;
        session->EndWatching();
    };
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    threads.RunAll();
    EXPECT_EQ(p.files.Content(kPath), "Frequency=1\r\n");
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    EXPECT_EQ(threads.Pending(), 0u);
    EXPECT_EQ(tools.Commands().size(), 1u);
}

TEST_F(WatchSessionTest, WorkersKeepTheSessionAliveAfterTheDialogLetsGo) {
    Start(1);
    session->StartApplyWorker();
    session->HandleDeviceChange(kDeviceArrival, kController.data());
    std::weak_ptr<WatchSession> watched = session;
    session.reset();
    EXPECT_FALSE(watched.expired());
    threads.RunAll();
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(tools.Commands().size(), 1u);
}

// The start-up worker, a tool worker's refresh and the session-end save at once,
// on real threads: ThreadSanitizer reports any unguarded shared access, and what
// must hold whatever the interleaving is checked afterwards.
TEST_F(WatchSessionTest, WorkersAndSessionEndRunConcurrently) {
    // The file holds the driver's own values, so that restore and save agree in any
    // order; "02000" is what only a save rewrites as "2000".
    const std::string original = "Frequency=02000\r\nDuration=50\r\nTouch Mode=3\r\n";
    Start(3, original);
    const std::string saved = "Frequency=2000\r\nDuration=50\r\nTouch Mode=3\r\n";
    threads.realThreads = true;
    // Each tool runs until its round's burst of arrivals is delivered, so the later
    // arrivals of a burst find it still running (bounded, should a second one start).
    std::atomic<int> burstsDelivered{0};
    std::atomic<int> toolRuns{0};
    tools.whileRunning = [&] {
        const int run = ++toolRuns;
        for (int waited = 0; burstsDelivered.load() < run && waited < 2000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    constexpr int kRounds = 5;
    constexpr int kArrivalsPerBurst = 3;
    for (int round = 0; round < kRounds; ++round) {
        session->StartApplyWorker();
        for (int arrival = 0; arrival < kArrivalsPerBurst; ++arrival) {
            session->HandleDeviceChange(kDeviceArrival, kController.data());
        }
        ++burstsDelivered;
        session->SaveAllScreens();
        threads.JoinAll();
    }

    EXPECT_FALSE(session->applyBusy);
    EXPECT_FALSE(session->toolBusy);
    EXPECT_EQ(tones.Tones().size(), static_cast<std::size_t>(kRounds * kArrivalsPerBurst * 3));
    EXPECT_EQ(tools.Commands(), std::vector<std::string>(kRounds, kTool));  // one run per burst

    // Every screen kept its values through the restores, and every save wrote them whole.
    ASSERT_EQ(session->screens.GetScreenCount(), 3);
    for (int i = 0; i < 3; ++i) {
        // Read into values first: the driver's blocks are packed.
        const std::int32_t frequency = p.driver.screens[i].beep.beeperFrequency;
        const std::int32_t duration = p.driver.screens[i].beep.beeperDuration;
        EXPECT_EQ(frequency, 2000) << "screen " << i;
        EXPECT_EQ(duration, 50) << "screen " << i;
        EXPECT_EQ(p.driver.screens[i].mouseMode, 3) << "screen " << i;
    }
    EXPECT_EQ(p.files.Content(kPath), saved);
    const std::vector<std::string> contents = files.ReplacedContents();
    EXPECT_FALSE(contents.empty());
    // Before its Frequency line, a save may rewrite the file as it stands; any other
    // content is a torn or mixed rewrite.
    for (const std::string& content : contents) {
        EXPECT_TRUE(content == saved || content == original) << content;
    }
}

}  // namespace
