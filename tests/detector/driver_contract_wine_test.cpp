// The inventory read through OrvaPubIf.dll bound at run time: proves the calling
// convention, the plain export names and the block layouts end to end.
#include "driver_interface.h"
#include "platform.h"
#include "touch_screens.h"
#include "touch_screens_peer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

class ScreensFileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, folder), 0u);
        path_ = std::string(folder) + "orva_contract_screens.txt";
        ASSERT_TRUE(SetEnvironmentVariableA("ORVA_SCREENS_FILE", path_.c_str()));
        // The stand-in lies beside the test, where the standard search order looks first.
        ASSERT_NE(WindowsPlatform(), nullptr);
    }
    void TearDown() override {
        DeleteFileA(path_.c_str());
        SetEnvironmentVariableA("ORVA_SCREENS_FILE", nullptr);
    }
    void Write(const std::string& text) {
        FILE* file = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    std::string path_;
};

const char kThreeScreens[] =
    "screenInfoFails=0\r\n"
    "[screen 0]\r\n"
    "connectionType=1\r\n"
    "uC=00 00 00 30 24 00 00 00\r\n"
    "uN=00 00 00 00 00 00 5a 03\r\n"
    "beep=1 2500 60 2\r\n"
    "mouseMode=7\r\n"
    "calibration=fill 5a\r\n"
    "[screen 1]\r\n"
    "connectionType=2\r\n"
    "sendFailures=2\r\n"
    "uC=00 00 00 3b 2f 00 00 00\r\n"
    "uN=00 00 00 00 00 00 5a 81\r\n"
    "[screen 2]\r\n"
    "diagnosticsFails=1\r\n";

TEST_F(ScreensFileFixture, InventoryReadsEveryScreenThroughTheLibrary) {
    Write(kThreeScreens);
    TouchScreens screens(*WindowsPlatform());

    ASSERT_EQ(screens.GetScreenCount(), 3);
    ScreenRecord record{};
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 0, &record));
    EXPECT_EQ(record.frameInfo, 0x20002u);
    EXPECT_EQ(record.unintentionalTouch, 0x43u);
    EXPECT_EQ(record.beep.beeperFunction, 1);
    EXPECT_EQ(record.beep.beeperFrequency, 2500);
    EXPECT_EQ(record.beep.beeperDuration, 60);
    EXPECT_EQ(record.beep.beeperRouting, 2);
    EXPECT_EQ(record.mouseMode, 7);
    EXPECT_EQ(record.calibration.bytes[0], 0x5a);
    EXPECT_EQ(record.calibration.bytes[1187], 0x5a);
    EXPECT_EQ(record.doubleClickWidth, GetSystemMetrics(SM_CXDOUBLECLK));
    EXPECT_EQ(record.doubleClickTime, GetDoubleClickTime());

    // Two rejected sends are retried within one exchange.
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 1, &record));
    EXPECT_EQ(record.frameInfo, 0x10008u);
    EXPECT_EQ(record.unintentionalTouch, 0xC1u);

    EXPECT_TRUE(screens.IsScreenRead(1));
    EXPECT_FALSE(screens.IsScreenRead(2));
}

TEST_F(ScreensFileFixture, SettersReachTheDriverAndARefreshSeesThem) {
    Write(kThreeScreens);
    TouchScreens screens(*WindowsPlatform());
    DriverInterface& driver = WindowsPlatform()->driver;

    BeepBlock beep{0, 1234, 75, 1};
    EXPECT_EQ(driver.OrvaSetBeep(&beep, 0), 0);
    EXPECT_EQ(driver.OrvaSetMouseMode(0x1234u, 0), 0);
    screens.Refresh();

    ScreenRecord record{};
    ASSERT_TRUE(TouchScreensPeer::CopyRecord(screens, 0, &record));
    EXPECT_EQ(record.beep.beeperFunction, 0);
    EXPECT_EQ(record.beep.beeperFrequency, 1234);
    EXPECT_EQ(record.beep.beeperRouting, 1);
    EXPECT_EQ(record.mouseMode, 0x1234);
}

TEST_F(ScreensFileFixture, FailingScreenInfoCountsNoScreen) {
    Write("screenInfoFails=1\r\n[screen 0]\r\nconnectionType=1\r\n");
    TouchScreens screens(*WindowsPlatform());
    EXPECT_EQ(screens.GetScreenCount(), 0);
}

TEST_F(ScreensFileFixture, UnknownScreenIndexFails) {
    Write(kThreeScreens);
    DiagnosticsBlock block{};
    EXPECT_NE(WindowsPlatform()->driver.OrvaGetDiagnosticsData(&block, 3), 0);
    EXPECT_NE(WindowsPlatform()->driver.OrvaGetDiagnosticsData(&block, -1), 0);
}

}  // namespace
