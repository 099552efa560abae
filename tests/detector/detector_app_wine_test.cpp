// The detector's start-up under Wine, built from a folder where no OrvaPubIf.dll can
// be found: it ends before any dialog, and the session guard it took stays held until
// the process ends, since workers may still be saving after the dialog has gone.
#include "detector_app.h"
#include "session_guard.h"
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

namespace {

TEST(DetectorApp, KeepsTheSessionGuardAfterTheStartUpHasEnded) {
    EXPECT_FALSE(theApp.InitInstance(GetModuleHandleA(nullptr)));

    UniqueHandle guard(OpenMutexA(SYNCHRONIZE, FALSE, kSessionGuardName));
    ASSERT_TRUE(guard) << "the guard's mutex is gone, error " << GetLastError();
    // Another thread of the process stands for the next detector: the mutex has an owner.
    DWORD wait = WAIT_FAILED;
    std::thread next([&] { wait = WaitForSingleObject(guard.Get(), 0); });
    next.join();
    EXPECT_EQ(wait, static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
