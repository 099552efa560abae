#include "touch_screens.h"

#include "controller_queries.h"
#include "driver_interface.h"
#include "platform.h"

#include <new>

// One reading pass over the driver, built apart from the published records.
struct TouchScreens::Pass {
    std::unique_ptr<ScreenRecord[]> records;
    std::int32_t count = 0;
    std::int32_t read = 0;
};

namespace {

// Value-initialised: a getter that fails leaves zeros, never stale heap contents.
std::unique_ptr<ScreenRecord[]> AllocateRecords(std::int32_t count) noexcept {
    return std::unique_ptr<ScreenRecord[]>(new (std::nothrow) ScreenRecord[static_cast<std::size_t>(count)]());
}

}  // namespace

TouchScreens::TouchScreens(DetectorPlatform& platform) noexcept
    : platform_(platform), screenRecords_(AllocateRecords(1)) {
    Refresh();
}

std::int32_t TouchScreens::GetScreenCount() const noexcept {
    std::lock_guard<std::mutex> guard(lock_);
    return screenCount_;
}

// Called with refreshLock_ held. The driver pass runs without the record lock, so
// that the controller queries never hold up readers of the old records.
void TouchScreens::CountAndRead() noexcept {
    Pass pass;
    const bool counted = platform_.driver.OrvaGetScreenInfo(0, &pass.count) == 0;
    if (counted && pass.count > 0) {
        pass.records = AllocateRecords(pass.count);
        if (pass.records) ReadAllScreens(pass);
    }
    if (!pass.records) {
        // A failed or empty count leaves no screen counted but keeps the old storage.
        std::lock_guard<std::mutex> guard(lock_);
        screenCount_ = counted && pass.count < 0 ? pass.count : 0;
        readCount_ = 0;
        return;
    }

    std::lock_guard<std::mutex> guard(lock_);
    // The old array leaves with pass, freed after the lock is let go, never under a reader.
    screenRecords_.swap(pass.records);
    screenCount_ = pass.count;
    readCount_ = pass.read;
}

void TouchScreens::ReadAllScreens(Pass& pass) noexcept {
    DriverInterface& driver = platform_.driver;
    for (std::int32_t j = 0; j < pass.count; ++j) {
        ScreenRecord& record = pass.records[static_cast<std::size_t>(j)];
        record.frameInfo = GetFrameInfo(j);
        // A screen that cannot be queried ends the pass; it and the later ones stay unread.
        if (record.frameInfo == 0) return;
        (void)driver.OrvaGetTouchBoundary(&record.touchBoundary, j);
        (void)driver.OrvaGetBeep(&record.beep, j);
        (void)driver.OrvaGetDragDelay(&record.dragDelay, j);
        (void)driver.OrvaGetMouseMode(&record.mouseMode, j);
        (void)driver.OrvaGetRightClickOnHold(&record.rightClickOnHold, j);
        (void)driver.OrvaGetCalibrationData(&record.calibration, j);
        record.doubleClickWidth = platform_.metrics.GetDoubleClickWidth();
        record.doubleClickHeight = platform_.metrics.GetDoubleClickHeight();
        record.doubleClickTime = platform_.metrics.GetDoubleClickTime();
        record.unintentionalTouch = EnumerateUnintentionalTouch(j);
        pass.read = j + 1;
    }
}

std::uint32_t TouchScreens::GetFrameInfo(std::int32_t screenIndex) noexcept {
    return QueryFrameInfo(platform_, screenIndex);
}

std::uint32_t TouchScreens::EnumerateUnintentionalTouch(std::int32_t screenIndex) noexcept {
    return QueryUnintentionalTouch(platform_, screenIndex);
}

bool TouchScreens::IsScreenRead(std::int32_t screenIndex) const noexcept {
    std::lock_guard<std::mutex> guard(lock_);
    return screenIndex >= 0 && screenIndex < readCount_;
}
