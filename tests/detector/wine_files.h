// Whole files and folder listings through the Win32 calls, for the Wine tests.
#pragma once

#include <string>
#include <vector>

// The file's bytes; "<missing>" when it cannot be opened.
std::string ReadWhole(const std::string& path);
bool WriteWhole(const std::string& path, const std::string& content);
// The names in folder, without "." and "..".
std::vector<std::string> FilesIn(const std::string& folder);
