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
    bool RemoveFolder(const char* path) noexcept override { return RemoveDirectoryA(path) != FALSE; }
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
