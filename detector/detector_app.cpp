#include "detector_app.h"

#include "attach_watch_dialog.h"
#include "platform.h"
#include "session_guard.h"
#include "unique_handle.h"
#include "worker_services.h"

#include <commctrl.h>

#include <cstring>
#include <string_view>

DetectorApp theApp;

namespace {

// Held until the program ends, after its last worker (never destroyed); Windows then releases it.
class WindowsSessionGuard final : public SessionGuardApi {
public:
    GuardWait Acquire(std::uint32_t milliseconds) noexcept override {
        mutex_.Reset(CreateMutexA(nullptr, FALSE, kSessionGuardName));
        if (!mutex_) return GuardWait::kNotCreated;
        switch (WaitForSingleObject(mutex_.Get(), milliseconds)) {
        case WAIT_OBJECT_0: return GuardWait::kGot;
        case WAIT_ABANDONED: return GuardWait::kAbandoned;
        default: return GuardWait::kTimedOut;
        }
    }
    void RegisterRestart(std::uint32_t flags) noexcept override { (void)RegisterApplicationRestart(nullptr, flags); }

private:
    UniqueHandle mutex_;
};

}  // namespace

bool DetectorApp::InitInstance(HINSTANCE instance) noexcept {
    // Before any driver call, file access or tone: a second detector ends silently.
    static WindowsSessionGuard& guard = *new WindowsSessionGuard;
    if (!ClaimSession(guard)) return false;
    // Without the driver's library (its package removed, the Run value left) it ends silently too.
    DetectorPlatform* const platform = WindowsPlatform();
    if (platform == nullptr) return false;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);

    const std::unique_ptr<AttachWatchDialog> dialog =
        AttachWatchDialog::Create(instance, *platform, WindowsWorkerServices());
    if (dialog == nullptr) return false;
    (void)dialog->DoModal();
    // Workers that still run keep their own share of the session.
    return false;
}

const char* DetectorApp::GetAppName() noexcept {
    if (appName_[0] != '\0') return appName_;
    char path[kMaxPath];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A path that does not fit is cut short; the program's own file name stands in.
    const std::string_view whole = length == 0 || length >= sizeof path ? kDetectorFileName : path;
    const std::size_t separator = whole.find_last_of("\\/:");
    std::string_view name = separator == std::string_view::npos ? whole : whole.substr(separator + 1);
    name = name.substr(0, name.rfind('.'));
    // Fits: the name is a part of a path shorter than kMaxPath.
    std::memcpy(appName_, name.data(), name.size());
    appName_[name.size()] = '\0';
    return appName_;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    (void)theApp.InitInstance(instance);
    return 0;
}
