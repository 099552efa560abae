#include "file_system.h"

#include "unique_handle.h"

#include <windows.h>

namespace {

class WindowsFileSystem final : public FileSystemApi {
public:
    bool CreateFolder(const char* path) noexcept override { return CreateDirectoryA(path, nullptr) != FALSE; }
    bool CopyFileReplacing(const char* source, const char* target) noexcept override {
        return CopyFileA(source, target, FALSE) != FALSE;
    }
    bool SetCurrentFolder(const char* path) noexcept override { return SetCurrentDirectoryA(path) != FALSE; }
    bool RemoveFile(const char* path) noexcept override { return DeleteFileA(path) != FALSE; }
    void ClearReadOnlyAndHidden(const char* path) noexcept override {
        const DWORD attributes = GetFileAttributesA(path);
        const DWORD blocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & blocking) != 0) {
            (void)SetFileAttributesA(path, attributes & ~blocking);
        }
    }
    void ForEachFile(const char* pattern, void (*visit)(const char* name)) noexcept override {
        WIN32_FIND_DATAA found;
        const UniqueFindHandle search(FindFirstFileA(pattern, &found));
        if (!search) return;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) visit(found.cFileName);
        } while (FindNextFileA(search.Get(), &found));
    }
    bool WidePath(const char* path, std::u16string& wide) noexcept override {
        wchar_t units[kMaxPath];
        const int count = MultiByteToWideChar(CP_ACP, 0, path, -1, units, static_cast<int>(kMaxPath));
        wide.assign(reinterpret_cast<const char16_t*>(units), count > 0 ? count - 1 : 0);
        return count > 0;
    }
    bool RemoveAtRestart(const char* path) noexcept override {
        return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    }
    std::uint32_t RemoveFolder(const char* path) noexcept override {
        if (RemoveDirectoryA(path) != FALSE) return kErrorNone;
        const DWORD error = GetLastError();
        // A failure that reports no code is still a failure.
        return error == ERROR_SUCCESS ? static_cast<std::uint32_t>(ERROR_GEN_FAILURE) : error;
    }
    OsHandle OpenHeldAgainstDeletion(const char* path) noexcept override {
        return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    void Close(OsHandle file) noexcept override {
        CloseKeepingLastError(static_cast<HANDLE>(file), CloseHandle);
    }
};

}  // namespace

FileSystemApi& WindowsFileSystemApi() noexcept {
    static WindowsFileSystem fileSystem;
    return fileSystem;
}
