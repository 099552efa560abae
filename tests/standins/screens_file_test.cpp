#include "screens_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace orva_sim {
namespace {

std::string ReadSample() {
    std::ifstream in(ORVA_SCREENS_SAMPLE, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ScreensFile, SampleHoldsTwoHealthyScreens) {
    const ParseResult r = ParseScreensFile(ReadSample());
    ASSERT_TRUE(r.ok) << "line " << r.errorLine << ": " << r.error;
    EXPECT_FALSE(r.model.screenInfoFails);
    ASSERT_EQ(r.model.screens.size(), 2u);
    EXPECT_EQ(r.model.screens[0].connectionType, 1);
    EXPECT_EQ(r.model.screens[1].connectionType, 2);
    for (const SimScreen& s : r.model.screens) {
        EXPECT_FALSE(s.diagnosticsFails);
        EXPECT_EQ(s.sendFailures, 0);
        EXPECT_EQ(s.responseFailures, 0);
        EXPECT_EQ(s.uN[6], 0x5A);
    }
    EXPECT_EQ(r.model.screens[0].uC[3], 0x30);
    EXPECT_EQ(r.model.screens[0].uC[4], 0x24);
    EXPECT_EQ(r.model.screens[1].uC[3], 0x3B);
    EXPECT_EQ(r.model.screens[1].uC[4], 0x2F);
    EXPECT_EQ(r.model.screens[1].calibration[1187], 0x40);  // 1188 = 297 whole patterns
    EXPECT_EQ(r.model.screens[1].mouseMode, 1);
}

TEST(ScreensFile, EmptySectionTakesHealthyDefaults) {
    const ParseResult r = ParseScreensFile("[screen 0]\n[ screen 1 ]\r\n");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.model.screens.size(), 2u);
    const SimScreen& s = r.model.screens[1];
    EXPECT_EQ(s.connectionType, 1);
    EXPECT_EQ(s.uC[3], 0x30);
    EXPECT_EQ(s.uC[4], 0x24);
    EXPECT_EQ(s.uN[6], 0x5A);
    EXPECT_EQ(s.sendFailures, 0);
}

TEST(ScreensFile, ReadsEveryKey) {
    const ParseResult r = ParseScreensFile(
        "screenInfoFails=1\n"
        "[screen 0]\n"
        "  connectionType = -3  \n"
        "diagnosticsFails=1\n"
        "sendFailures=always\n"
        "responseFailures=7\n"
        "uS=0102030405060708\n"
        "uC=AA bb Cc dD 00 11 22 33\n"
        "uN=fill 5a\n"
        "touchBoundary=fill 01 02 03\n"
        "beep=-1 2147483647 0 9\n"
        "dragDelay=00 01 02 03 04 05 06 07 08 09 0a 0b\n"
        "rightClickOnHold=fill ff\n"
        "calibration=fill 12\n"
        "mouseMode=65535\n");
    ASSERT_TRUE(r.ok) << "line " << r.errorLine << ": " << r.error;
    EXPECT_TRUE(r.model.screenInfoFails);
    const SimScreen& s = r.model.screens.at(0);
    EXPECT_EQ(s.connectionType, -3);
    EXPECT_TRUE(s.diagnosticsFails);
    EXPECT_EQ(s.sendFailures, kAlways);
    EXPECT_EQ(s.responseFailures, 7);
    EXPECT_EQ(s.uS, (CommandBytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(s.uC, (CommandBytes{0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x11, 0x22, 0x33}));
    EXPECT_EQ(s.uN, (CommandBytes{0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}));
    EXPECT_EQ(s.touchBoundary[26], 0x03);
    EXPECT_EQ(s.touchBoundary[27], 0x01);
    EXPECT_EQ(s.beep.beeperFunction, -1);
    EXPECT_EQ(s.beep.beeperFrequency, 2147483647);
    EXPECT_EQ(s.beep.beeperRouting, 9);
    EXPECT_EQ(s.dragDelay[11], 0x0B);
    EXPECT_EQ(s.rightClickOnHold[0], 0xFF);
    EXPECT_EQ(s.calibration[1187], 0x12);
    EXPECT_EQ(s.mouseMode, 65535);
}

TEST(ScreensFile, RejectsMistakesWithTheirLine) {
    struct Case {
        const char* text;
        int line;
        const char* error;
    };
    const Case cases[] = {
        {"[screen 0]\nsendFailure=3\n", 2, "unknown key 'sendFailure'"},
        {"connectionType=1\n[screen 0]\n", 1, "before the first [screen N]"},
        {"[screen 0]\nbeep=1 2 3 4\nbeep=1 2 3 4\n", 3, "duplicate key 'beep'"},
        {"[screen 0]\n[screen 2]\n", 2, "in order"},
        {"[screen 1]\n", 1, "in order"},
        {"[screens 0]\n", 1, "section header"},
        {"[screen zero]\n", 1, "section header"},
        {"[screen 0]\njust text\n", 2, "key=value"},
        {"screenInfoFails=yes\n", 1, "screenInfoFails"},
        {"[screen 0]\ndiagnosticsFails=2\n", 2, "diagnosticsFails"},
        {"[screen 0]\nsendFailures=-1\n", 2, "sendFailures"},
        {"[screen 0]\nresponseFailures=\n", 2, "responseFailures"},
        {"[screen 0]\nconnectionType=2147483648\n", 2, "connectionType"},
        {"[screen 0]\nconnectionType=1x\n", 2, "connectionType"},
        {"[screen 0]\nuC=00 00 00 30 24 00 00\n", 2, "uC"},
        {"[screen 0]\nuC=00 00 00 30 24 00 00 00 00\n", 2, "uC"},
        {"[screen 0]\nuS=0g 00 00 00 00 00 00 00\n", 2, "uS"},
        {"[screen 0]\nuS=0 000 00 00 00 00 00 00\n", 2, "uS"},
        {"[screen 0]\nuN=fill\n", 2, "uN"},
        {"[screen 0]\nuN=fill 01 02 03 04 05 06 07 08 09\n", 2, "uN"},
        {"[screen 0]\nbeep=1 2 3\n", 2, "beep"},
        {"[screen 0]\nbeep=1 2 3 4 5\n", 2, "beep"},
        {"[screen 0]\nmouseMode=65536\n", 2, "mouseMode"},
        {"[screen 0]\nmouseMode=-1\n", 2, "mouseMode"},
        {"[screen 0]\ncalibration=00\n", 2, "calibration"},
    };
    for (const Case& c : cases) {
        const ParseResult r = ParseScreensFile(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.errorLine, c.line) << c.text;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.text << " gave: " << r.error;
    }
}

TEST(ScreensFile, CommentsAndBlankLinesAreSkipped) {
    const ParseResult r = ParseScreensFile("; a\n# b\n\n   \n[screen 0]\n; mouseMode=x\nmouseMode=3");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.model.screens.at(0).mouseMode, 3);
}

TEST(ScreensFile, BytesValueFormatsShortPatternsAsFill) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* text;
    };
    std::vector<std::uint8_t> calibration(1188, 0);
    for (std::size_t i = 0; i < calibration.size(); ++i) calibration[i] = static_cast<std::uint8_t>(i % 3);
    std::vector<std::uint8_t> ninePeriod(28);
    for (std::size_t i = 0; i < ninePeriod.size(); ++i) ninePeriod[i] = static_cast<std::uint8_t>(i % 9);
    const Case cases[] = {
        {std::vector<std::uint8_t>(12, 0), "fill 00"},
        {{0x10, 0x20, 0x10, 0x20, 0x10, 0x20, 0x10, 0x20}, "fill 10 20"},
        {{0x00, 0x00, 0x00, 0x30, 0x24, 0x00, 0x00, 0x00}, "00 00 00 30 24 00 00 00"},
        {{0xAB, 0xAB, 0xAB}, "fill ab"},
        {{0xAB, 0xCD}, "ab cd"},
        {calibration, "fill 00 01 02"},
        {ninePeriod,
         "00 01 02 03 04 05 06 07 08 00 01 02 03 04 05 06 07 08 00 01 02 03 04 05 06 07 08 00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatBytesValue(c.bytes.data(), c.bytes.size()), c.text);
        std::vector<std::uint8_t> back(c.bytes.size(), 0x77);
        ASSERT_TRUE(ParseBytesValue(c.text, back.data(), back.size())) << c.text;
        EXPECT_EQ(back, c.bytes) << c.text;
    }
}

TEST(ScreensFile, FillPatternIsCutAtTheBlockEnd) {
    std::uint8_t block[5] = {};
    ASSERT_TRUE(ParseBytesValue("fill 01 02 03", block, sizeof block));
    const std::uint8_t expected[5] = {1, 2, 3, 1, 2};
    EXPECT_TRUE(std::equal(block, block + 5, expected));
}

TEST(ScreensFile, CounterAndBeepValues) {
    EXPECT_EQ(FormatCounterValue(kAlways), "always");
    EXPECT_EQ(FormatCounterValue(12), "12");
    EXPECT_EQ(FormatBeepValue(BeepValues{-1, 440, 0, 2}), "-1 440 0 2");
}

TEST(ScreensFile, SetValueReplacesTheKeyOfThatScreenOnly) {
    std::string text =
        "; head\n"
        "[screen 0]\n"
        "beep=1 2 3 4\n"
        "; keep me\n"
        "mouseMode=0\n"
        "[screen 1]\n"
        "beep = 1 2 3 4\n"
        "mouseMode=0\n";
    ASSERT_TRUE(SetScreenValue(text, 1, "beep", "5 6 7 8"));
    EXPECT_EQ(text,
              "; head\n"
              "[screen 0]\n"
              "beep=1 2 3 4\n"
              "; keep me\n"
              "mouseMode=0\n"
              "[screen 1]\n"
              "beep=5 6 7 8\n"
              "mouseMode=0\n");
}

TEST(ScreensFile, SetValueAddsAMissingKeyAfterTheSectionsLastEntry) {
    std::string text =
        "[screen 0]\n"
        "mouseMode=0\n"
        "\n"
        "; the second screen\n"
        "[screen 1]\n";
    ASSERT_TRUE(SetScreenValue(text, 0, "sendFailures", "2"));
    ASSERT_TRUE(SetScreenValue(text, 1, "beep", "1 2 3 4"));
    EXPECT_EQ(text,
              "[screen 0]\n"
              "mouseMode=0\n"
              "sendFailures=2\n"
              "\n"
              "; the second screen\n"
              "[screen 1]\n"
              "beep=1 2 3 4\n");
    const ParseResult r = ParseScreensFile(text);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.model.screens[0].sendFailures, 2);
}

TEST(ScreensFile, SetValueKeepsWindowsLineEndsAndAMissingLastOne) {
    std::string text = "[screen 0]\r\nmouseMode=0\r\nbeep=1 2 3 4";
    ASSERT_TRUE(SetScreenValue(text, 0, "mouseMode", "3"));
    ASSERT_TRUE(SetScreenValue(text, 0, "beep", "4 3 2 1"));
    ASSERT_TRUE(SetScreenValue(text, 0, "dragDelay", "fill 00"));
    EXPECT_EQ(text, "[screen 0]\r\nmouseMode=3\r\nbeep=4 3 2 1\r\ndragDelay=fill 00\r\n");
}

TEST(ScreensFile, SetValueWithoutThatScreenChangesNothing) {
    const std::string original = "screenInfoFails=0\n[screen 0]\n";
    std::string text = original;
    EXPECT_FALSE(SetScreenValue(text, 1, "mouseMode", "1"));
    EXPECT_FALSE(SetScreenValue(text, -1, "mouseMode", "1"));
    EXPECT_EQ(text, original);
}

}  // namespace
}  // namespace orva_sim
