#include "install_log.h"

#include "shared_contract.h"
#include "unique_handle.h"

#include <windows.h>

#include <utility>

namespace {

class WindowsInstallLog final : public InstallLogApi {
public:
    bool Open() noexcept override {
        char windows[kMaxPath];
        char path[kMaxPath];
        char older[kMaxPath];
        const UINT length = GetWindowsDirectoryA(windows, kMaxPath);
        if (length == 0 || length >= kMaxPath || !FormatWhole(path, sizeof path, "%s\\Temp\\%s", windows, kLogFileName) ||
            !FormatWhole(older, sizeof older, "%s.old", path)) {
            return false;
        }
        for (int pass = 0; pass < 2; ++pass) {
            // A link is opened as itself, never followed, and then refused.
            UniqueHandle file(CreateFileA(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            BY_HANDLE_FILE_INFORMATION info;
            if (!file || !GetFileInformationByHandle(file.Get(), &info)) return false;
            const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
            switch (UseOfLogFile((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, info.nNumberOfLinks, size)) {
            case LogFileUse::kAppend: file_ = std::move(file); return true;
            case LogFileUse::kRefuse: return false;
            case LogFileUse::kRotate: break;
            }
            file.Reset();
            // Renaming moves the name alone, so a link put in the way meanwhile is never written through.
            if (!MoveFileExA(path, older, MOVEFILE_REPLACE_EXISTING)) return false;
        }
        return false;
    }
    void Append(const char* text) noexcept override {
        DWORD written = 0;
        // One write per line: runs that log at the same time never split each other's lines.
        if (file_) (void)WriteFile(file_.Get(), text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
    }
    std::uint32_t LastError() noexcept override { return GetLastError(); }

private:
    UniqueHandle file_;
};

}  // namespace

InstallLogApi& WindowsInstallLogApi() noexcept {
    static WindowsInstallLog log;
    return log;
}
