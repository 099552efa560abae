#include "bounded_text.h"
#include "file_access.h"
#include "replace_retry.h"
#include "settings_file.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstring>

namespace {

// A failed open gives null, never INVALID_HANDLE_VALUE.
OsHandle OrNone(HANDLE handle) noexcept { return IsHandle(handle) ? handle : nullptr; }

class WindowsFiles final : public FileAccess {
public:
    OsHandle OpenForReading(const char* path) noexcept override {
        return OrNone(CreateFileA(path, FILE_READ_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    bool Read(OsHandle file, char* buffer, std::size_t size, std::size_t* got) noexcept override {
        *got = 0;
        const DWORD ask = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        DWORD read = 0;
        if (!ReadFile(file, buffer, ask, &read, nullptr)) return false;
        *got = read;
        return true;
    }

    bool Seek(OsHandle file, std::uint64_t offset) noexcept override {
        LARGE_INTEGER distance;
        distance.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != 0;
    }

    OsHandle CreateTemporary(const char* folder, char* tempPath,
                           std::size_t tempPathSize) noexcept override {
        // GetTempFileNameA writes up to MAX_PATH bytes and wants room for its
        // 14-character name behind the folder.
        if (tempPathSize < MAX_PATH || std::strlen(folder) > MAX_PATH - 14) return nullptr;
        if (GetTempFileNameA(folder, "pnl", 0, tempPath) == 0) return nullptr;
        // GetTempFileNameA has created the file; open it for ourselves alone.
        const HANDLE file = CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!IsHandle(file)) DeleteFileA(tempPath);
        return OrNone(file);
    }

    bool Write(OsHandle file, const char* data, std::size_t size) noexcept override {
        while (size > 0) {
            const DWORD ask = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(file, data, ask, &written, nullptr) || written == 0) return false;
            data += written;
            size -= written;
        }
        return true;
    }

    bool Flush(OsHandle file) noexcept override { return FlushFileBuffers(file) != 0; }

    void Close(OsHandle file) noexcept override { CloseKeepingLastError(file, &CloseHandle); }

    ReplaceResult Replace(const char* target, const char* replacement) noexcept override {
        const DWORD attributes = GetFileAttributesA(target);
        // Never create the settings file: a rename onto a missing name would.
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return ReplaceResult::kFailed;
        }
        // One rename, one step: the name never stands empty, whenever the process
        // dies. ReplaceFile is several steps and leaves no file under the name when
        // it is cut short.
        if (MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ReplaceResult::kReplaced;
        }
        return ClassifyReplaceError(GetLastError(), (attributes & FILE_ATTRIBUTE_READONLY) != 0);
    }

    bool Delete(const char* path) noexcept override { return DeleteFileA(path) != 0; }

    void DeleteLeftoverTemporaries(const char* folder) noexcept override {
        char pattern[MAX_PATH];
        if (!InFolder(pattern, folder, kTemporaryPattern)) return;
        WIN32_FIND_DATAA found;
        const UniqueFindHandle search(FindFirstFileA(pattern, &found));
        if (!search) return;
        do {
            char leftover[MAX_PATH];
            // A rewrite still writing its copy holds it shared with nobody, so the
            // delete fails and leaves it alone.
            if (IsLeftoverTemporaryName(found.cFileName) && InFolder(leftover, folder, found.cFileName)) {
                (void)DeleteFileA(leftover);
            }
        } while (FindNextFileA(search.Get(), &found));
    }

private:
    static bool InFolder(char (&dest)[MAX_PATH], const char* folder, const char* name) noexcept {
        const std::size_t length = std::strlen(folder);
        const bool separated = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
        return FormatWhole(dest, sizeof dest, separated ? "%s%s" : "%s\\%s", folder, name);
    }
};

}  // namespace

FileAccess& WindowsFileAccess() noexcept {
    // Never destroyed: a worker may still save while the program exits.
    static WindowsFiles& files = *new WindowsFiles;
    return files;
}

SettingsFile::SettingsFile(const char* path) noexcept : SettingsFile(path, WindowsFileAccess()) {}
