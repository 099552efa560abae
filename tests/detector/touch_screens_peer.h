// The tests' view inside the inventory: a copy of any counted record, read or not.
#pragma once

#include "touch_screens.h"

struct TouchScreensPeer {
    // False for an index out of range.
    static bool CopyRecord(const TouchScreens& screens, std::int32_t screenIndex, ScreenRecord* record) {
        std::lock_guard<std::mutex> guard(screens.lock_);
        if (screenIndex < 0 || screenIndex >= screens.screenCount_) return false;
        *record = screens.screenRecords_[static_cast<std::size_t>(screenIndex)];
        return true;
    }
};
