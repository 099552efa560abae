#include "file_access.h"
#include "settings_file.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstring>

namespace {

HANDLE AsHandle(FileId file) noexcept { return reinterpret_cast<HANDLE>(file); }

FileId TakeId(UniqueHandle& handle) noexcept {
    return handle.IsValid() ? reinterpret_cast<FileId>(handle.Release()) : kNoFile;
}

// Someone else holding the file without delete sharing (a virus scanner, an
// editor) usually lets go within moments. Access denied is lasting (a read-only
// file, a folder without rights): retrying it would only hold up the session-end
// save, which runs on the user-interface thread.
constexpr int kReplaceAttempts = 8;
constexpr DWORD kReplacePauseMs = 25;

bool IsTransient(DWORD error) noexcept {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

class WindowsFiles final : public FileAccess {
public:
    FileId OpenForReading(const char* path) noexcept override {
        UniqueHandle file(CreateFileA(path, FILE_READ_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return TakeId(file);
    }

    bool Read(FileId file, char* buffer, std::size_t size, std::size_t* got) noexcept override {
        *got = 0;
        const DWORD ask = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        DWORD read = 0;
        if (!ReadFile(AsHandle(file), buffer, ask, &read, nullptr)) return false;
        *got = read;
        return true;
    }

    bool Seek(FileId file, std::uint64_t offset) noexcept override {
        LARGE_INTEGER distance;
        distance.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(AsHandle(file), distance, nullptr, FILE_BEGIN) != 0;
    }

    FileId CreateTemporary(const char* folder, char* tempPath,
                           std::size_t tempPathSize) noexcept override {
        // GetTempFileNameA writes up to MAX_PATH bytes and wants room for its
        // 14-character name behind the folder.
        if (tempPathSize < MAX_PATH || std::strlen(folder) > MAX_PATH - 14) return kNoFile;
        if (GetTempFileNameA(folder, "pnl", 0, tempPath) == 0) return kNoFile;
        // GetTempFileNameA has created the file under its unique name; open it
        // for ourselves alone.
        UniqueHandle file(CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) {
            DeleteFileA(tempPath);
            return kNoFile;
        }
        return TakeId(file);
    }

    bool Write(FileId file, const char* data, std::size_t size) noexcept override {
        while (size > 0) {
            const DWORD ask = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(AsHandle(file), data, ask, &written, nullptr) || written == 0) return false;
            data += written;
            size -= written;
        }
        return true;
    }

    bool Flush(FileId file) noexcept override { return FlushFileBuffers(AsHandle(file)) != 0; }

    void Close(FileId file) noexcept override {
        UniqueHandle closing(AsHandle(file));
    }

    ReplaceResult Replace(const char* target, const char* replacement) noexcept override {
        for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
            if (attempt > 0) Sleep(kReplacePauseMs);
            const DWORD blocked = DeleteBlockedBy(target);
            if (blocked == ERROR_FILE_NOT_FOUND || blocked == ERROR_PATH_NOT_FOUND) {
                return ReplaceResult::kUnchanged;  // never create the settings file
            }
            if (blocked != ERROR_SUCCESS) {
                if (IsTransient(blocked)) continue;
                return ReplaceResult::kUnchanged;
            }
            // ReplaceFile keeps the settings file's attributes and security, and
            // (unlike MoveFileEx) succeeds while a handle with delete sharing is open.
            if (ReplaceFileA(target, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                             nullptr)) {
                return ReplaceResult::kReplaced;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
                // The old file has left its name but the copy did not take it: finish
                // the move by name, else keep the copy.
                return FinishMove(target, replacement);
            }
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return ReplaceResult::kUnchanged;  // never create the settings file
            }
            if (!IsTransient(error)) {
                // File systems without ReplaceFile support: a write-through rename.
                if (MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                    return ReplaceResult::kReplaced;
                }
                if (!IsTransient(GetLastError())) return ReplaceResult::kUnchanged;
            }
        }
        return ReplaceResult::kUnchanged;
    }

    bool Delete(const char* path) noexcept override { return DeleteFileA(path) != 0; }

private:
    // Whether the file could be deleted now, asked by opening it for deletion: a
    // holder without delete sharing refuses that. Wine's ReplaceFile leaves a stray
    // temporary file beside the target each time it fails on such a holder, so it
    // is only called when this finds the way clear.
    static DWORD DeleteBlockedBy(const char* target) noexcept {
        UniqueHandle probe(CreateFileA(target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return probe.IsValid() ? ERROR_SUCCESS : GetLastError();
    }

    static ReplaceResult FinishMove(const char* target, const char* replacement) noexcept {
        for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
            if (attempt > 0) Sleep(kReplacePauseMs);
            if (MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                return ReplaceResult::kReplaced;
            }
        }
        return ReplaceResult::kIncomplete;
    }
};

}  // namespace

FileAccess& WindowsFileAccess() noexcept {
    // Never destroyed: a worker may still save while the program exits.
    static WindowsFiles& files = *new WindowsFiles;
    return files;
}

SettingsFile::SettingsFile(const char* path) noexcept : SettingsFile(path, WindowsFileAccess()) {}
