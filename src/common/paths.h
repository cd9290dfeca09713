#pragma once
// Paths as the file functions take them.

#include <string>

// "\\?\" (or "\\?\UNC" for "\\server\share") in front of paths of 260
// characters and more.
std::wstring MakeLongPath(const std::wstring& path);
