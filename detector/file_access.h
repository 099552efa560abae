// The file operations the settings file accessor needs, behind an interface
// the size of what it calls, so that tests can replace the file system and make
// any single step fail. An open file is an OsHandle (a HANDLE on Windows); a
// failed open or create gives one for which IsHandle is false.
#pragma once

#include "service_handle.h"

#include <cstddef>
#include <cstdint>

// What one attempt to put a replacement in place of its target came to. The
// target holds its old content in every case but kReplaced.
enum class ReplaceResult {
    kReplaced,  // the target now holds the replacement's content; the replacement name is gone
    kBusy,      // someone holds the target (or the replacement) for the moment: worth another try
    kFailed,    // lasting: no such target, a read-only file, no right to it
};

class FileAccess {
public:
    virtual ~FileAccess() = default;

    // An existing file only, for reading. Others may read, write, delete and replace
    // it meanwhile, so that holding it open never blocks a replace.
    [[nodiscard]] virtual OsHandle OpenForReading(const char* path) noexcept = 0;

    // Up to size bytes; *got is 0 at the end of the file. False when the read failed.
    [[nodiscard]] virtual bool Read(OsHandle file, char* buffer, std::size_t size,
                                    std::size_t* got) noexcept = 0;

    // Sets the position of the next read, counted from the start of the file.
    [[nodiscard]] virtual bool Seek(OsHandle file, std::uint64_t offset) noexcept = 0;

    // A new, uniquely named, empty file in folder, open for writing and shared with
    // nobody. Its full name goes to tempPath (tempPathSize bytes); what does not fit fails.
    [[nodiscard]] virtual OsHandle CreateTemporary(const char* folder, char* tempPath,
                                                 std::size_t tempPathSize) noexcept = 0;

    // All size bytes or failure.
    [[nodiscard]] virtual bool Write(OsHandle file, const char* data, std::size_t size) noexcept = 0;

    [[nodiscard]] virtual bool Flush(OsHandle file) noexcept = 0;

    virtual void Close(OsHandle file) noexcept = 0;

    // Puts the closed file replacement in the place of the existing file target by one
    // rename, so that target holds either its whole old or its whole new content at
    // every moment, whatever happens to the process. One attempt, no waiting. Never
    // creates target.
    [[nodiscard]] virtual ReplaceResult Replace(const char* target,
                                                const char* replacement) noexcept = 0;

    [[nodiscard]] virtual bool Delete(const char* path) noexcept = 0;

    // Deletes the temporary files that rewrites in folder left behind when their
    // process died (names for which IsLeftoverTemporaryName holds). A file another
    // rewrite still has open is left alone.
    virtual void DeleteLeftoverTemporaries(const char* folder) noexcept = 0;
};

// Owns one open file of a FileAccess and closes it through it, so that a fake sees the close.
using ScopedFile = OwnedHandle<FileAccess, &FileAccess::Close>;

#if defined(_WIN32)
// The real files, through the Win32 ANSI calls.
FileAccess& WindowsFileAccess() noexcept;
#endif
