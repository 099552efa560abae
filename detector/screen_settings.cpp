// The per-screen settings: the seven keys of the settings file, carried between
// the file, a screen's record, the driver and the system's double-click metrics.
#include "driver_interface.h"
#include "platform.h"
#include "replace_retry.h"
#include "settings_file.h"
#include "touch_screens.h"

namespace {

enum SettingKey {
    kBeeperFunction, kBeeperRouting, kFrequency, kDuration,
    kDoubleClickArea, kDoubleClickSpeed, kTouchMode, kSettingKeyCount
};

// In the order in which they are loaded and saved.
constexpr const char* kSettingKeyNames[kSettingKeyCount] = {
    "Beeper Function", "Beeper Routing", "Frequency", "Duration",
    "Double Click Area", "Double Click Speed", "Touch Mode",
};

void StoreLoadedValue(ScreenRecord& record, SettingKey key, std::uint32_t value) noexcept {
    const auto number = static_cast<std::int32_t>(value);
    switch (key) {
    case kBeeperFunction: record.beep.beeperFunction = number; break;
    case kBeeperRouting: record.beep.beeperRouting = number; break;
    case kFrequency: record.beep.beeperFrequency = number; break;
    case kDuration: record.beep.beeperDuration = number; break;
    case kDoubleClickArea:
        // One number for both directions.
        record.doubleClickHeight = number;
        record.doubleClickWidth = number;
        break;
    case kDoubleClickSpeed: record.doubleClickTime = value; break;
    case kTouchMode: record.mouseMode = static_cast<std::uint16_t>(value & 0xFFFFu); break;
    case kSettingKeyCount: break;
    }
}

std::uint32_t ValueToSave(const ScreenRecord& record, SettingKey key) noexcept {
    switch (key) {
    case kBeeperFunction: return static_cast<std::uint32_t>(record.beep.beeperFunction);
    case kBeeperRouting: return static_cast<std::uint32_t>(record.beep.beeperRouting);
    case kFrequency: return static_cast<std::uint32_t>(record.beep.beeperFrequency);
    case kDuration: return static_cast<std::uint32_t>(record.beep.beeperDuration);
    // The file keeps one area; the height stands for both.
    case kDoubleClickArea: return static_cast<std::uint32_t>(record.doubleClickHeight);
    case kDoubleClickSpeed: return record.doubleClickTime;
    case kTouchMode: return record.mouseMode;
    case kSettingKeyCount: break;
    }
    return 0;
}

}  // namespace

// The file is read without the lock; only the record changes under it.
bool TouchScreens::LoadScreenSettings(const char* path, std::int32_t screenIndex, ScreenRecord* loaded) noexcept {
    if (!IsScreenRead(screenIndex)) return false;
    bool found[kSettingKeyCount] = {};
    std::uint32_t values[kSettingKeyCount] = {};
    {
        SettingsFile file(path, platform_.files);
        if (file.GetStatus() == kSettingsOk) {
            for (int key = 0; key < kSettingKeyCount; ++key) {
                found[key] = file.GetValue(kSettingKeyNames[key], kFormatDecimal);
                if (found[key]) values[key] = file.value.number;
            }
        }
    }
    return UpdateRecord(screenIndex, [&](ScreenRecord& record) {
        for (int key = 0; key < kSettingKeyCount; ++key) {
            if (found[key]) StoreLoadedValue(record, static_cast<SettingKey>(key), values[key]);
        }
        *loaded = record;
    });
}

// Called without the lock: the metrics calls broadcast WM_SETTINGCHANGE to every
// top-level window, the detector's own included, whose thread may be waiting for
// this inventory.
void TouchScreens::ApplyScreenSettings(ScreenRecord& record, std::int32_t screenIndex) noexcept {
    DriverInterface& driver = platform_.driver;
    (void)driver.OrvaSetTouchBoundary(&record.touchBoundary, screenIndex);
    (void)driver.OrvaSetBeep(&record.beep, screenIndex);
    (void)driver.OrvaSetDragDelay(&record.dragDelay, screenIndex);
    (void)driver.OrvaSetMouseMode(record.mouseMode, screenIndex);
    (void)driver.OrvaSetRightClickOnHold(&record.rightClickOnHold, screenIndex);
    (void)driver.OrvaSetCalibrationData(&record.calibration, screenIndex);
    platform_.metrics.SetDoubleClickWidth(record.doubleClickWidth);
    platform_.metrics.SetDoubleClickHeight(record.doubleClickHeight);
    platform_.metrics.SetDoubleClickTime(record.doubleClickTime);
}

void TouchScreens::SaveScreenSettings(const char* path, std::int32_t screenIndex, RetryBudget* budget) noexcept {
    ScreenRecord record;
    if (!UpdateRecord(screenIndex, [&](ScreenRecord& current) { record = current; })) return;
    SettingsFile file(path, platform_.files);
    if (file.GetStatus() != kSettingsOk) return;
    file.UseRetryBudget(budget);
    std::uint32_t values[kSettingKeyCount];
    for (int key = 0; key < kSettingKeyCount; ++key) values[key] = ValueToSave(record, static_cast<SettingKey>(key));
    // All seven keys in one rewrite, as seven SetValue calls in a row would leave the
    // file. A key the file does not hold stays absent.
    int results[kSettingKeyCount];
    (void)file.SetValues(kSettingKeyNames, values, kSettingKeyCount, kFormatDecimal, results);
}
