// The files and folders the sequences touch.
#pragma once

#include "owned_handle.h"

#include <cstdint>

// The Win32 error codes the sequences tell apart (checked against <windows.h> on the
// Windows side).
constexpr std::uint32_t kErrorNone = 0;
constexpr std::uint32_t kErrorFileNotFound = 2;        // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorPathNotFound = 3;        // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kErrorAccessDenied = 5;        // ERROR_ACCESS_DENIED
constexpr std::uint32_t kErrorSharingViolation = 32;   // ERROR_SHARING_VIOLATION
constexpr std::uint32_t kErrorDirNotEmpty = 145;       // ERROR_DIR_NOT_EMPTY

class FileSystemApi {
public:
    virtual ~FileSystemApi() = default;
    // CreateDirectory, one level, no security attributes.
    virtual bool CreateFolder(const char* path) noexcept = 0;
    // CopyFile, replacing an existing target.
    virtual bool CopyFileReplacing(const char* source, const char* target) noexcept = 0;
    // SetCurrentDirectory of the installer itself.
    virtual bool SetCurrentFolder(const char* path) noexcept = 0;
    virtual bool RemoveFile(const char* path) noexcept = 0;
    // RemoveDirectory: only an empty folder goes. kErrorNone when it went, else the
    // error Windows reported.
    [[nodiscard]] virtual std::uint32_t RemoveFolder(const char* path) noexcept = 0;
    // Opens an existing file for reading, sharing read and write but not delete, so
    // that no other process can delete or rename it while it is held. No handle when
    // it fails.
    virtual OsHandle OpenHeldAgainstDeletion(const char* path) noexcept = 0;
    virtual void Close(OsHandle file) noexcept = 0;
};

using HeldFile = OwnedHandle<FileSystemApi, &FileSystemApi::Close>;

#if defined(_WIN32)
FileSystemApi& WindowsFileSystemApi() noexcept;
#endif
