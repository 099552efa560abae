#include "shell_folder.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

class WindowsShellFolder final : public ShellFolderApi {
public:
    bool ProgramFilesFolder(char (&folder)[kMaxPath]) noexcept override {
        return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder));
    }
    std::uint32_t ModuleFileName(char (&path)[kMaxPath]) noexcept override {
        return GetModuleFileNameA(nullptr, path, kMaxPath);
    }
    void RemoveFileSpec(char (&path)[kMaxPath]) noexcept override { PathRemoveFileSpecA(path); }
    bool SystemFolder(char (&folder)[kMaxPath]) noexcept override {
        UINT length = GetSystemDirectoryA(folder, kMaxPath);
        if (length == 0 || length >= kMaxPath) {
            folder[0] = '\0';
            return false;
        }
        return true;
    }
};

}  // namespace

ShellFolderApi& WindowsShellFolderApi() noexcept {
    static WindowsShellFolder shellFolder;
    return shellFolder;
}
