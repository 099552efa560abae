// Reading the installer key: over an in-memory store everywhere, and in the
// Windows build also over the real registry (a scratch key under HKCU), so the
// registry's own handling of sizes, missing NULs and REG_EXPAND_SZ is covered.
#include "installer_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// A value as stored: raw bytes, NUL included or not.
struct StoredValue {
    std::string bytes;
    bool expandable = false;  // REG_EXPAND_SZ instead of REG_SZ
};

// What a test case puts into the registry before the detector reads it.
struct KeyContents {
    bool keyExists = true;
    std::map<std::string, StoredValue> values;
};

// A store the test can fill, plus the seam the detector reads through.
class TestStore {
public:
    virtual ~TestStore() = default;
    virtual const char* Name() const = 0;
    virtual void Fill(const KeyContents& contents) = 0;
    virtual InstallerKeyStore& Seam() = 0;
    virtual int OpenCount() const { return -1; }  // -1: not counted
    virtual int CloseCount() const { return -1; }
};

class MemoryStore final : public TestStore, public InstallerKeyStore {
public:
    const char* Name() const override { return "memory"; }
    void Fill(const KeyContents& contents) override { contents_ = contents; }
    InstallerKeyStore& Seam() override { return *this; }
    int OpenCount() const override { return opens_; }
    int CloseCount() const override { return closes_; }

    bool Open() noexcept override {
        if (!contents_.keyExists) return false;
        ++opens_;
        return true;
    }
    // Like RegQueryValueEx: a value larger than the capacity is not read.
    bool QueryValue(const char* name, char* buffer, std::uint32_t* size) noexcept override {
        const auto found = contents_.values.find(name);
        if (found == contents_.values.end()) return false;
        const std::string& bytes = found->second.bytes;
        if (bytes.size() > *size) return false;
        std::memcpy(buffer, bytes.data(), bytes.size());
        *size = static_cast<std::uint32_t>(bytes.size());
        return true;
    }
    void Close() noexcept override { ++closes_; }

private:
    KeyContents contents_;
    int opens_ = 0;
    int closes_ = 0;
};

#if defined(_WIN32)
// A scratch key of this process's own under HKEY_CURRENT_USER.
class RegistryStore final : public TestStore {
public:
    RegistryStore() : path_("Software\\OrvaInstallerKeyTest\\" + std::to_string(GetCurrentProcessId())),
                      seam_(HKEY_CURRENT_USER, path_.c_str()) {}
    ~RegistryStore() override { RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str()); }
    const char* Name() const override { return "registry"; }
    InstallerKeyStore& Seam() override { return seam_; }

    void Fill(const KeyContents& contents) override {
        RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        if (!contents.keyExists) return;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        for (const auto& [name, value] : contents.values) {
            EXPECT_EQ(ERROR_SUCCESS,
                      RegSetValueExA(key, name.c_str(), 0, value.expandable ? REG_EXPAND_SZ : REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.bytes.data()),
                                     static_cast<DWORD>(value.bytes.size())));
        }
        RegCloseKey(key);
    }

private:
    std::string path_;
    RegistryInstallerKey seam_;
};
#endif

std::vector<std::unique_ptr<TestStore>> AllStores() {
    std::vector<std::unique_ptr<TestStore>> stores;
    stores.push_back(std::make_unique<MemoryStore>());
#if defined(_WIN32)
    stores.push_back(std::make_unique<RegistryStore>());
#endif
    return stores;
}

std::string WithNul(const std::string& text) { return text + std::string(1, '\0'); }

struct KeyCase {
    const char* name;
    KeyContents contents;
    bool read;
    std::string toolCommand;  // expected texts when read
    std::string settingsPath;
};

const std::string kTool = "C:\\Program Files (x86)\\Orva\\Tesvo.exe";
const std::string kSettings = "C:\\Program Files (x86)\\Orva\\PANELSET.TXT";
const std::string k259(259, 'a');
const std::string k260(260, 'b');

KeyContents Values(const StoredValue& tool, const StoredValue& settings) {
    KeyContents contents;
    contents.values["Tesvo"] = tool;
    contents.values["Configuration"] = settings;
    return contents;
}

KeyContents OnlyValue(const char* name, const StoredValue& value) {
    KeyContents contents;
    contents.values[name] = value;
    return contents;
}

std::vector<KeyCase> KeyCases() {
    KeyContents noKey;
    noKey.keyExists = false;
    KeyContents emptyKey;
    return {
        {"both values as the installer stores them", Values({WithNul(kTool)}, {WithNul(kSettings)}), true, kTool, kSettings},
        {"no key", noKey, false, "", ""},
        {"key without values", emptyKey, false, "", ""},
        {"no Tesvo", OnlyValue("Configuration", {WithNul(kSettings)}), false, "", ""},
        {"no Configuration", OnlyValue("Tesvo", {WithNul(kTool)}), false, "", ""},
        {"empty values with their NUL", Values({WithNul("")}, {WithNul("")}), true, "", ""},
        {"empty values without data", Values({""}, {""}), true, "", ""},
        {"260 bytes with the NUL", Values({WithNul(k259)}, {WithNul(k259)}), true, k259, k259},
        {"261 bytes in Tesvo", Values({WithNul(k260)}, {WithNul(kSettings)}), false, "", ""},
        {"261 bytes in Configuration", Values({WithNul(kTool)}, {WithNul(k260)}), false, "", ""},
        {"stored without NUL", Values({kTool}, {kSettings}), true, kTool, kSettings},
        {"259 bytes without NUL", Values({k259}, {k259}), true, k259, k259},
        {"260 bytes without NUL in Tesvo", Values({k260}, {WithNul(kSettings)}), false, "", ""},
        {"260 bytes without NUL in Configuration", Values({WithNul(kTool)}, {k260}), false, "", ""},
        {"REG_EXPAND_SZ read unexpanded",
         Values({WithNul("%SystemRoot%\\Tesvo.exe"), true}, {WithNul("%ProgramFiles%\\PANELSET.TXT"), true}),
         true, "%SystemRoot%\\Tesvo.exe", "%ProgramFiles%\\PANELSET.TXT"},
    };
}

TEST(InstallerKeyTest, ReadsOnlyWhatFitsTerminated) {
    for (auto& store : AllStores()) {
        for (const KeyCase& c : KeyCases()) {
            SCOPED_TRACE(std::string(store->Name()) + ": " + c.name);
            store->Fill(c.contents);
            char toolCommand[kMaxPath];
            char settingsPath[kMaxPath];
            // Garbage first: the reading must terminate the text itself.
            std::memset(toolCommand, 'x', sizeof toolCommand);
            std::memset(settingsPath, 'x', sizeof settingsPath);
            ASSERT_EQ(c.read, ReadInstallerKey(store->Seam(), toolCommand, settingsPath));
            if (!c.read) continue;
            ASSERT_NE(nullptr, std::memchr(toolCommand, '\0', sizeof toolCommand));
            ASSERT_NE(nullptr, std::memchr(settingsPath, '\0', sizeof settingsPath));
            EXPECT_EQ(c.toolCommand, std::string(toolCommand));
            EXPECT_EQ(c.settingsPath, std::string(settingsPath));
        }
    }
}

TEST(InstallerKeyTest, ClosesTheKeyItOpenedOnEveryPath) {
    MemoryStore store;
    for (const KeyCase& c : KeyCases()) {
        SCOPED_TRACE(c.name);
        store.Fill(c.contents);
        const int opens = store.OpenCount();
        const int closes = store.CloseCount();
        char toolCommand[kMaxPath];
        char settingsPath[kMaxPath];
        (void)ReadInstallerKey(store, toolCommand, settingsPath);
        EXPECT_EQ(store.OpenCount() - opens, store.CloseCount() - closes);
    }
}

struct TerminateCase {
    const char* name;
    std::string data;
    std::size_t capacity;
    bool accepted;
    std::string text;
};

TEST(InstallerKeyTest, TerminateRegistryText) {
    const std::vector<TerminateCase> cases = {
        {"nothing read", "", 8, true, ""},
        {"NUL at the end", WithNul("abc"), 8, true, "abc"},
        {"room after the data", "abc", 8, true, "abc"},
        {"one byte of room left", "abcdefg", 8, true, "abcdefg"},
        {"full without NUL", "abcdefgh", 8, false, ""},
        {"full with a NUL inside", std::string("ab\0defgh", 8), 8, true, "ab"},
        {"more than the capacity", "abcdefghi", 8, false, ""},
    };
    for (const TerminateCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> buffer(c.capacity + 4, 'x');
        std::memcpy(buffer.data(), c.data.data(), std::min(c.data.size(), buffer.size()));
        ASSERT_EQ(c.accepted, TerminateRegistryText(buffer.data(), c.capacity, static_cast<std::uint32_t>(c.data.size())));
        if (!c.accepted) continue;
        EXPECT_EQ(c.text, std::string(buffer.data()));
        // Nothing is written past the capacity.
        EXPECT_EQ(std::string(4, 'x'), std::string(buffer.data() + c.capacity, 4));
    }
}

}  // namespace
