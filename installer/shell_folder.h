// The installer's folders as Windows reports them.
#pragma once

#include "shared_contract.h"

#include <cstdint>

class ShellFolderApi {
public:
    virtual ~ShellFolderApi() = default;
    // SHGetFolderPath(CSIDL_PROGRAM_FILES, no owner, no token, SHGFP_TYPE_CURRENT).
    virtual bool ProgramFilesFolder(char (&folder)[kMaxPath]) noexcept = 0;
    // GetModuleFileName of the running executable: the count it returns, which
    // equals the buffer size when the path was cut short.
    virtual std::uint32_t ModuleFileName(char (&path)[kMaxPath]) noexcept = 0;
    // PathRemoveFileSpec: drops the last element; a drive root keeps its backslash.
    virtual void RemoveFileSpec(char (&path)[kMaxPath]) noexcept = 0;
    // GetSystemDirectory: where the command interpreter is taken from. Fails, leaving
    // folder empty, when the folder does not fit.
    virtual bool SystemFolder(char (&folder)[kMaxPath]) noexcept = 0;
};

#if defined(_WIN32)
ShellFolderApi& WindowsShellFolderApi() noexcept;
#endif
