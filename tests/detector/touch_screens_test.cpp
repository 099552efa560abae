#include "touch_screens.h"
#include "touch_screens_peer.h"

#include "scripted_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Per healthy screen: diagnostics, two frame commands (send and response each),
// the extra response read, six getters, one unintentional-touch exchange.
constexpr int kCallsPerHealthyScreen = 14;

ScriptedPlatform& WithScreens(ScriptedPlatform& p, int count) {
    p.driver.screenInfoCount = count;
    for (int i = 0; i < count; ++i) p.driver.screens.push_back(HealthyScreen(static_cast<std::uint8_t>(0x10 + i)));
    return p;
}

TEST(TouchScreens, NoScreensQueriesNothing) {
    for (std::int32_t reported : {0, -3}) {
        ScriptedPlatform p;
        p.driver.screenInfoCount = reported;
        TouchScreens screens(p.platform);
        EXPECT_EQ(screens.GetScreenCount(), reported);
        EXPECT_EQ(p.driver.Calls(), std::vector<std::string>{"GetScreenInfo 0"});
        ScreenRecord record;
        EXPECT_FALSE(TouchScreensPeer::CopyRecord(screens, 0, &record));
    }
}

TEST(TouchScreens, FailingScreenInfoCountsNoScreen) {
    ScriptedPlatform p;
    p.driver.screenInfoStatus = 5;
    TouchScreens screens(p.platform);
    EXPECT_EQ(screens.GetScreenCount(), 0);
    EXPECT_EQ(p.driver.Calls().size(), 1u);
}

TEST(TouchScreens, HealthyScreenIsReadInOrderWithoutPause) {
    ScriptedPlatform p;
    WithScreens(p, 1);
    p.metrics.width = 6;
    p.metrics.height = 7;
    p.metrics.time = 450;
    TouchScreens screens(p.platform);

    EXPECT_EQ(p.driver.Calls(),
              (std::vector<std::string>{"GetScreenInfo 0", "GetDiagnosticsData 0", "Send 0 75 53", "Response 0",
                                        "Send 0 75 43", "Response 0", "Response 0", "GetTouchBoundary 0",
                                        "GetBeep 0", "GetDragDelay 0", "GetMouseMode 0", "GetRightClickOnHold 0",
                                        "GetCalibrationData 0", "Send 0 75 4e", "Response 0"}));
    EXPECT_TRUE(p.pause.Pauses().empty());

    ScreenRecord record{};
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 0, &record));
    EXPECT_TRUE(screens.IsScreenRead(0));
    EXPECT_EQ(record.frameInfo, 0x20002u);
    EXPECT_EQ(record.unintentionalTouch, 0x41u);
    EXPECT_EQ(record.touchBoundary.bytes[27], 0x10);
    EXPECT_EQ(record.calibration.bytes[1187], 0x10);
    EXPECT_EQ(record.beep.beeperFrequency, 2000);
    EXPECT_EQ(record.mouseMode, 3);
    EXPECT_EQ(record.doubleClickWidth, 6);
    EXPECT_EQ(record.doubleClickHeight, 7);
    EXPECT_EQ(record.doubleClickTime, 450u);
}

TEST(TouchScreens, UnqueryableScreenEndsThePassButStaysCounted) {
    ScriptedPlatform p;
    WithScreens(p, 3);
    p.driver.screens[1].diagnosticsStatus = 1;
    TouchScreens screens(p.platform);

    EXPECT_EQ(screens.GetScreenCount(), 3);
    EXPECT_TRUE(screens.IsScreenRead(0));
    EXPECT_FALSE(screens.IsScreenRead(1));
    EXPECT_FALSE(screens.IsScreenRead(2));
    EXPECT_EQ(p.driver.CountCalls("GetDiagnosticsData 2"), 0);
    EXPECT_EQ(p.driver.CountCalls("GetBeep 1"), 0);

    ScreenRecord unread{};
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 1, &unread));
    EXPECT_EQ(unread.frameInfo, 0u);
    EXPECT_EQ(unread.beep.beeperFrequency, 0);  // cleared storage, not heap leftovers
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 2, &unread));
    EXPECT_EQ(unread.doubleClickTime, 0u);

    // Unread records cannot be changed as though they held driver values.
    EXPECT_FALSE(screens.UpdateRecord(1, [](ScreenRecord& r) { r.mouseMode = 9; }));
    EXPECT_TRUE(screens.UpdateRecord(0, [](ScreenRecord& r) { r.mouseMode = 9; }));
}

TEST(TouchScreens, RefreshFailingCountsNothingAndNextRefreshReadsAgain) {
    ScriptedPlatform p;
    WithScreens(p, 2);
    TouchScreens screens(p.platform);
    ASSERT_TRUE(screens.UpdateRecord(1, [](ScreenRecord& r) { r.beep.beeperDuration = 77; }));

    p.driver.screenInfoStatus = 1;
    screens.Refresh();
    EXPECT_EQ(screens.GetScreenCount(), 0);
    EXPECT_FALSE(screens.IsScreenRead(0));
    ScreenRecord record{};
    EXPECT_FALSE(TouchScreensPeer::CopyRecord(screens, 0, &record));

    p.driver.screenInfoStatus = 0;
    p.driver.screenInfoCount = 4;
    p.driver.screens.push_back(HealthyScreen(0x20));
    p.driver.screens.push_back(HealthyScreen(0x21));
    p.driver.ClearCalls();
    screens.Refresh();
    EXPECT_EQ(screens.GetScreenCount(), 4);
    EXPECT_TRUE(screens.IsScreenRead(3));
    EXPECT_EQ(p.driver.Calls().size(), 1u + 4 * kCallsPerHealthyScreen);
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 3, &record));
    EXPECT_EQ(record.dragDelay.bytes[0], 0x21);
    // The loaded value is replaced by the driver's own.
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 1, &record));
    EXPECT_EQ(record.beep.beeperDuration, 50);
}

TEST(TouchScreens, ReadersSeeTheOldRecordsUntilARefreshIsComplete) {
    ScriptedPlatform p;
    WithScreens(p, 2);
    TouchScreens screens(p.platform);
    ASSERT_TRUE(screens.UpdateRecord(1, [](ScreenRecord& r) { r.beep.beeperDuration = 77; }));
    int duringRefresh = -1;
    std::int32_t durationDuringRefresh = 0;
    p.driver.onScreenInfo = [&] {
        duringRefresh = screens.GetScreenCount();
        ScreenRecord record{};
        if (TouchScreensPeer::CopyRecord(screens, 1, &record)) durationDuringRefresh = record.beep.beeperDuration;
    };
    screens.Refresh();
    EXPECT_EQ(duringRefresh, 2);
    EXPECT_EQ(durationDuringRefresh, 77);
    ScreenRecord record{};
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 1, &record));
    EXPECT_EQ(record.beep.beeperDuration, 50);
}

TEST(TouchScreens, RefreshToFewerScreens) {
    ScriptedPlatform p;
    WithScreens(p, 4);
    TouchScreens screens(p.platform);
    p.driver.screenInfoCount = 1;
    screens.Refresh();
    EXPECT_EQ(screens.GetScreenCount(), 1);
    EXPECT_FALSE(screens.IsScreenRead(1));
    ScreenRecord record{};
    EXPECT_FALSE(TouchScreensPeer::CopyRecord(screens, 1, &record));
}

TEST(TouchScreens, OnePassCarriesOneSetOfDoubleClickValues) {
    ScriptedPlatform p;
    WithScreens(p, 3);
    // The system's values change between passes, never during one: every pass
    // starts by counting the screens.
    int pass = 0;
    p.driver.onScreenInfo = [&] {
        ++pass;
        p.metrics.width = 10 * pass;
        p.metrics.height = 10 * pass + 1;
        p.metrics.time = 100u * static_cast<std::uint32_t>(pass);
    };
    TouchScreens screens(p.platform);
    for (int expected = 1; expected <= 3; ++expected) {
        if (expected > 1) screens.Refresh();
        ASSERT_EQ(pass, expected);
        for (int i = 0; i < 3; ++i) {
            ScreenRecord record{};
            ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, i, &record));
            EXPECT_EQ(record.doubleClickWidth, 10 * pass) << "pass " << pass << ", screen " << i;
            EXPECT_EQ(record.doubleClickHeight, 10 * pass + 1) << "pass " << pass << ", screen " << i;
            EXPECT_EQ(record.doubleClickTime, 100u * static_cast<std::uint32_t>(pass))
                << "pass " << pass << ", screen " << i;
        }
    }
}

// Two refreshers and two readers at once: no record may be freed under a reader
// (ASan/TSan watch that), and no two passes over the driver may interleave.
TEST(TouchScreens, ConcurrentRefreshesAndReadersAreSerialised) {
    ScriptedPlatform p;
    WithScreens(p, 3);
    TouchScreens screens(p.platform);
    p.driver.ClearCalls();

    std::atomic<bool> stop{false};
    std::atomic<int> copies{0};
    auto reader = [&] {
        while (!stop.load()) {
            for (int i = 0; i < screens.GetScreenCount(); ++i) {
                ScreenRecord record{};
                if (TouchScreensPeer::CopyRecord(screens, i, &record)) {
                    EXPECT_NE(record.frameInfo, 0u);
                    ++copies;
                }
                (void)screens.UpdateRecord(i, [](ScreenRecord& r) { r.doubleClickTime += 1; });
            }
        }
    };
    auto refresher = [&] {
        for (int n = 0; n < 20; ++n) screens.Refresh();
    };
    std::thread r1(reader), r2(reader), w1(refresher), w2(refresher);
    w1.join();
    w2.join();
    stop = true;
    r1.join();
    r2.join();

    const std::vector<std::string> calls = p.driver.Calls();
    ASSERT_EQ(calls.size(), 40u * (1 + 3 * kCallsPerHealthyScreen));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const bool passStart = i % (1 + 3 * kCallsPerHealthyScreen) == 0;
        EXPECT_EQ(calls[i] == "GetScreenInfo 0", passStart) << "call " << i << " " << calls[i];
    }
    EXPECT_GT(copies.load(), 0);
}

}  // namespace
