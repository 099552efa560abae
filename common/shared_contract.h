// What the installer and the detector share: the registry names, the file names, the
// path size and the Win32 error codes their seams tell apart. Spelt here once, because
// two spellings drift apart and the two programs then stop finding each other's data.
#pragma once

#include <cstddef>
#include <cstdint>

// Paths and command lines live in buffers of this size, terminating NUL included.
constexpr std::size_t kMaxPath = 260;

// HKEY_LOCAL_MACHINE sub-key the installer writes and the detector reads.
constexpr const char* kInstallerKeyPath = "SOFTWARE\\TALMAR\\TALMAR TOUCH INSTALLER";
constexpr const char* kSettingsPathValue = "Configuration";  // full path of the settings file
constexpr const char* kToolCommandValue = "Tesvo";           // full path of the outside tool
constexpr const char* kToolRanValue = "TesvoRan";            // written by nobody; its presence is tested

// The machine-wide Run key that starts the detector at every log-on.
constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kDetectorRunValue = "TALMAR TOUCH SCREEN DETECTOR";
constexpr const char* kObsoleteRunValue = "TALMAR TOUCH SCREEN Reload";

// The detector ships as HIDWATCH.EXE; the Run value, its start and the process search
// name it in lower case. Windows file and process names ignore case: both are one file.
constexpr const char* kDetectorFileName = "HIDWATCH.EXE";
constexpr const char* kDetectorProcessName = "hidwatch.exe";
constexpr const char* kSettingsFileName = "PANELSET.TXT";

// The name (without folder) of a temporary file the detector's save makes beside the
// settings file: "pnl", one to four hexadecimal digits, ".tmp", in any case, as
// GetTempFileName forms them (Wine writes the number without leading zeros). The
// detector's next save deletes those a dead save left, and so does the uninstall.
[[nodiscard]] bool IsLeftoverTemporaryName(const char* name) noexcept;
// The pattern of such names for a folder search; it also finds files by their short
// names, so each name found is checked.
constexpr const char* kTemporaryPattern = "pnl*.tmp";

// The Win32 error codes the seams report, as numbers so that the portable code builds
// anywhere (the Windows side checks them against <windows.h>).
constexpr std::uint32_t kErrorNone = 0;
constexpr std::uint32_t kErrorFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorAccessDenied = 5;       // ERROR_ACCESS_DENIED
constexpr std::uint32_t kErrorSharingViolation = 32;  // ERROR_SHARING_VIOLATION
constexpr std::uint32_t kErrorLockViolation = 33;     // ERROR_LOCK_VIOLATION
