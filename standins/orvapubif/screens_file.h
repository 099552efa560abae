// The screens file of the stand-in driver library: a line-oriented text file
// that describes each simulated touch screen and its controller.
//
// Portable: no Windows headers, so the format is unit-tested natively.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orva_sim {

// A failure counter that never runs out.
constexpr std::int32_t kAlways = -1;

struct BeepValues {
    std::int32_t beeperFunction = 1;
    std::int32_t beeperFrequency = 2000;
    std::int32_t beeperDuration = 50;
    std::int32_t beeperRouting = 0;
};

using CommandBytes = std::array<std::uint8_t, 8>;

struct SimScreen {
    std::int32_t connectionType = 1;
    bool diagnosticsFails = false;
    std::int32_t sendFailures = 0;      // the next N sends fail; kAlways: every send
    std::int32_t responseFailures = 0;  // the next N response reads fail; kAlways: every read
    CommandBytes uS{};
    // A recognised size class (30h 24h) and the unintentional-touch feature (5Ah).
    CommandBytes uC{0x00, 0x00, 0x00, 0x30, 0x24, 0x00, 0x00, 0x00};
    CommandBytes uN{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5A, 0x00};
    std::array<std::uint8_t, 28> touchBoundary{};
    BeepValues beep;
    std::array<std::uint8_t, 12> dragDelay{};
    std::array<std::uint8_t, 28> rightClickOnHold{};
    std::array<std::uint8_t, 1188> calibration{};
    std::uint16_t mouseMode = 0;
};

struct ScreensModel {
    bool screenInfoFails = false;
    std::vector<SimScreen> screens;
};

struct ParseResult {
    bool ok = false;
    ScreensModel model;
    int errorLine = 0;  // 1-based line of the first error
    std::string error;  // what was wrong there
};

// Reads the whole file text. Unknown keys, duplicates, bad values and
// out-of-order screen sections are errors, so that a typo never passes unnoticed.
[[nodiscard]] ParseResult ParseScreensFile(const std::string& text);

// Value texts, in the form the file holds them.
[[nodiscard]] std::string FormatBytesValue(const std::uint8_t* bytes, std::size_t size);
[[nodiscard]] bool ParseBytesValue(const std::string& value, std::uint8_t* bytes, std::size_t size);
[[nodiscard]] std::string FormatBeepValue(const BeepValues& beep);
[[nodiscard]] std::string FormatCounterValue(std::int32_t counter);

// Sets `key=value` in the section of screen `screenIndex`, replacing the key's
// line or adding one at the end of the section. Every other line, comments
// included, stays as it was. False when the file has no such screen.
[[nodiscard]] bool SetScreenValue(std::string& text, std::int32_t screenIndex, const std::string& key,
                                  const std::string& value);

}  // namespace orva_sim
