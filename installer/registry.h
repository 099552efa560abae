// The registry as the installer uses it: keys under HKEY_LOCAL_MACHINE only.
#pragma once

#include "service_handle.h"

#include <cstdint>
#include <string>

enum class KeyAccess : std::uint32_t {
    AllAccess = 0xF003F,  // KEY_ALL_ACCESS
    Read = 0x20019,       // KEY_READ
    ReadWrite = 0x2001F,  // KEY_READ | KEY_WRITE
};

class RegistryApi {
public:
    virtual ~RegistryApi() = default;
    // RegCreateKeyEx: no class, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, no security attributes.
    // No handle when it fails, as with RegOpenKeyEx, which opens an existing key only.
    virtual OsHandle CreateMachineKey(const char* subKey) noexcept = 0;
    virtual OsHandle OpenMachineKey(const char* subKey, KeyAccess access) noexcept = 0;
    // RegDeleteKey: the key with its values; it must have no subkeys.
    virtual bool DeleteMachineKey(const char* subKey) noexcept = 0;
    // REG_SZ, stored with its terminating NUL.
    virtual bool SetStringValue(OsHandle key, const char* name, const char* data) noexcept = 0;
    virtual bool DeleteValue(OsHandle key, const char* name) noexcept = 0;
    // RegQueryValueEx asking for neither type nor data.
    virtual bool ValueExists(OsHandle key, const char* name) noexcept = 0;
    // RegQueryValueEx of a REG_DWORD; false when the value is missing or of another type.
    virtual bool ReadDword(OsHandle key, const char* name, std::uint32_t& data) noexcept = 0;
    // RegQueryValueExW of a REG_MULTI_SZ into a buffer sized by a first query: its bytes as
    // stored. False when the value is missing or of another type.
    virtual bool ReadMultiString(OsHandle key, const char* name, std::string& data) noexcept = 0;
    // RegSetValueExW of a REG_MULTI_SZ, or RegDeleteValueW when data is empty.
    virtual bool WriteMultiString(OsHandle key, const char* name, const std::string& data) noexcept = 0;
    virtual void CloseKey(OsHandle key) noexcept = 0;
};

using RegistryKey = OwnedHandle<RegistryApi, &RegistryApi::CloseKey>;

// The key opened, or created, with its owner; an empty owner when that failed.
[[nodiscard]] inline RegistryKey OpenKey(RegistryApi& registry, const char* subKey, KeyAccess access) noexcept {
    return RegistryKey(registry, registry.OpenMachineKey(subKey, access));
}
[[nodiscard]] inline RegistryKey CreateKey(RegistryApi& registry, const char* subKey) noexcept {
    return RegistryKey(registry, registry.CreateMachineKey(subKey));
}

#if defined(_WIN32)
RegistryApi& WindowsRegistryApi() noexcept;
#endif
