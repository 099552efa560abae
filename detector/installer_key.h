// Reading the installer key: the two values the detector needs before it can
// watch, each as NUL-terminated text in a fixed 260-byte buffer.
#pragma once

#include "shared_contract.h"

#include <cstddef>
#include <cstdint>

// The registry as the key reading sees it: one key opened for reading, values
// read as raw bytes, the key closed. The value's registry type is never asked for,
// so REG_EXPAND_SZ text arrives unexpanded.
class InstallerKeyStore {
public:
    virtual ~InstallerKeyStore() = default;
    [[nodiscard]] virtual bool Open() noexcept = 0;
    // Reads the named value's data into buffer. On entry *size is the capacity;
    // on success it is the number of bytes stored. False when the value is
    // missing or its data is larger than the capacity.
    [[nodiscard]] virtual bool QueryValue(const char* name, char* buffer, std::uint32_t* size) noexcept = 0;
    virtual void Close() noexcept = 0;
};

// Makes the size bytes read into a buffer of the given capacity a terminated
// string. Data holding a NUL already is text as stored; data without one gets a
// NUL after it when there is room. Data that fills the whole buffer without a
// NUL has no room for one and is refused, like a value that is too long.
[[nodiscard]] bool TerminateRegistryText(char* buffer, std::size_t capacity, std::uint32_t size) noexcept;

// Opens the key, reads kToolCommandValue into toolCommand and kSettingsPathValue into
// settingsPath, and closes the key. False when the key or either value is
// missing, too long or cannot be terminated; the buffers then hold no defined text.
[[nodiscard]] bool ReadInstallerKey(InstallerKeyStore& store,
                                    char (&toolCommand)[kMaxPath],
                                    char (&settingsPath)[kMaxPath]) noexcept;

#if defined(_WIN32)
#include "unique_handle.h"

// The real registry. Tests point it at a scratch key; the detector uses the
// installer key under HKEY_LOCAL_MACHINE.
class RegistryInstallerKey final : public InstallerKeyStore {
public:
    explicit RegistryInstallerKey(HKEY root = HKEY_LOCAL_MACHINE,
                                  const char* subKey = kInstallerKeyPath) noexcept;

    [[nodiscard]] bool Open() noexcept override;
    [[nodiscard]] bool QueryValue(const char* name, char* buffer, std::uint32_t* size) noexcept override;
    void Close() noexcept override;

private:
    HKEY root_;
    const char* subKey_;
    UniqueRegKey key_;
};
#endif
