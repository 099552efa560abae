#include "controller_queries.h"

#include "driver_interface.h"
#include "platform.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>

const char kSendTraceMessage[] = "GetSendPacket() SEND        ";
const char kResponseTraceMessage[] = "GetSendPacket() RESPONSE    ";

namespace {

constexpr int kSendAttempts = 5;
constexpr int kQueryAttempts = 5;
constexpr std::uint32_t kQueryPauseMs = 100;

struct SizeClass {
    std::uint8_t byte3;
    std::uint8_t byte4;
    std::uint32_t flag;
};

constexpr SizeClass kSizeClasses[] = {
    {0x22, 0x1A, kFrameClass10}, {0x27, 0x1E, kFrameClass12}, {0x30, 0x24, kFrameClass15},
    {0x35, 0x2A, kFrameClass17}, {0x3B, 0x2F, kFrameClass19},
};

CuelinePacket MakePacket(std::int32_t screenIndex, std::initializer_list<std::uint8_t> command) {
    CuelinePacket packet{};
    packet.screenIndex = screenIndex;
    std::copy(command.begin(), command.end(), packet.commandBytes);
    return packet;
}

void TracePacket(DetectorPlatform& platform, const char* message, const CuelinePacket& packet) {
    platform.trace.Trace(FormatPacketTrace(message, packet).text);
}

}  // namespace

PacketTrace FormatPacketTrace(const char* message, CuelinePacket packet) noexcept {
    PacketTrace trace{};
    const std::uint8_t* b = packet.commandBytes;
    std::snprintf(trace.text, sizeof trace.text, "%s : %02xh %02xh %02xh %02xh %02xh %02xh %02xh %02xh\n",
                  message, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
    return trace;
}

bool GetSendPacket(DetectorPlatform& platform, CuelinePacket* packet) noexcept {
    const CuelinePacket command = *packet;
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        // A failed response read may have changed the packet: always send the command as built.
        *packet = command;
        TracePacket(platform, kSendTraceMessage, command);
        if (platform.driver.OrvaSendCuelineCommand(packet) != 0) continue;
        if (platform.driver.OrvaGetCuelineResponse(packet) != 0) continue;
        TracePacket(platform, kResponseTraceMessage, *packet);
        return true;
    }
    return false;
}

std::uint32_t QueryFrameInfo(DetectorPlatform& platform, std::int32_t screenIndex) noexcept {
    std::uint32_t flags = 0;
    DiagnosticsBlock diagnostics{};
    if (platform.driver.OrvaGetDiagnosticsData(&diagnostics, screenIndex) != 0) {
        platform.trace.Trace("TouchScreens::GetFrameInfo, OrvaIF_GetDiagnosticsData() call Failed!\n");
        platform.pause.Sleep(kQueryPauseMs);
        return flags;
    }
    if (diagnostics.connectionType == 1) flags |= kFrameUsb;
    if (diagnostics.connectionType == 2) flags |= kFrameSerial;

    CuelinePacket packet = MakePacket(screenIndex, {0x75, 0x53, 0, 0, 0, 0, 0, 0});
    if (!GetSendPacket(platform, &packet)) {
        platform.trace.Trace("TouchScreens::GetFrameInfo, Call 1 of GetFrameInfo Failed!\n");
        platform.pause.Sleep(kQueryPauseMs);
        return flags;
    }
    packet = MakePacket(screenIndex, {0x75, 0x43, 0, 0, 0, 0, 0, 0});
    if (!GetSendPacket(platform, &packet)) {
        platform.trace.Trace("TouchScreens::GetFrameInfo, Call 2 of GetFrameInfo Failed!\n");
        platform.pause.Sleep(kQueryPauseMs);
        return flags;
    }
    const std::uint8_t width = packet.commandBytes[3];
    const std::uint8_t height = packet.commandBytes[4];
    // The controller's protocol expects one more response read after the size answer;
    // what it returns is of no interest.
    (void)platform.driver.OrvaGetCuelineResponse(&packet);

    const auto known = std::find_if(std::begin(kSizeClasses), std::end(kSizeClasses), [&](const SizeClass& size) {
        return size.byte3 == width && size.byte4 == height;
    });
    if (known != std::end(kSizeClasses)) return flags | known->flag;
    platform.pause.Sleep(kQueryPauseMs);
    return kFrameClassUnknown;
}

std::uint32_t QueryUnintentionalTouch(DetectorPlatform& platform, std::int32_t screenIndex) noexcept {
    CuelinePacket packet{};
    bool answered = false;
    for (int attempt = 0; attempt < kQueryAttempts && !answered; ++attempt) {
        packet = MakePacket(screenIndex, {0x75, 0x4E, 0xFF, 0x55, 0xAA, 0x60, 0, 0});
        answered = GetSendPacket(platform, &packet);
    }
    if (!answered) {
        platform.trace.Trace("TouchScreens::EnumerateUnintentionalTouch, Query Settings Failed!\n");
        return 0;
    }
    if (packet.commandBytes[6] != 0x5A) {
        platform.trace.Trace("TouchScreens::EnumerateUnintentionalTouch, Unintentional Touch Not Present");
        return 0;
    }
    const std::uint8_t state = packet.commandBytes[7];
    return kUnintentionalTouchPresent | (state & kUnintentionalTouchBit7) | (state & kUnintentionalTouchLowBits);
}
