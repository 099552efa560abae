// Seven SetValue and seven GetValue calls through one accessor on settings files
// of 10, 100 and 1,000 lines, reading in blocks and (for comparison) one byte per
// read call. Prints the median milliseconds and read calls per operation.
//   settings_file_bench [runs]
// Natively the files live in a temporary folder behind a small POSIX stand-in for
// the file seam; the Windows build uses the real Win32 calls.
#include "file_access.h"
#include "replace_retry.h"
#include "settings_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
// Just enough POSIX to run the accessor on real files natively.
class PosixFiles final : public FileAccess {
public:
    OsHandle OpenForReading(const char* path) noexcept override {
        const int fd = open(path, O_RDONLY);
        return AsHandle(fd);
    }
    bool Read(OsHandle file, char* buffer, std::size_t size, std::size_t* got) noexcept override {
        const ssize_t n = read(Fd(file), buffer, size);
        *got = n > 0 ? static_cast<std::size_t>(n) : 0;
        return n >= 0;
    }
    bool Seek(OsHandle file, std::uint64_t offset) noexcept override {
        return lseek(Fd(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
    }
    OsHandle CreateTemporary(const char* folder, char* tempPath, std::size_t size) noexcept override {
        if (std::snprintf(tempPath, size, "%s/pnlXXXXXX", folder) >= static_cast<int>(size)) return nullptr;
        const int fd = mkstemp(tempPath);
        return AsHandle(fd);
    }
    bool Write(OsHandle file, const char* data, std::size_t size) noexcept override {
        while (size > 0) {
            const ssize_t n = write(Fd(file), data, size);
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Flush(OsHandle file) noexcept override { return fsync(Fd(file)) == 0; }
    void Close(OsHandle file) noexcept override { close(Fd(file)); }
    ReplaceResult Replace(const char* target, const char* replacement) noexcept override {
        struct stat existing;
        if (stat(target, &existing) != 0) return ReplaceResult::kFailed;  // never create it
        return rename(replacement, target) == 0 ? ReplaceResult::kReplaced : ReplaceResult::kFailed;
    }
    bool Delete(const char* path) noexcept override { return unlink(path) == 0; }
    void DeleteLeftoverTemporaries(const char* folder) noexcept override {
        // mkstemp's names are not the Windows ones: nothing here is ever left over
        // by a dead Windows rewrite, but the folder is still looked through.
        DIR* dir = opendir(folder);
        if (dir == nullptr) return;
        while (const dirent* entry = readdir(dir)) {
            if (IsLeftoverTemporaryName(entry->d_name)) unlinkat(dirfd(dir), entry->d_name, 0);
        }
        closedir(dir);
    }

private:
    // The descriptor plus one, so that descriptor 0 is a valid handle.
    static OsHandle AsHandle(int fd) {
        return fd < 0 ? nullptr : reinterpret_cast<OsHandle>(static_cast<std::intptr_t>(fd) + 1);
    }
    static int Fd(OsHandle file) { return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1); }
};
#endif

// Counts read calls and, for the comparison, hands out one byte per call.
class CountingFiles final : public FileAccess {
public:
    CountingFiles(FileAccess& inner, bool bytePerRead) : inner_(inner), bytePerRead_(bytePerRead) {}
    long reads = 0;

    OsHandle OpenForReading(const char* path) noexcept override { return inner_.OpenForReading(path); }
    bool Read(OsHandle file, char* buffer, std::size_t size, std::size_t* got) noexcept override {
        ++reads;
        return inner_.Read(file, buffer, bytePerRead_ ? 1 : size, got);
    }
    bool Seek(OsHandle file, std::uint64_t offset) noexcept override { return inner_.Seek(file, offset); }
    OsHandle CreateTemporary(const char* folder, char* tempPath, std::size_t size) noexcept override {
        return inner_.CreateTemporary(folder, tempPath, size);
    }
    bool Write(OsHandle file, const char* data, std::size_t size) noexcept override {
        return inner_.Write(file, data, size);
    }
    bool Flush(OsHandle file) noexcept override { return inner_.Flush(file); }
    void Close(OsHandle file) noexcept override { inner_.Close(file); }
    ReplaceResult Replace(const char* target, const char* replacement) noexcept override {
        return inner_.Replace(target, replacement);
    }
    bool Delete(const char* path) noexcept override { return inner_.Delete(path); }
    void DeleteLeftoverTemporaries(const char* folder) noexcept override { inner_.DeleteLeftoverTemporaries(folder); }

private:
    FileAccess& inner_;
    bool bytePerRead_;
};

const char* const kKeys[] = {"Beeper Function", "Beeper Routing", "Frequency", "Duration",
                             "Double Click Area", "Double Click Speed", "Touch Mode"};

// lines lines in all: notes and other settings first, the seven keys last, so
// that every lookup scans the whole file.
std::string MakeContent(int lines) {
    std::string content;
    for (int i = 0; i < lines - 7; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, i % 3 == 0 ? "; note %d about the settings\r\n" : "Other %d=%d\r\n", i, i);
        content += line;
    }
    for (const char* key : kKeys) content += std::string(key) + "=1\r\n";
    return content;
}

bool StoreFile(const std::string& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && ok;
}

std::string MakeFolder() {
#if defined(_WIN32)
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "orva_bench_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
#else
    char folder[] = "/tmp/orva_bench_XXXXXX";
    return mkdtemp(folder) != nullptr ? folder : "";
#endif
}

void RemoveFolder(const std::string& folder, const std::string& path) {
    std::remove(path.c_str());
#if defined(_WIN32)
    RemoveDirectoryA(folder.c_str());
#else
    rmdir(folder.c_str());
#endif
}

struct Sample {
    double setMs = 0;
    double getMs = 0;
    double setReads = 0;
    double getReads = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
#if defined(_WIN32)
    FileAccess& system = WindowsFileAccess();
    const char* where = "Win32";
    const char* separator = "\\";
#else
    PosixFiles posix;
    FileAccess& system = posix;
    const char* where = "native";
    const char* separator = "/";
#endif
    const std::string folder = MakeFolder();
    if (folder.empty()) return 1;
    const std::string path = folder + separator + "PANELSET.TXT";

    std::printf("settings file benchmark (%s), median of %d runs, per operation\n", where, runs);
    std::printf("%6s  %-14s  %10s  %10s  %10s  %10s\n", "lines", "reading", "set ms", "set reads", "get ms",
                "get reads");
    for (int lines : {10, 100, 1000}) {
        const std::string content = MakeContent(lines);
        for (bool bytePerRead : {false, true}) {
            std::vector<double> setMs, getMs, setReads, getReads;
            for (int run = 0; run < runs; ++run) {
                if (!StoreFile(path, content)) return 1;
                CountingFiles files(system, bytePerRead);
                SettingsFile settings(path.c_str(), files);
                if (settings.GetStatus() != 0) return 1;
                auto start = std::chrono::steady_clock::now();
                for (std::uint32_t i = 0; i < 7; ++i) {
                    settings.value.number = 1000 + i;
                    if (!settings.SetValue(kKeys[i], kFormatDecimal)) return 2;
                }
                auto middle = std::chrono::steady_clock::now();
                const long readsAfterSets = files.reads;
                for (std::uint32_t i = 0; i < 7; ++i) {
                    if (!settings.GetValue(kKeys[i], kFormatDecimal) || settings.value.number != 1000 + i) return 3;
                }
                auto end = std::chrono::steady_clock::now();
                setMs.push_back(std::chrono::duration<double, std::milli>(middle - start).count() / 7);
                getMs.push_back(std::chrono::duration<double, std::milli>(end - middle).count() / 7);
                setReads.push_back(readsAfterSets / 7.0);
                getReads.push_back((files.reads - readsAfterSets) / 7.0);
            }
            std::printf("%6d  %-14s  %10.3f  %10.1f  %10.3f  %10.1f\n", lines,
                        bytePerRead ? "byte per call" : "blocks", Median(setMs), Median(setReads), Median(getMs),
                        Median(getReads));
        }
    }
    RemoveFolder(folder, path);
    return 0;
}
