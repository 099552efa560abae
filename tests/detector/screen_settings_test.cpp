#include "touch_screens.h"
#include "touch_screens_peer.h"

#include "scripted_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kPath[] = "C:\\OrvaPanels\\PANELSET.TXT";

const std::string kAllKeys =
    "; Touch screen settings\r\n"
    "Beeper Function=0\r\n"
    "Beeper Routing=2\r\n"
    "Frequency=4294967295\r\n"
    "Duration=120\r\n"
    "Double Click Area=12\r\n"
    "Double Click Speed=650\r\n"
    "Touch Mode=70000\r\n";

struct Fixture : ::testing::Test {
    ScriptedPlatform p;

    void Screens(int count) {
        p.driver.screenInfoCount = count;
        for (int i = 0; i < count; ++i) p.driver.screens.push_back(HealthyScreen(static_cast<std::uint8_t>(0x40 + i)));
    }
    ScreenRecord Record(TouchScreens& screens, int index) {
        ScreenRecord record{};
        EXPECT_TRUE(TouchScreensPeer::CopyRecord(screens, index, &record));
        return record;
    }
};

TEST_F(Fixture, LoadMapsEveryKeyIntoTheRecord) {
    Screens(1);
    p.files.Put(kPath, kAllKeys);
    TouchScreens screens(p.platform);
    ScreenRecord loaded{};
    ASSERT_TRUE(screens.LoadScreenSettings(kPath, 0, &loaded));

    const ScreenRecord r = Record(screens, 0);
    EXPECT_EQ(std::memcmp(&loaded, &r, sizeof r), 0);  // the copy is the record
    EXPECT_EQ(r.beep.beeperFunction, 0);
    EXPECT_EQ(r.beep.beeperRouting, 2);
    EXPECT_EQ(r.beep.beeperFrequency, -1);
    EXPECT_EQ(r.beep.beeperDuration, 120);
    EXPECT_EQ(r.doubleClickWidth, 12);
    EXPECT_EQ(r.doubleClickHeight, 12);
    EXPECT_EQ(r.doubleClickTime, 650u);
    EXPECT_EQ(r.mouseMode, 4464);  // the low 16 bits of 70000
    EXPECT_EQ(r.touchBoundary.bytes[0], 0x40);  // the driver's blocks stay as read
}

TEST_F(Fixture, ApplyHandsTheLoadedRecordToTheDriverThenTheSystem) {
    Screens(2);
    p.files.Put(kPath, kAllKeys);
    TouchScreens screens(p.platform);
    p.driver.ClearCalls();
    for (int i = 0; i < screens.GetScreenCount(); ++i) {
        ScreenRecord loaded;
        ASSERT_TRUE(screens.LoadScreenSettings(kPath, i, &loaded));
        screens.ApplyScreenSettings(loaded, i);
    }

    std::vector<std::string> expected;
    for (int i = 0; i < 2; ++i) {
        const std::string n = std::to_string(i), fill = std::to_string(0x40 + i);
        expected.insert(expected.end(),
                        {"SetTouchBoundary " + n + " " + fill, "SetBeep " + n + " 0 -1 120 2",
                         "SetDragDelay " + n + " " + fill, "SetMouseMode " + n + " 4464",
                         "SetRightClickOnHold " + n + " " + fill, "SetCalibrationData " + n + " " + fill,
                         "SetDoubleClickWidth 12", "SetDoubleClickHeight 12", "SetDoubleClickTime 650"});
    }
    EXPECT_EQ(p.driver.Calls(), expected);
}

TEST_F(Fixture, MissingFileLoadsNothingAndSavesNothing) {
    Screens(1);
    p.metrics.width = 5;
    p.metrics.height = 6;
    TouchScreens screens(p.platform);
    ScreenRecord loaded;
    ASSERT_TRUE(screens.LoadScreenSettings(kPath, 0, &loaded));
    p.driver.ClearCalls();
    screens.ApplyScreenSettings(loaded, 0);
    screens.SaveScreenSettings(kPath, 0);

    // The driver and the system get their own current values back.
    const std::vector<std::string> calls = p.driver.Calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[1], "SetBeep 0 1 2000 50 0");
    EXPECT_EQ(calls[3], "SetMouseMode 0 3");
    EXPECT_EQ(calls[6], "SetDoubleClickWidth 5");
    EXPECT_EQ(calls[7], "SetDoubleClickHeight 6");
    EXPECT_FALSE(p.files.Exists(kPath));
}

TEST_F(Fixture, SaveWritesTheRecordAndKeepsEveryOtherLine) {
    Screens(1);
    p.files.Put(kPath,
                "; comment Frequency=1\r\n"
                "Frequency=1\r\n"
                "Unknown=keep me\r\n"
                "Double Click Area=3\r\n"
                "Touch Mode=1\r\n"
                "Beeper Function=9");
    p.metrics.width = 20;  // differs from the height: only the height is kept
    p.metrics.height = 8;
    p.metrics.time = 4294967295u;
    p.driver.screens[0].mouseMode = 65535;
    TouchScreens screens(p.platform);
    screens.SaveScreenSettings(kPath, 0);

    EXPECT_EQ(p.files.Content(kPath),
              "; comment Frequency=1\r\n"
              "Frequency=2000\r\n"
              "Unknown=keep me\r\n"
              "Double Click Area=8\r\n"
              "Touch Mode=65535\r\n"
              "Beeper Function=1\r\n");
}

TEST_F(Fixture, FileWithoutAnyKeyStaysAsItWas) {
    Screens(1);
    const std::string text = "; nothing here\r\nOther=1\r\n\r\n";
    p.files.Put(kPath, text);
    TouchScreens screens(p.platform);
    const ScreenRecord before = Record(screens, 0);
    ScreenRecord loaded;
    ASSERT_TRUE(screens.LoadScreenSettings(kPath, 0, &loaded));
    const ScreenRecord after = Record(screens, 0);
    EXPECT_EQ(after.beep.beeperFrequency, before.beep.beeperFrequency);
    EXPECT_EQ(after.mouseMode, before.mouseMode);
    screens.SaveScreenSettings(kPath, 0);
    EXPECT_EQ(p.files.Content(kPath), text);
}

TEST_F(Fixture, UnreadScreensReachNeitherDriverNorFile) {
    Screens(3);
    p.driver.screens[1].diagnosticsStatus = 1;
    p.files.Put(kPath, kAllKeys);
    TouchScreens screens(p.platform);
    ASSERT_EQ(screens.GetScreenCount(), 3);
    p.driver.ClearCalls();

    for (int i = 1; i < 3; ++i) {
        ScreenRecord loaded;
        EXPECT_FALSE(screens.LoadScreenSettings(kPath, i, &loaded)) << i;
        screens.SaveScreenSettings(kPath, i);
    }
    EXPECT_TRUE(p.driver.Calls().empty());
    EXPECT_EQ(p.files.Content(kPath), kAllKeys);
    EXPECT_EQ(p.files.Calls(FakeFileAccess::kOpen), 0);
}

}  // namespace
