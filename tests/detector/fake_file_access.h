// An in-memory file system behind FileAccess, with Windows' sharing rules as far
// as the settings file relies on them and with faults to inject: any call of any
// operation can be made to fail.
#pragma once

#include "file_access.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class FakeFileAccess : public FileAccess {
public:
    enum Op { kOpen, kRead, kSeek, kCreate, kWrite, kFlush, kClose, kReplace, kDelete, kLeftovers, kOpCount };

    // Files by full name; each name refers to one content object, which handles
    // keep after the name moves on (as a replaced file's handle does on Windows).
    void Put(const std::string& path, const std::string& content);
    bool Exists(const std::string& path) const;
    std::string Content(const std::string& path) const;
    std::map<std::string, std::string> Snapshot() const;

    // Another holder of path, with or without delete sharing, until Release.
    OsHandle HoldOpen(const std::string& path, bool shareDelete);
    void Release(OsHandle file) { Close(file); }

    // The nth call (1-based, counted from now) of op fails.
    void FailCall(Op op, int nth);
    // From now on, the files as they stand before each call: what a process that
    // died just before that call would leave on disk.
    void RecordStates() { recording_ = true; }
    const std::vector<std::map<std::string, std::string>>& States() const { return states_; }
    // At most this many bytes per read call.
    void LimitReads(std::size_t bytes) { readLimit_ = bytes; }

    int Calls(Op op) const { return calls_[op]; }
    int OpenHandles() const { return static_cast<int>(handles_.size()); }

    OsHandle OpenForReading(const char* path) noexcept override;
    bool Read(OsHandle file, char* buffer, std::size_t size, std::size_t* got) noexcept override;
    bool Seek(OsHandle file, std::uint64_t offset) noexcept override;
    OsHandle CreateTemporary(const char* folder, char* tempPath, std::size_t tempPathSize) noexcept override;
    bool Write(OsHandle file, const char* data, std::size_t size) noexcept override;
    bool Flush(OsHandle file) noexcept override;
    void Close(OsHandle file) noexcept override;
    ReplaceResult Replace(const char* target, const char* replacement) noexcept override;
    bool Delete(const char* path) noexcept override;
    void DeleteLeftoverTemporaries(const char* folder) noexcept override;

private:
    struct Handle {
        std::string path;
        std::shared_ptr<std::string> content;
        std::size_t position = 0;
        bool shareDelete = true;
        bool writable = false;
    };

    bool Fails(Op op);
    bool BlocksDelete(const std::string& path) const;
    OsHandle AddHandle(const Handle& handle);

    std::map<std::string, std::shared_ptr<std::string>> files_;
    std::map<OsHandle, Handle> handles_;
    std::uintptr_t nextId_ = 1;
    int nextTemp_ = 1;
    int calls_[kOpCount] = {};
    int failAt_[kOpCount] = {};
    bool recording_ = false;
    std::vector<std::map<std::string, std::string>> states_;
    std::size_t readLimit_ = 0;
};
