// The command line the outside tool is started with.
#pragma once

#include <cstddef>

// The stored command as it stands, except that one holding no quote that names an
// existing file as a whole is put in quotes, so that a path with blanks is never
// split ("C:\Program Files (x86)\..." would otherwise try "C:\Program.exe" first).
// False when the result does not fit size bytes.
[[nodiscard]] bool PrepareToolCommandLine(const char* stored, bool namesExistingFile, char* commandLine,
                                          std::size_t size) noexcept;
