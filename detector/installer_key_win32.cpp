#include "installer_key.h"

#include "unique_handle.h"

#include <windows.h>

#include <utility>

RegistryInstallerKey::RegistryInstallerKey() noexcept
    : RegistryInstallerKey(HKEY_LOCAL_MACHINE, kInstallerKeyPath) {}

RegistryInstallerKey::RegistryInstallerKey(HKEY root, const char* subKey) noexcept
    : root_(root), subKey_(subKey) {}

RegistryInstallerKey::~RegistryInstallerKey() { Close(); }

bool RegistryInstallerKey::Open() noexcept {
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, subKey_, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    key_ = key;
    return true;
}

bool RegistryInstallerKey::QueryValue(const char* name, char* buffer, std::uint32_t* size) noexcept {
    if (key_ == nullptr) return false;
    DWORD bytes = *size;
    // No type is asked for: the text is used as stored, whatever its type.
    if (RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS) {
        return false;
    }
    *size = bytes;
    return true;
}

void RegistryInstallerKey::Close() noexcept {
    if (key_ == nullptr) return;
    CloseKeepingLastError(std::exchange(key_, nullptr), RegCloseKey);
}
