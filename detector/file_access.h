// The file operations the settings file accessor needs, behind an interface
// the size of what it calls, so that tests can replace the file system and make
// any single step fail.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file as the implementation identifies it; kNoFile is "none". The
// Windows side keeps a HANDLE in it.
using FileId = std::uintptr_t;
constexpr FileId kNoFile = 0;

enum class ReplaceResult {
    kReplaced,    // the target now holds the replacement's content; the replacement name is gone
    kUnchanged,   // the target keeps its content; the replacement is still there to delete
    kIncomplete,  // the target may be gone and the new content survives only under the
                  // replacement's name: that file must not be deleted
};

class FileAccess {
public:
    virtual ~FileAccess() = default;

    // An existing file only, for reading. Others may read, write, delete and replace
    // it meanwhile, so that holding it open never blocks a replace.
    [[nodiscard]] virtual FileId OpenForReading(const char* path) noexcept = 0;

    // Up to size bytes; *got is 0 at the end of the file. False when the read failed.
    [[nodiscard]] virtual bool Read(FileId file, char* buffer, std::size_t size,
                                    std::size_t* got) noexcept = 0;

    // Sets the position of the next read, counted from the start of the file.
    [[nodiscard]] virtual bool Seek(FileId file, std::uint64_t offset) noexcept = 0;

    // A new, uniquely named, empty file in folder, open for writing and shared with
    // nobody. Its full name goes to tempPath (tempPathSize bytes); what does not fit fails.
    [[nodiscard]] virtual FileId CreateTemporary(const char* folder, char* tempPath,
                                                 std::size_t tempPathSize) noexcept = 0;

    // All size bytes or failure.
    [[nodiscard]] virtual bool Write(FileId file, const char* data, std::size_t size) noexcept = 0;

    // Pushes what was written through to the disk.
    [[nodiscard]] virtual bool Flush(FileId file) noexcept = 0;

    virtual void Close(FileId file) noexcept = 0;

    // Puts the closed file replacement in the place of the existing file target in one
    // step, so that target holds either its old or its new content at every moment.
    // Never creates target.
    [[nodiscard]] virtual ReplaceResult Replace(const char* target,
                                                const char* replacement) noexcept = 0;

    [[nodiscard]] virtual bool Delete(const char* path) noexcept = 0;
};

// Owns one open file of a FileAccess. Copying is deleted, moving allowed.
class ScopedFile {
public:
    ScopedFile() noexcept = default;
    ScopedFile(FileAccess& files, FileId file) noexcept : files_(&files), file_(file) {}
    ~ScopedFile() { Reset(); }

    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    ScopedFile(ScopedFile&& other) noexcept : files_(other.files_), file_(other.file_) {
        other.file_ = kNoFile;
    }
    ScopedFile& operator=(ScopedFile&& other) noexcept {
        if (this != &other) {
            Reset();
            files_ = other.files_;
            file_ = other.file_;
            other.file_ = kNoFile;
        }
        return *this;
    }

    FileId Get() const noexcept { return file_; }
    bool IsValid() const noexcept { return file_ != kNoFile; }

    void Reset() noexcept {
        if (file_ != kNoFile && files_ != nullptr) files_->Close(file_);
        file_ = kNoFile;
    }

private:
    FileAccess* files_ = nullptr;
    FileId file_ = kNoFile;
};

#if defined(_WIN32)
// The real files, through the Win32 ANSI calls.
FileAccess& WindowsFileAccess() noexcept;
#endif
