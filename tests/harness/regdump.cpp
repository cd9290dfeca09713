// Dumps the values of one registry key exactly as stored, for tests that must
// see every byte (embedded line feeds, terminating nulls).
//
// usage: regdump.exe OUT 32|64 KEY      (KEY under HKEY_LOCAL_MACHINE)
// OUT receives one line per value: name<TAB>type<TAB>data as hex bytes,
// or the single line "missing" when the key cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        return 2;
    }
    FILE* out = _wfopen(argv[1], L"wb");
    if (!out) {
        return 3;
    }
    const REGSAM view = wcscmp(argv[2], L"64") == 0 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, argv[3], 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        fprintf(out, "missing\n");
        fclose(out);
        return 0;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        std::vector<BYTE> data(1 << 20);
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
            break;
        }
        char utf8[65536];
        WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof(utf8), nullptr, nullptr);
        fprintf(out, "%s\t%lu\t", utf8, type);
        for (DWORD i = 0; i < size; ++i) {
            fprintf(out, "%02x", data[i]);
        }
        fprintf(out, "\n");
    }
    RegCloseKey(key);
    fclose(out);
    return 0;
}
