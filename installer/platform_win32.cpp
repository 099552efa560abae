#include "platform.h"

#include "file_system.h"
#include "processes.h"
#include "registry.h"
#include "run_context.h"

#include <windows.h>

void UseWindowsPlatform() noexcept {
    InstallerPlatform& platform = Platform();
    platform.registry = &WindowsRegistryApi();
    platform.processes = &WindowsProcessesApi();
    platform.fileSystem = &WindowsFileSystemApi();
    platform.context = &WindowsRunContextApi();
}

void RestrictDllSearch() noexcept {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    // Systems without it: at least take the current directory out of the search.
    SetDllDirectoryA("");
}
