#include "registry.h"

#include "unique_handle.h"

#include <windows.h>

// No view flag: each build uses the view of its own bitness, the same as the detector
// of that build. The shipped 32-bit installer thus writes the 32-bit view of
// HKLM\SOFTWARE under 64-bit Windows, where the shipped detector reads.

namespace {

HKEY AsKey(OsHandle key) noexcept { return static_cast<HKEY>(key); }

// The registry returns its error instead of setting it; the log reads it from GetLastError.
bool Succeeded(LONG result) noexcept {
    if (result != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(result));
    return result == ERROR_SUCCESS;
}

static_assert(static_cast<REGSAM>(KeyAccess::AllAccess) == KEY_ALL_ACCESS &&
                  static_cast<REGSAM>(KeyAccess::Read) == KEY_READ &&
                  static_cast<REGSAM>(KeyAccess::ReadWrite) == (KEY_READ | KEY_WRITE),
              "the access masks pass to Windows as they are");

class WindowsRegistry final : public RegistryApi {
public:
    OsHandle CreateMachineKey(const char* subKey) noexcept override {
        HKEY created = nullptr;
        const LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_ALL_ACCESS, nullptr, &created, nullptr);
        return Succeeded(result) ? created : nullptr;
    }
    OsHandle OpenMachineKey(const char* subKey, KeyAccess access) noexcept override {
        HKEY key = nullptr;
        const LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, static_cast<REGSAM>(access), &key);
        return Succeeded(result) ? key : nullptr;
    }
    bool DeleteMachineKey(const char* subKey) noexcept override {
        return Succeeded(RegDeleteKeyA(HKEY_LOCAL_MACHINE, subKey));
    }
    bool SetStringValue(OsHandle key, const char* name, const char* data) noexcept override {
        DWORD size = static_cast<DWORD>(lstrlenA(data) + 1);
        return Succeeded(RegSetValueExA(AsKey(key), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), size));
    }
    bool DeleteValue(OsHandle key, const char* name) noexcept override {
        return Succeeded(RegDeleteValueA(AsKey(key), name));
    }
    bool ValueExists(OsHandle key, const char* name) noexcept override {
        return RegQueryValueExA(AsKey(key), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    bool ReadDword(OsHandle key, const char* name, std::uint32_t& data) noexcept override {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        const LONG result =
            RegQueryValueExA(AsKey(key), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        data = value;
        return Succeeded(result) && type == REG_DWORD && size == sizeof value;
    }
    bool ReadMultiString(OsHandle key, const char* name, std::string& data) noexcept override {
        const std::wstring wide(name, name + lstrlenA(name));  // the value names are ASCII
        DWORD type = 0;
        DWORD size = 0;
        const LONG sized = RegQueryValueExW(AsKey(key), wide.c_str(), nullptr, &type, nullptr, &size);
        if (!Succeeded(sized)) return false;
        data.assign(size, '\0');
        auto* bytes = reinterpret_cast<BYTE*>(&data[0]);
        const LONG result = RegQueryValueExW(AsKey(key), wide.c_str(), nullptr, &type, bytes, &size);
        data.resize(size);
        return Succeeded(result) && type == REG_MULTI_SZ;
    }
    bool WriteMultiString(OsHandle key, const char* name, const std::string& data) noexcept override {
        const std::wstring wide(name, name + lstrlenA(name));
        if (data.empty()) return Succeeded(RegDeleteValueW(AsKey(key), wide.c_str()));
        const auto* bytes = reinterpret_cast<const BYTE*>(data.data());
        const auto size = static_cast<DWORD>(data.size());
        return Succeeded(RegSetValueExW(AsKey(key), wide.c_str(), 0, REG_MULTI_SZ, bytes, size));
    }
    void CloseKey(OsHandle key) noexcept override {
        CloseKeepingLastError(AsKey(key), RegCloseKey);
    }
};

}  // namespace

RegistryApi& WindowsRegistryApi() noexcept {
    static WindowsRegistry registry;
    return registry;
}
