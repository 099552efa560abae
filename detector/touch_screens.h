// The detector's inventory of the touch screens the driver reports.
#pragma once

#include "OrvaPubIf.h"

#include <cstdint>
#include <memory>
#include <mutex>

struct DetectorPlatform;
class RetryBudget;

struct ScreenRecord {
    CalibrationBlock calibration;
    TouchBoundaryBlock touchBoundary;
    BeepBlock beep;
    DragDelayBlock dragDelay;
    RightClickOnHoldBlock rightClickOnHold;
    std::uint16_t mouseMode;
    std::uint32_t frameInfo;
    std::uint32_t unintentionalTouch;
    std::int32_t doubleClickWidth;
    std::int32_t doubleClickHeight;
    std::uint32_t doubleClickTime;
};

// Shared by the user-interface thread and the detector's workers. Records are
// only ever copied out or changed under the lock, and a refresh builds the new
// array on the side and swaps it in, so no record is freed under a reader; a
// second lock keeps two refreshes from overlapping.
class TouchScreens {
public:
    explicit TouchScreens(DetectorPlatform& platform) noexcept;
    TouchScreens(const TouchScreens&) = delete;
    TouchScreens& operator=(const TouchScreens&) = delete;

    // The count the driver reported, including screens after an early stop of
    // the reading pass (see IsScreenRead).
    std::int32_t GetScreenCount() const noexcept;

    // Counts the screens and reads every record again; until then readers see the old ones.
    void Refresh() noexcept { RefreshThen([] {}); }

    // Refreshes, then runs then() before any other refresh can replace the records
    // (so the session-end save writes what this refresh read). then must not call
    // anything that waits for the detector's window.
    template <typename Then>
    void RefreshThen(Then&& then) noexcept {
        std::lock_guard<std::mutex> refreshing(refreshLock_);
        CountAndRead();
        then();
    }

    std::uint32_t GetFrameInfo(std::int32_t screenIndex) noexcept;
    std::uint32_t EnumerateUnintentionalTouch(std::int32_t screenIndex) noexcept;

    // The seven settings keys between the settings file at path, this screen's
    // record, the driver and the system's double-click metrics. A screen the last
    // pass did not read is left alone by all three (the load returns false).
    // The load overlays the file's values on the record and hands out a copy of the
    // result; the apply sends that copy, so a refresh between the two never makes
    // the start-up restore send anything but what was loaded.
    [[nodiscard]] bool LoadScreenSettings(const char* path, std::int32_t screenIndex, ScreenRecord* loaded) noexcept;
    void ApplyScreenSettings(ScreenRecord& loaded, std::int32_t screenIndex) noexcept;
    // One rewrite of the file for all seven keys. Tries on a file someone holds for
    // the moment only while budget lasts (none: one try).
    void SaveScreenSettings(const char* path, std::int32_t screenIndex, RetryBudget* budget = nullptr) noexcept;

    // Whether the last pass filled this screen's record with the driver's values.
    // Records after a screen that could not be queried hold nothing of the driver
    // and must reach neither the driver's setters nor the settings file.
    bool IsScreenRead(std::int32_t screenIndex) const noexcept;

    // Runs change(record) under the lock on a screen that was read; false otherwise.
    // change must not call anything that waits for the detector's window.
    template <typename Change>
    bool UpdateRecord(std::int32_t screenIndex, Change&& change) noexcept {
        std::lock_guard<std::mutex> guard(lock_);
        if (screenIndex < 0 || screenIndex >= readCount_) return false;
        change(screenRecords_[static_cast<std::size_t>(screenIndex)]);
        return true;
    }

private:
    struct Pass;
    void ReadAllScreens(Pass& pass) noexcept;
    void CountAndRead() noexcept;
    friend struct TouchScreensPeer;  // the tests' view of the records

    DetectorPlatform& platform_;
    std::mutex refreshLock_;
    mutable std::mutex lock_;
    std::unique_ptr<ScreenRecord[]> screenRecords_;
    std::int32_t screenCount_ = 0;
    std::int32_t readCount_ = 0;
};
