// The installer's platform services, process-wide because its entry points take only a command
// line: the program's start fills it with the Windows services, tests with their own.
#pragma once

class RegistryApi;
class ProcessesApi;
class FileSystemApi;
class RunContextApi;

struct InstallerPlatform {
    RegistryApi* registry = nullptr;
    ProcessesApi* processes = nullptr;
    FileSystemApi* fileSystem = nullptr;
    RunContextApi* context = nullptr;
};

InstallerPlatform& Platform() noexcept;

#if defined(_WIN32)
// Points Platform() at the Windows implementations.
void UseWindowsPlatform() noexcept;
// The installer runs elevated from whatever folder it was unpacked into, so a DLL planted
// there must never load: from here on only the system folder is searched. Call it first.
void RestrictDllSearch() noexcept;
#endif
