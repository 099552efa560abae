#include "pending_deletions.h"

#include "ascii_case.h"
#include "entry.h"
#include "file_system.h"
#include "platform.h"
#include "registry.h"
#include "run_context.h"

#include <algorithm>
#include <cstring>

namespace {

// Not redirected: the 32-bit installer sees the values Windows reads at the restart.
constexpr const char* kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// Whether source, past the "*<digits>", "!" and "\??\" Windows puts before it, is folder or
// lies in it. The ASCII fold never joins names that Windows keeps apart.
bool InFolder(const char16_t* source, const std::u16string& folder) noexcept {
    if (*source == u'*') {
        while (*++source >= u'0' && *source <= u'9') {}
    }
    if (*source == u'!') ++source;
    if (source[0] == u'\\' && source[1] == u'?' && source[2] == u'?' && source[3] == u'\\') source += 4;
    const auto same = [](char16_t left, char16_t right) { return UpperAscii(left) == UpperAscii(right); };
    return std::char_traits<char16_t>::length(source) >= folder.size() &&
           std::equal(folder.begin(), folder.end(), source, same) &&
           (source[folder.size()] == u'\0' || source[folder.size()] == u'\\');
}

}  // namespace

std::size_t RemoveDeletionsInFolder(std::string& data, const std::u16string& folder) noexcept {
    std::u16string units(data.size() / 2, u'\0');
    std::memcpy(&units[0], data.data(), units.size() * sizeof(char16_t));
    std::u16string kept;
    std::size_t removed = 0;
    std::size_t at = 0;
    while (at < units.size() && units[at] != u'\0') {
        const std::size_t middle = units.find(u'\0', at);
        const std::size_t end = middle == std::u16string::npos ? middle : units.find(u'\0', middle + 1);
        if (end == std::u16string::npos) return 0;
        // A deletion has an empty destination; a rename is never taken back.
        const bool ours = end == middle + 1 && InFolder(units.c_str() + at, folder);
        removed += ours ? 1 : 0;
        if (!ours) kept.append(units, at, end + 1 - at);
        at = end + 1;
    }
    // Past the pairs, at most the empty string that ends them.
    if (data.size() % 2 != 0 || folder.empty() || removed == 0 || at + 1 < units.size()) return 0;
    if (!kept.empty()) kept += u'\0';
    data.assign(reinterpret_cast<const char*>(kept.data()), kept.size() * sizeof(char16_t));
    return removed;
}

void TakeBackPendingDeletions() noexcept {
    RegistryApi& registry = *Platform().registry;
    const RegistryKey key = OpenKey(registry, kSessionManagerKey, KeyAccess::ReadWrite);
    std::u16string folder;
    if (!key.IsValid() || !Platform().fileSystem->WidePath(installerState.installFolder, folder)) return;
    for (const char* name : {"PendingFileRenameOperations", "PendingFileRenameOperations2"}) {
        std::string data;
        if (!registry.ReadMultiString(key.Get(), name, data)) continue;
        const std::size_t removed = RemoveDeletionsInFolder(data, folder);
        if (removed == 0) continue;
        LogStep(registry.WriteMultiString(key.Get(), name, data), "take back %u deletions in %s from %s",
                static_cast<unsigned>(removed), installerState.installFolder, name);
    }
}
