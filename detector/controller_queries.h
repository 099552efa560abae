// The exchange of command packets with a touch controller through the driver.
#pragma once

#include "OrvaPubIf.h"

#include <cstdint>

struct DetectorPlatform;

// The frameInfo flag word.
enum FrameInfoFlags : std::uint32_t {
    kFrameUsb = 0x20000,
    kFrameSerial = 0x10000,
    kFrameClass10 = 0x20,
    kFrameClass12 = 0x01,
    kFrameClass15 = 0x02,
    kFrameClass17 = 0x04,
    kFrameClass19 = 0x08,
    kFrameClassUnknown = 0x10,
};

// The unintentionalTouch flag word.
enum UnintentionalTouchFlags : std::uint32_t {
    kUnintentionalTouchPresent = 0x40,
    kUnintentionalTouchBit7 = 0x80,
    kUnintentionalTouchLowBits = 0x03,
};

extern const char kSendTraceMessage[];      // "GetSendPacket() SEND        "
extern const char kResponseTraceMessage[];  // "GetSendPacket() RESPONSE    "

// One formatted trace line; the longest is 63 characters with its line feed.
struct PacketTrace {
    char text[96];
};

// "%s : %02xh ... %02xh\n" of the message and the eight command bytes. Each call
// formats into its own result, so traces from two threads never share a buffer.
PacketTrace FormatPacketTrace(const char* message, CuelinePacket packet) noexcept;

// Sends the packet and reads the response into it, up to five attempts.
[[nodiscard]] bool GetSendPacket(DetectorPlatform& platform, CuelinePacket* packet) noexcept;

// The two per-screen queries; TouchScreens forwards its methods of the same names.
std::uint32_t QueryFrameInfo(DetectorPlatform& platform, std::int32_t screenIndex) noexcept;
std::uint32_t QueryUnintentionalTouch(DetectorPlatform& platform, std::int32_t screenIndex) noexcept;
