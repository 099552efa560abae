#include "controller_queries.h"

#include "scripted_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kSendUS = "GetSendPacket() SEND         : 75h 53h 00h 00h 00h 00h 00h 00h\n";
const std::string kSendUC = "GetSendPacket() SEND         : 75h 43h 00h 00h 00h 00h 00h 00h\n";
const std::string kSendUN = "GetSendPacket() SEND         : 75h 4eh ffh 55h aah 60h 00h 00h\n";

CuelinePacket Packet(std::int32_t screen, std::uint8_t b0, std::uint8_t b1) {
    CuelinePacket packet{};
    packet.screenIndex = screen;
    packet.commandBytes[0] = b0;
    packet.commandBytes[1] = b1;
    return packet;
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
    int n = 0;
    for (const std::string& l : lines) n += l == line;
    return n;
}

TEST(FormatPacketTrace, PrintsEightBytesInOrderButNotTheScreenIndex) {
    CuelinePacket packet{};
    packet.screenIndex = 0x7F7F7F7F;
    const std::uint8_t bytes[8] = {0x75, 0x4E, 0xFF, 0x55, 0xAA, 0x60, 0x00, 0x0A};
    std::copy(bytes, bytes + 8, packet.commandBytes);

    EXPECT_STREQ(FormatPacketTrace(kResponseTraceMessage, packet).text,
                 "GetSendPacket() RESPONSE     : 75h 4eh ffh 55h aah 60h 00h 0ah\n");
    EXPECT_EQ(std::string(FormatPacketTrace(kResponseTraceMessage, packet).text).size(), 63u);
}

// Workers trace from their own threads. A buffer shared between calls (a static
// one copied out, say) is written by both threads at once: ThreadSanitizer reports
// that, and without it a trace mixing the two texts shows.
TEST(FormatPacketTrace, TwoThreadsFormatAtOnceWithoutSharingABuffer) {
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    auto format = [&](std::uint8_t command, const std::string& expected) {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 5000; ++i) {
            const PacketTrace trace = FormatPacketTrace(kSendTraceMessage, Packet(0, 0x75, command));
            if (trace.text != expected) ++wrong;
        }
    };
    std::thread us(format, 0x53, kSendUS);
    std::thread uc(format, 0x43, kSendUC);
    go = true;
    us.join();
    uc.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(GetSendPacket, ControllerRejectingEverySendIsTriedFiveTimes) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].rejectAllSends = true;

    CuelinePacket packet = Packet(0, 0x75, 0x53);
    EXPECT_FALSE(GetSendPacket(p.platform, &packet));
    EXPECT_EQ(p.driver.CountCalls("Send"), 5);
    EXPECT_EQ(p.driver.CountCalls("Response"), 0);
    EXPECT_EQ(p.trace.Lines(), std::vector<std::string>(5, kSendUS));
    EXPECT_TRUE(p.pause.Pauses().empty());
}

TEST(GetSendPacket, FailedResponseReadResendsTheOriginalCommand) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].failingResponses = 2;  // each failure scribbles on the packet

    CuelinePacket packet = Packet(0, 0x75, 0x43);
    ASSERT_TRUE(GetSendPacket(p.platform, &packet));
    EXPECT_EQ(p.driver.Calls(), (std::vector<std::string>{"Send 0 75 43", "Response 0", "Send 0 75 43",
                                                          "Response 0", "Send 0 75 43", "Response 0"}));
    EXPECT_EQ(p.trace.Lines(),
              (std::vector<std::string>{kSendUC, kSendUC, kSendUC,
                                        "GetSendPacket() RESPONSE     : 75h 43h 00h 30h 24h 00h 00h 00h\n"}));
    EXPECT_EQ(packet.commandBytes[3], 0x30);
    EXPECT_EQ(packet.screenIndex, 0);
}

TEST(GetSendPacket, SucceedsOnTheFifthAttemptButNotTheSixth) {
    for (int failures : {4, 5}) {
        ScriptedPlatform p;
        p.driver.screens = {HealthyScreen()};
        p.driver.screens[0].failingSends = failures;
        CuelinePacket packet = Packet(0, 0x75, 0x53);
        EXPECT_EQ(GetSendPacket(p.platform, &packet), failures < 5) << failures;
        EXPECT_EQ(p.driver.CountCalls("Send"), 5) << failures;
    }
}

struct FrameCase {
    const char* name;
    std::int32_t connectionType;
    std::uint8_t byte3, byte4;
    std::uint32_t expected;
    bool paused;
};

TEST(GetFrameInfo, ConnectionAndSizeClassOutcomes) {
    const FrameCase cases[] = {
        {"usb 10", 1, 0x22, 0x1A, 0x20020, false},
        {"usb 12", 1, 0x27, 0x1E, 0x20001, false},
        {"usb 15", 1, 0x30, 0x24, 0x20002, false},
        {"serial 17", 2, 0x35, 0x2A, 0x10004, false},
        {"serial 19", 2, 0x3B, 0x2F, 0x10008, false},
        {"neither, recognised", 3, 0x30, 0x24, 0x02, false},
        {"serial, unknown pair drops the connection bit", 2, 0x30, 0x25, 0x10, true},
        {"usb, swapped pair", 1, 0x24, 0x30, 0x10, true},
    };
    for (const FrameCase& c : cases) {
        ScriptedPlatform p;
        p.driver.screens = {HealthyScreen()};
        p.driver.screens[0].connectionType = c.connectionType;
        p.driver.screens[0].responses['C'] = {0x75, 0x43, 0, c.byte3, c.byte4, 0, 0, 0};

        EXPECT_EQ(QueryFrameInfo(p.platform, 0), c.expected) << c.name;
        EXPECT_EQ(p.pause.Pauses(), c.paused ? std::vector<std::uint32_t>{100} : std::vector<std::uint32_t>{})
            << c.name;
        // Diagnostics, call 1, call 2, then one extra response read.
        EXPECT_EQ(p.driver.Calls(), (std::vector<std::string>{"GetDiagnosticsData 0", "Send 0 75 53",
                                                              "Response 0", "Send 0 75 43", "Response 0",
                                                              "Response 0"}))
            << c.name;
    }
}

TEST(GetFrameInfo, FailingDiagnosticsSendsNothing) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].diagnosticsStatus = 7;

    EXPECT_EQ(QueryFrameInfo(p.platform, 0), 0u);
    EXPECT_EQ(p.driver.CountCalls("Send"), 0);
    EXPECT_EQ(p.trace.Lines(),
              std::vector<std::string>{"TouchScreens::GetFrameInfo, OrvaIF_GetDiagnosticsData() call Failed!\n"});
    EXPECT_EQ(p.pause.Pauses(), std::vector<std::uint32_t>{100});
}

TEST(GetFrameInfo, Call1FailureKeepsTheConnectionBit) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].rejectAllSends = true;

    EXPECT_EQ(QueryFrameInfo(p.platform, 0), 0x20000u);
    std::vector<std::string> expected(5, kSendUS);
    expected.push_back("TouchScreens::GetFrameInfo, Call 1 of GetFrameInfo Failed!\n");
    EXPECT_EQ(p.trace.Lines(), expected);
    EXPECT_EQ(p.pause.Pauses(), std::vector<std::uint32_t>{100});
}

TEST(GetFrameInfo, Call2FailureOnAnUnknownConnectionGivesZero) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].connectionType = 0;
    p.driver.screens[0].responses.erase('C');  // call 2 never answers

    EXPECT_EQ(QueryFrameInfo(p.platform, 0), 0u);
    EXPECT_EQ(p.trace.Lines().back(), "TouchScreens::GetFrameInfo, Call 2 of GetFrameInfo Failed!\n");
    EXPECT_EQ(p.driver.CountCalls("Send 0 75 43"), 5);
    EXPECT_EQ(p.pause.Pauses(), std::vector<std::uint32_t>{100});
}

TEST(EnumerateUnintentionalTouch, ResponseBitsAreCopied) {
    const struct {
        std::uint8_t byte6, byte7;
        std::uint32_t expected;
    } cases[] = {{0x5A, 0xFF, 0xC3}, {0x5A, 0x04, 0x40}, {0x5A, 0x81, 0xC1}, {0x5A, 0x7E, 0x42}};
    for (const auto& c : cases) {
        ScriptedPlatform p;
        p.driver.screens = {HealthyScreen()};
        p.driver.screens[0].responses['N'] = {0x75, 0x4E, 0, 0, 0, 0, c.byte6, c.byte7};
        EXPECT_EQ(QueryUnintentionalTouch(p.platform, 0), c.expected) << int(c.byte7);
        EXPECT_EQ(p.trace.Lines().front(), kSendUN);
    }
}

TEST(EnumerateUnintentionalTouch, FeatureMissing) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].responses['N'] = {0x75, 0x4E, 0, 0, 0, 0, 0x59, 0xFF};
    EXPECT_EQ(QueryUnintentionalTouch(p.platform, 0), 0u);
    EXPECT_EQ(p.trace.Lines().back(), "TouchScreens::EnumerateUnintentionalTouch, Unintentional Touch Not Present");
}

TEST(EnumerateUnintentionalTouch, RejectedSendsMakeTwentyFiveAttempts) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].rejectAllSends = true;
    EXPECT_EQ(QueryUnintentionalTouch(p.platform, 0), 0u);
    EXPECT_EQ(p.driver.CountCalls("Send 0 75 4e"), 25);
    EXPECT_EQ(p.trace.Lines().back(), "TouchScreens::EnumerateUnintentionalTouch, Query Settings Failed!\n");
    EXPECT_TRUE(p.pause.Pauses().empty());
}

TEST(EnumerateUnintentionalTouch, StopsAtTheFirstAnsweredAttempt) {
    ScriptedPlatform p;
    p.driver.screens = {HealthyScreen()};
    p.driver.screens[0].failingSends = 7;  // attempt 1 fails whole, attempt 2 on its third send
    EXPECT_EQ(QueryUnintentionalTouch(p.platform, 0), 0x41u);
    EXPECT_EQ(p.driver.CountCalls("Send"), 8);
    EXPECT_EQ(Count(p.trace.Lines(), kSendUN), 8);
}

// Two of the driver's functions, N from their declarations (a pointer: 4 bytes in the 32-bit build).
TEST(ExportSpelling, PlainThenDecoratedWithTheArgumentsStackBytes) {
    const std::string info = sizeof(void*) == 4 ? "_OrvaGetScreenInfo@8" : "_OrvaGetScreenInfo@12";
    constexpr std::size_t kInfo = StackBytes(&::OrvaGetScreenInfo), kMode = StackBytes(&::OrvaSetMouseMode);
    for (const auto& [n, name, expected] : {std::tuple{kInfo, "OrvaGetScreenInfo", info},
                                            {kMode, "OrvaSetMouseMode", std::string("_OrvaSetMouseMode@8")}}) {
        char spelling[3][64];
        for (int which = 0; which < 3; ++which) ASSERT_TRUE(ExportSpelling(spelling[which], name, n, which));
        EXPECT_EQ((std::vector<std::string>{spelling[0], spelling[1], spelling[2]}),
                  (std::vector<std::string>{name, expected, expected.substr(1)}));
    }
}

}  // namespace
