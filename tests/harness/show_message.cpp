// Shows one of the updater's message boxes exactly as the updater would: the
// text and the caption (200) loaded from the updater's own string tables in
// the user's language, the same box style, no owner window. The gallery uses
// it for the boxes that no run can reach under Wine (a user who is not an
// administrator, a 32-bit Windows).
//
// usage: show_message.exe UPDATER ID STYLE
#include <windows.h>

#include <cwchar>
#include <string>

#include "common/unique_handle.h"

namespace {

std::wstring LoadText(HMODULE module, UINT id)
{
    const wchar_t* text = nullptr;
    // A length of 0 asks for a pointer into the resource itself.
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        fwprintf(stderr, L"usage: show_message.exe UPDATER ID STYLE\n");
        return 2;
    }
    const CUniqueLibrary updater(
        LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!updater) {
        fwprintf(stderr, L"cannot load %ls: %lu\n", argv[1], GetLastError());
        return 3;
    }
    const UINT id = static_cast<UINT>(wcstoul(argv[2], nullptr, 0));
    const UINT style = static_cast<UINT>(wcstoul(argv[3], nullptr, 0));
    MessageBoxW(nullptr, LoadText(updater.Get(), id).c_str(), LoadText(updater.Get(), 200).c_str(), style);
    return 0;
}
