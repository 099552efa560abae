// The files and folders the sequences touch.
#pragma once

#include "service_handle.h"
#include "shared_contract.h"

#include <cstdint>
#include <string>

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
    // Clears FILE_ATTRIBUTE_READONLY and FILE_ATTRIBUTE_HIDDEN: CopyFile carries both over
    // from its source (read-only media) and refuses a target with either, DeleteFile one
    // that is read-only. Nothing for a missing file.
    virtual void ClearReadOnlyAndHidden(const char* path) noexcept = 0;
    // FindFirstFile and FindNextFile: visit is given the name of every file pattern finds.
    virtual void ForEachFile(const char* pattern, void (*visit)(const char* name)) noexcept = 0;
    // MultiByteToWideChar(CP_ACP): path as the W functions, and the restart, see it.
    virtual bool WidePath(const char* path, std::u16string& wide) noexcept = 0;
    // MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT: a file, or an empty folder, goes at the restart.
    virtual bool RemoveAtRestart(const char* path) noexcept = 0;
    // RemoveDirectory: only an empty folder goes. kErrorNone when it went, else the
    // error Windows reported.
    [[nodiscard]] virtual std::uint32_t RemoveFolder(const char* path) noexcept = 0;
    // Opens an existing file for reading, sharing read and write but not delete, so that no other
    // process can delete or rename it while it is held. No handle when it fails.
    virtual OsHandle OpenHeldAgainstDeletion(const char* path) noexcept = 0;
    virtual void Close(OsHandle file) noexcept = 0;
};

using HeldFile = OwnedHandle<FileSystemApi, &FileSystemApi::Close>;

#if defined(_WIN32)
FileSystemApi& WindowsFileSystemApi() noexcept;
#endif
