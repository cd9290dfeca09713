#include "common/paths.h"

#include <windows.h>

std::wstring MakeLongPath(const std::wstring& path)
{
    if (path.size() < 4 || path.compare(0, 4, L"\\\\?\\") == 0 || path.size() < MAX_PATH) {
        return path;
    }
    if (path.compare(0, 2, L"\\\\") == 0) {
        return L"\\\\?\\UNC" + path.substr(1);
    }
    return L"\\\\?\\" + path;
}
