#include "fake_file_access.h"

#include "replace_retry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

void FakeFileAccess::Put(const std::string& path, const std::string& content) {
    files_[path] = std::make_shared<std::string>(content);
}

bool FakeFileAccess::Exists(const std::string& path) const { return files_.count(path) != 0; }

std::string FakeFileAccess::Content(const std::string& path) const {
    auto found = files_.find(path);
    return found == files_.end() ? std::string("<missing>") : *found->second;
}

std::map<std::string, std::string> FakeFileAccess::Snapshot() const {
    std::map<std::string, std::string> result;
    for (const auto& file : files_) result[file.first] = *file.second;
    return result;
}

OsHandle FakeFileAccess::HoldOpen(const std::string& path, bool shareDelete) {
    auto found = files_.find(path);
    if (found == files_.end()) return nullptr;
    return AddHandle(Handle{path, found->second, 0, shareDelete, false});
}

OsHandle FakeFileAccess::AddHandle(const Handle& handle) {
    const auto file = reinterpret_cast<OsHandle>(nextId_++);
    handles_[file] = handle;
    return file;
}

void FakeFileAccess::FailCall(Op op, int nth) { failAt_[op] = calls_[op] + nth; }

bool FakeFileAccess::Fails(Op op) {
    if (recording_) states_.push_back(Snapshot());
    ++calls_[op];
    return failAt_[op] != 0 && calls_[op] == failAt_[op];
}

bool FakeFileAccess::BlocksDelete(const std::string& path) const {
    for (const auto& handle : handles_) {
        if (handle.second.path == path && handle.second.content == files_.at(path) &&
            (!handle.second.shareDelete || handle.second.writable)) {
            return true;
        }
    }
    return false;
}

OsHandle FakeFileAccess::OpenForReading(const char* path) noexcept {
    if (Fails(kOpen)) return nullptr;
    return HoldOpen(path, true);
}

bool FakeFileAccess::Read(OsHandle file, char* buffer, std::size_t size, std::size_t* got) noexcept {
    *got = 0;
    if (Fails(kRead)) return false;
    Handle& handle = handles_.at(file);
    if (readLimit_ != 0 && size > readLimit_) size = readLimit_;
    const std::string& content = *handle.content;
    if (handle.position < content.size()) {
        *got = std::min(size, content.size() - handle.position);
        std::memcpy(buffer, content.data() + handle.position, *got);
        handle.position += *got;
    }
    return true;
}

bool FakeFileAccess::Seek(OsHandle file, std::uint64_t offset) noexcept {
    if (Fails(kSeek)) return false;
    handles_.at(file).position = static_cast<std::size_t>(offset);
    return true;
}

OsHandle FakeFileAccess::CreateTemporary(const char* folder, char* tempPath,
                                       std::size_t tempPathSize) noexcept {
    if (Fails(kCreate)) return nullptr;
    std::string name;
    do {
        // Four hexadecimal digits, as GetTempFileName makes them.
        char unique[16];
        std::snprintf(unique, sizeof unique, "pnl%04X.tmp", static_cast<unsigned>(nextTemp_++ & 0xFFFF));
        name = std::string(folder) + "\\" + unique;
    } while (Exists(name));
    if (name.size() + 1 > tempPathSize) return nullptr;
    std::memcpy(tempPath, name.c_str(), name.size() + 1);
    Put(name, "");
    return AddHandle(Handle{name, files_[name], 0, false, true});
}

bool FakeFileAccess::Write(OsHandle file, const char* data, std::size_t size) noexcept {
    if (Fails(kWrite)) return false;
    Handle& handle = handles_.at(file);
    handle.content->append(data, size);
    return true;
}

bool FakeFileAccess::Flush(OsHandle file) noexcept { return !Fails(kFlush); }

void FakeFileAccess::Close(OsHandle file) noexcept {
    if (recording_) states_.push_back(Snapshot());
    ++calls_[kClose];
    handles_.erase(file);
}

ReplaceResult FakeFileAccess::Replace(const char* target, const char* replacement) noexcept {
    if (Fails(kReplace)) return ReplaceResult::kFailed;
    // A rename: never creates the target, one step.
    if (!Exists(target) || !Exists(replacement)) return ReplaceResult::kFailed;
    if (BlocksDelete(target) || BlocksDelete(replacement)) return ReplaceResult::kBusy;
    files_[target] = files_[replacement];
    files_.erase(replacement);
    return ReplaceResult::kReplaced;
}

bool FakeFileAccess::Delete(const char* path) noexcept {
    if (Fails(kDelete)) return false;
    if (!Exists(path) || BlocksDelete(path)) return false;
    files_.erase(path);
    return true;
}

void FakeFileAccess::DeleteLeftoverTemporaries(const char* folder) noexcept {
    if (Fails(kLeftovers)) return;
    const std::string prefix = std::string(folder) + "\\";
    for (auto file = files_.begin(); file != files_.end();) {
        const std::string& path = file->first;
        const bool inFolder = path.compare(0, prefix.size(), prefix) == 0 &&
                              path.find('\\', prefix.size()) == std::string::npos;
        if (inFolder && IsLeftoverTemporaryName(path.c_str() + prefix.size()) && !BlocksDelete(path)) {
            file = files_.erase(file);
        } else {
            ++file;
        }
    }
}
