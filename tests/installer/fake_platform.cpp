#include "fake_platform.h"

#include "entry.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

OsHandle MakeHandle(std::uintptr_t value) { return reinterpret_cast<OsHandle>(value); }

std::string Pid(std::uint32_t processId) { return std::to_string(processId); }

void Fill(char (&buffer)[kMaxPath], const std::string& text) {
    std::size_t length = text.size() < kMaxPath ? text.size() : kMaxPath - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

const OsHandle kSnapshotHandle = MakeHandle(0x55);
constexpr std::uintptr_t kProcessHandleBase = 0x10000;

std::uint32_t ProcessIdOf(OsHandle handle) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle) - kProcessHandleBase);
}

}  // namespace

std::string* FakeRegistry::KeyOf(OsHandle key) {
    auto found = open_.find(key);
    return found == open_.end() ? nullptr : &found->second;
}

OsHandle FakeRegistry::CreateMachineKey(const char* subKey) noexcept {
    log_.push_back(std::string("create ") + subKey);
    if (failingKeys.count(subKey)) return nullptr;
    keys[subKey];
    OsHandle key = MakeHandle(nextHandle_++);
    open_[key] = subKey;
    return key;
}

OsHandle FakeRegistry::OpenMachineKey(const char* subKey, KeyAccess) noexcept {
    log_.push_back(std::string("open ") + subKey);
    if (failingKeys.count(subKey) || !keys.count(subKey)) return nullptr;
    OsHandle key = MakeHandle(nextHandle_++);
    open_[key] = subKey;
    return key;
}

bool FakeRegistry::DeleteMachineKey(const char* subKey) noexcept {
    log_.push_back(std::string("delete key ") + subKey);
    // RegDeleteKey refuses a key with subkeys.
    const std::string below = std::string(subKey) + "\\";
    for (const auto& key : keys) {
        if (key.first.rfind(below, 0) == 0) return false;
    }
    return keys.erase(subKey) == 1;
}

bool FakeRegistry::SetStringValue(OsHandle key, const char* name, const char* data) noexcept {
    std::string* subKey = KeyOf(key);
    log_.push_back(std::string("set ") + name + "=" + data);
    if (!subKey) return false;
    keys[*subKey][name] = data;
    return true;
}

bool FakeRegistry::DeleteValue(OsHandle key, const char* name) noexcept {
    std::string* subKey = KeyOf(key);
    log_.push_back(std::string("delete value ") + name);
    return subKey && keys[*subKey].erase(name) == 1;
}

bool FakeRegistry::ValueExists(OsHandle key, const char* name) noexcept {
    std::string* subKey = KeyOf(key);
    log_.push_back(std::string("query ") + name);
    return subKey && keys[*subKey].count(name) == 1;
}

bool FakeRegistry::ReadDword(OsHandle key, const char* name, std::uint32_t& data) noexcept {
    std::string* subKey = KeyOf(key);
    if (!subKey || !dwords[*subKey].count(name)) return false;
    data = dwords[*subKey][name];
    return true;
}

bool FakeRegistry::ReadMultiString(OsHandle key, const char* name, std::string& data) noexcept {
    std::string* subKey = KeyOf(key);
    if (!subKey || !multiStrings[*subKey].count(name)) return false;
    if (!changesBeforeReads.empty()) {
        multiStrings[*subKey][name] = changesBeforeReads.front();
        changesBeforeReads.erase(changesBeforeReads.begin());
    }
    data = multiStrings[*subKey][name];
    return true;
}

bool FakeRegistry::WriteMultiString(OsHandle key, const char* name, const std::string& data) noexcept {
    std::string* subKey = KeyOf(key);
    log_.push_back(std::string(data.empty() ? "delete multi-string " : "write multi-string ") + name);
    if (!subKey) return false;
    if (data.empty()) return multiStrings[*subKey].erase(name) == 1;
    multiStrings[*subKey][name] = data;
    return true;
}

void FakeRegistry::CloseKey(OsHandle key) noexcept {
    std::string* subKey = KeyOf(key);
    if (!subKey) {
        ++badCloses;
        return;
    }
    log_.push_back("close " + *subKey);
    open_.erase(key);
}

OsHandle FakeProcesses::TakeSnapshot() noexcept {
    log_.push_back("snapshot");
    if (snapshotFails) return MakeHandle(static_cast<std::uintptr_t>(-1));
    snapshotOpen = true;
    return kSnapshotHandle;
}

bool FakeProcesses::ReadProcess(OsHandle snapshot, bool first, ProcessEntry& entry) noexcept {
    if (first) cursor_ = 0;
    if (snapshot != kSnapshotHandle || cursor_ >= table.size()) return false;
    const FakeProcess& process = table[cursor_++];
    entry.processId = process.processId;
    Fill(entry.exeFile, process.exeFile);
    return true;
}

FakeProcess* FakeProcesses::Find(std::uint32_t processId) {
    for (FakeProcess& process : table) {
        if (process.processId == processId) return &process;
    }
    return nullptr;
}

OsHandle FakeProcesses::OpenForTermination(std::uint32_t processId) noexcept {
    log_.push_back("open " + Pid(processId));
    if (!debugPrivilegeOn) ++opensWithoutDebugPrivilege;
    FakeProcess* process = Find(processId);
    if (!process || !process->canOpen) return nullptr;
    openProcesses.insert(processId);
    return MakeHandle(kProcessHandleBase + processId);
}

bool FakeProcesses::ImageName(OsHandle handle, char (&path)[kMaxPath]) noexcept {
    const FakeProcess* process = Find(ProcessIdOf(handle));
    if (!process || !openProcesses.count(process->processId) || !process->imageReadable) return false;
    Fill(path, process->image.empty() ? "C:\\Program Files\\OrvaPanels\\" + process->exeFile : process->image);
    return true;
}

// The token that turns the privilege off again.
const OsHandle kPrivilegeToken = MakeHandle(0x77);

OsHandle FakeProcesses::EnableDebugPrivilege() noexcept {
    if (!debugPrivilege || debugPrivilegeOn) return nullptr;
    debugPrivilegeOn = true;
    return kPrivilegeToken;
}

bool FakeProcesses::DisableDebugPrivilege(OsHandle token) noexcept {
    if (token != kPrivilegeToken || !debugPrivilegeOn) ++badCloses;
    debugPrivilegeOn = debugPrivilegeStaysOn;
    return !debugPrivilegeStaysOn;
}

OsHandle FakeProcesses::SessionUserToken(std::uint32_t session) noexcept {
    return sessionsWithToken.count(session) ? *openHandles.insert(MakeHandle(0x5000 + session)).first : nullptr;
}

OsHandle FakeProcesses::ShellUserToken() noexcept {
    log_.push_back(std::string("shell token, debug privilege ") + (debugPrivilegeOn ? "on" : "off"));
    if (!shellToken) return nullptr;
    const OsHandle token = MakeHandle(nextHandle_++);
    openHandles.insert(token);
    return token;
}

bool FakeProcesses::ReadExitCode(OsHandle handle, std::uint32_t& exitCode) noexcept {
    log_.push_back("exit code " + Pid(ProcessIdOf(handle)));
    FakeProcess* process = Find(ProcessIdOf(handle));
    if (!process || !openProcesses.count(process->processId)) return false;
    exitCode = process->exitCode;
    return true;
}

bool FakeProcesses::TerminateWithCode(OsHandle handle, std::uint32_t exitCode) noexcept {
    log_.push_back("terminate " + Pid(ProcessIdOf(handle)));
    ++terminateCalls;
    FakeProcess* process = Find(ProcessIdOf(handle));
    if (!process || process->alreadyEnded) return false;
    if (process->terminationsToEnd > 0 && --process->terminationsToEnd == 0) process->exitCode = exitCode;
    return true;
}

bool FakeProcesses::WaitForEnd(OsHandle handle, std::uint32_t) noexcept {
    log_.push_back("wait " + Pid(ProcessIdOf(handle)));
    FakeProcess* process = Find(ProcessIdOf(handle));
    if (!process) return false;
    return process->alreadyEnded || (process->signalsEnd && process->exitCode != kStillActive);
}

void FakeProcesses::Close(OsHandle handle) noexcept {
    if (openHandles.erase(handle) == 1) {
        log_.push_back("close handle");
        return;
    }
    if (handle == kSnapshotHandle) {
        if (!snapshotOpen) ++badCloses;
        snapshotOpen = false;
        log_.push_back("close snapshot");
        return;
    }
    std::uint32_t processId = ProcessIdOf(handle);
    if (openProcesses.erase(processId) == 0) ++badCloses;
    log_.push_back("close " + Pid(processId));
}

bool FakeProcesses::Launch(const char* commandLine, const char* currentDirectory, const LaunchOptions& options,
                          ProcessInformation& processInfo) noexcept {
    log_.push_back(std::string("launch ") + commandLine + " in " + currentDirectory);
    launches.push_back({options.application ? options.application : "", commandLine, options.noWindow,
                        options.userToken != nullptr && !options.inSession, debugPrivilegeOn});
    const auto session = reinterpret_cast<std::uintptr_t>(options.userToken) - 0x5000;  // SessionUserToken's
    if (options.inSession) log_.back() += " in session " + std::to_string(session);
    if (launchFails || (options.userToken && tokenLaunchFails) ||
        (options.inSession && session == failingSessionLaunch)) {
        return false;
    }
    if (onLaunch) onLaunch(commandLine);
    processInfo.process = MakeHandle(nextHandle_++);
    processInfo.thread = MakeHandle(nextHandle_++);
    openHandles.insert(processInfo.process);
    openHandles.insert(processInfo.thread);
    return true;
}

std::uint32_t FakeProcesses::WaitUntilEnded(OsHandle) noexcept {
    log_.push_back("wait until ended");
    return exitCode;
}

void FakeProcesses::Pause(std::uint32_t milliseconds) noexcept {
    log_.push_back("pause " + std::to_string(milliseconds));
}

bool FakeRunContext::ProgramFilesFolder(char (&folder)[kMaxPath]) noexcept {
    log_.push_back("program files");
    Fill(folder, programFiles);
    return !programFiles.empty();
}

std::uint32_t FakeRunContext::ModuleFileName(char (&path)[kMaxPath]) noexcept {
    log_.push_back("module path");
    Fill(path, modulePath);
    return moduleCut ? static_cast<std::uint32_t>(kMaxPath) : static_cast<std::uint32_t>(std::strlen(path));
}

void FakeRunContext::RemoveFileSpec(char (&path)[kMaxPath]) noexcept {
    // Enough of the real thing for drive-letter paths: "C:\x" keeps "C:\".
    char* last = std::strrchr(path, '\\');
    if (!last) return;
    if (last == path + 2 && path[1] == ':') last[1] = '\0';
    else *last = '\0';
}

bool FakeRunContext::SystemFolder(char (&folder)[kMaxPath]) noexcept {
    log_.push_back("system folder");
    Fill(folder, systemFolder);
    return !systemFolder.empty();
}

std::string FakeFileSystem::ParentOf(const std::string& path) {
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool FakeFileSystem::CreateFolder(const char* path) noexcept {
    log_.push_back(std::string("create folder ") + path);
    if (folders.count(path) || !folders.count(ParentOf(path))) return false;
    folders.insert(path);
    return true;
}

bool FakeFileSystem::CopyFileReplacing(const char* source, const char* target) noexcept {
    log_.push_back(std::string("copy ") + source + " to " + target);
    auto found = files.find(source);
    if (found == files.end() || !folders.count(ParentOf(target))) return false;
    auto busy = targetBusyFor.find(target);
    if (busy != targetBusyFor.end() && busy->second > 0) {
        --busy->second;
        return false;
    }
    if (attributes[target] & (kReadOnly | kHidden)) return false;
    files[target] = found->second;
    attributes[target] = attributes[source];
    return true;
}

bool FakeFileSystem::SetCurrentFolder(const char* path) noexcept {
    log_.push_back(std::string("current folder ") + path);
    if (!folders.count(path)) return false;
    currentFolder = path;
    return true;
}

bool FakeFileSystem::RemoveFile(const char* path) noexcept {
    log_.push_back(std::string("delete file ") + path);
    for (const auto& entry : held) {
        if (entry.second == path) return false;
    }
    if (attributes[path] & kReadOnly) return false;
    attributes.erase(path);
    return files.erase(path) == 1;
}

void FakeFileSystem::ClearReadOnlyAndHidden(const char* path) noexcept {
    if (files.count(path)) attributes[path] &= ~(kReadOnly | kHidden);
}

namespace {

// A folder search's wildcards, "*" and "?", ignoring case.
bool Matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Matches(pattern + 1, name) || (*name != '\0' && Matches(pattern, name + 1));
    return *name != '\0' && (*pattern == '?' || std::toupper(static_cast<unsigned char>(*pattern)) ==
                                                      std::toupper(static_cast<unsigned char>(*name))) &&
           Matches(pattern + 1, name + 1);
}

}  // namespace

void FakeFileSystem::ForEachFile(const char* pattern, void (*visit)(const char* name)) noexcept {
    log_.push_back(std::string("find ") + pattern);
    const std::string folder = ParentOf(pattern);
    const std::string namePattern = std::string(pattern).substr(folder.size() + 1);
    std::vector<std::string> found;  // before any visit, which may delete
    for (const auto& file : files) {
        if (ParentOf(file.first) != folder) continue;
        const std::string name = file.first.substr(folder.size() + 1);
        const auto shortName = shortNames.find(file.first);
        if (Matches(namePattern.c_str(), name.c_str()) ||
            (shortName != shortNames.end() && Matches(namePattern.c_str(), shortName->second.c_str()))) {
            found.push_back(name);
        }
    }
    for (const std::string& name : found) visit(name.c_str());
}

// The tests' paths are ASCII, the same in every code page.
bool FakeFileSystem::WidePath(const char* path, std::u16string& wide) noexcept {
    wide.assign(path, path + std::strlen(path));
    return true;
}

bool FakeFileSystem::RemoveAtRestart(const char* path) noexcept {
    log_.push_back(std::string("delete at restart ") + path);
    return true;
}

// The codes Windows reports in the same cases.
std::uint32_t FakeFileSystem::RemoveFolder(const char* path) noexcept {
    log_.push_back(std::string("remove folder ") + path);
    if (!folders.count(path)) return folders.count(ParentOf(path)) ? kErrorFileNotFound : kErrorPathNotFound;
    if (currentFolder == path) return kErrorSharingViolation;
    if (folderBusyFor > 0) {
        --folderBusyFor;
        return folderBusyError;
    }
    for (const auto& file : files) {
        if (ParentOf(file.first) == path) return kErrorDirNotEmpty;
    }
    for (const std::string& folder : folders) {
        if (ParentOf(folder) == path) return kErrorDirNotEmpty;
    }
    folders.erase(path);
    return kErrorNone;
}

OsHandle FakeFileSystem::OpenHeldAgainstDeletion(const char* path) noexcept {
    log_.push_back(std::string("hold ") + path);
    if (!files.count(path)) return MakeHandle(static_cast<std::uintptr_t>(-1));
    OsHandle handle = MakeHandle(nextHandle_++);
    held[handle] = path;
    return handle;
}

void FakeFileSystem::Close(OsHandle file) noexcept {
    auto found = held.find(file);
    if (found == held.end()) {
        ++badCloses;
        return;
    }
    log_.push_back("release " + found->second);
    held.erase(found);
}

void FakeRunContext::AccountName(char (&name)[kMaxPath]) noexcept { Fill(name, system ? "SYSTEM" : "me"); }

void FakeRunContext::LocalTime(char (&text)[32]) noexcept {
    std::memcpy(text, "2026-12-09T08:12:36+01:00", sizeof "2026-12-09T08:12:36+01:00");
}

void FakeRunContext::AppendLog(const char* text) noexcept {
    if (!logOpen) return;
    std::string line = text;
    // Every line ends in CR LF; kept without it here.
    lines.push_back(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0 ? line.substr(0, line.size() - 2)
                                                                                      : "unterminated: " + line);
}

std::uint32_t FakeRunContext::WaitForInstallLock(std::uint32_t milliseconds, OsHandle& mutex) noexcept {
    log_.push_back("wait " + std::to_string(milliseconds) + " ms for the installers' mutex");
    mutex = reinterpret_cast<OsHandle>(0x4242);
    return lockWait;
}

bool FakeRunContext::Logged(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

namespace {

void ClearInstallerState() {
    installerState.installerKeyHandle.Reset();
    // As the start-up leaves it with FakeRunContext's folder.
    (void)CopyWhole(installerState.programFilesFolder, "C:\\Program Files (x86)");
    installerState.sourceFolder[0] = '\0';
    installerState.installFolder[0] = '\0';
    installerState.outcome = RunOutcome{};
}

}  // namespace

FakePlatform::FakePlatform() : saved_(Platform()) {
    ClearInstallerState();
    Platform() = InstallerPlatform{&registry, &processes, &fileSystem, &context};
    processes.files = &fileSystem.files;
}

FakePlatform::~FakePlatform() {
    ClearInstallerState();
    Platform() = saved_;
}
