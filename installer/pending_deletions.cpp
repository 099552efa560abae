#include "pending_deletions.h"

#include "ascii_case.h"
#include "entry.h"
#include "file_system.h"
#include "platform.h"
#include "registry.h"
#include "run_context.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Not redirected: the 32-bit installer sees the values Windows reads at the restart.
constexpr const char* kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// A path as Windows reads it from the value: past the "*<digits>", "!" and "\??\" before it.
const char16_t* Stripped(const char16_t* path) noexcept {
    if (*path == u'*') {
        while (*++path >= u'0' && *path <= u'9') {}
    }
    if (*path == u'!') ++path;
    if (path[0] == u'\\' && path[1] == u'?' && path[2] == u'?' && path[3] == u'\\') path += 4;
    return path;
}

// Whether path begins with the first length units of prefix. The ASCII fold never joins
// names that Windows keeps apart.
bool BeginsWith(const char16_t* path, const char16_t* prefix, std::size_t length) noexcept {
    const auto same = [](char16_t left, char16_t right) { return UpperAscii(left) == UpperAscii(right); };
    return std::char_traits<char16_t>::length(path) >= length &&
           std::equal(prefix, prefix + length, path, same);
}

}  // namespace

std::size_t RemoveDeletionsInFolder(std::string& data, const std::u16string& folder) noexcept {
    std::u16string units(data.size() / 2, u'\0');
    std::memcpy(&units[0], data.data(), units.size() * sizeof(char16_t));
    std::vector<std::size_t> starts;  // of each pair's source, then of the string past the pairs
    std::size_t at = 0;
    while (at < units.size() && units[at] != u'\0') {
        const std::size_t middle = units.find(u'\0', at);
        const std::size_t end = middle == std::u16string::npos ? middle : units.find(u'\0', middle + 1);
        if (end == std::u16string::npos) return 0;
        starts.push_back(at);
        at = end + 1;
    }
    starts.push_back(at);
    // Past the pairs, at most the empty string that ends them.
    if (data.size() % 2 != 0 || folder.empty() || at + 1 < units.size()) return 0;
    const auto target = [&](std::size_t i) { return Stripped(&units[units.find(u'\0', starts[i]) + 1]); };
    std::u16string kept;
    std::size_t removed = 0;
    for (std::size_t pair = 0; pair + 1 < starts.size(); ++pair) {
        const char16_t* source = Stripped(&units[starts[pair]]);
        const std::size_t length = std::char_traits<char16_t>::length(source);
        // A deletion has an empty destination; a rename is never taken back, nor a deletion that
        // a later rename onto the same file needs (a replacement queued in two steps).
        bool ours = *target(pair) == u'\0' && BeginsWith(source, folder.data(), folder.size()) &&
                    (source[folder.size()] == u'\0' || source[folder.size()] == u'\\');
        for (std::size_t later = pair + 1; ours && later + 1 < starts.size(); ++later) {
            ours = !(BeginsWith(target(later), source, length) && target(later)[length] == u'\0');
        }
        removed += ours ? 1 : 0;
        if (!ours) kept.append(units, starts[pair], starts[pair + 1] - starts[pair]);
    }
    if (removed == 0) return 0;
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
        std::string parsed;
        if (!registry.ReadMultiString(key.Get(), name, parsed)) continue;
        // Other installers may queue entries meanwhile: written only over the very bytes parsed.
        for (int pass = 1; pass <= 2; ++pass) {
            std::string data = parsed;
            std::string now;
            const std::size_t removed = RemoveDeletionsInFolder(data, folder);
            if (removed == 0) break;
            if (registry.ReadMultiString(key.Get(), name, now) && now == parsed) {
                const bool written = registry.WriteMultiString(key.Get(), name, data);
                LogStep(written, "take back %u deletions in %s from %s", static_cast<unsigned>(removed),
                        installerState.installFolder, name);
                break;
            }
            if (pass == 2) LogLine("%s changed while it was read, twice: its deletions stay", name);
            parsed = std::move(now);
        }
    }
}
