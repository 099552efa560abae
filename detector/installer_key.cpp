#include "installer_key.h"

#include <cstring>

bool TerminateRegistryText(char* buffer, std::size_t capacity, std::uint32_t size) noexcept {
    if (size > capacity) return false;
    if (std::memchr(buffer, '\0', size) != nullptr) return true;
    if (size == capacity) return false;
    buffer[size] = '\0';
    return true;
}

namespace {

[[nodiscard]] bool ReadText(InstallerKeyStore& store, const char* name, char (&text)[kMaxPath]) noexcept {
    std::uint32_t size = kMaxPath;
    if (!store.QueryValue(name, text, &size)) return false;
    return TerminateRegistryText(text, kMaxPath, size);
}

}  // namespace

bool ReadInstallerKey(InstallerKeyStore& store,
                      char (&toolCommand)[kMaxPath],
                      char (&settingsPath)[kMaxPath]) noexcept {
    if (!store.Open()) return false;
    const bool read = ReadText(store, kToolCommandValue, toolCommand) &&
                      ReadText(store, kSettingsPathValue, settingsPath);
    store.Close();
    return read;
}
