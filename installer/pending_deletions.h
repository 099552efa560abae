// The deletions an uninstall left for the restart (PendingFileRenameOperations) that an
// install before that restart takes back, so that the restart keeps the files it copies.
#pragma once

#include <string>

// data: a REG_MULTI_SZ's bytes, UTF-16 pairs of source and destination, maybe ended by an
// empty string. Removes the deletions of folder and of paths in it and returns how many;
// data is left as it is when there are none, or when the pairs do not add up.
[[nodiscard]] std::size_t RemoveDeletionsInFolder(std::string& data, const std::u16string& folder) noexcept;

// The same on both pending values of the Session Manager, each written only when changed.
void TakeBackPendingDeletions() noexcept;
