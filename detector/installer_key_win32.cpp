#include "installer_key.h"

#include <windows.h>

RegistryInstallerKey::RegistryInstallerKey(HKEY root, const char* subKey) noexcept
    : root_(root), subKey_(subKey) {}

bool RegistryInstallerKey::Open() noexcept {
    return RegOpenKeyExA(root_, subKey_, 0, KEY_READ, key_.Receive()) == ERROR_SUCCESS;
}

bool RegistryInstallerKey::QueryValue(const char* name, char* buffer, std::uint32_t* size) noexcept {
    if (!key_) return false;
    DWORD bytes = *size;
    if (RegQueryValueExA(key_.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS) {
        return false;
    }
    *size = bytes;
    return true;
}

void RegistryInstallerKey::Close() noexcept { key_.Reset(); }
