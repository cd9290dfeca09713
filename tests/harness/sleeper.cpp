// A process that only waits, holding what it is told to hold: copied under
// the image names of the product's programs so that tests can have them
// "running", or holding a file open or a library loaded. Ends by itself after
// two minutes in case a test forgets it.
//
// usage: sleeper.exe [--load DLL] [--open FILE SHARE]   SHARE: r (read) or rd (read, delete)
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--load") == 0 && i + 1 < argc) {
            if (!LoadLibraryW(argv[++i])) {
                return 3;
            }
        } else if (wcscmp(argv[i], L"--open") == 0 && i + 2 < argc) {
            const wchar_t* path = argv[++i];
            const DWORD share = wcscmp(argv[++i], L"rd") == 0 ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ;
            if (CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE) {
                return 4;
            }
        }
    }
    Sleep(120000);
    return 0;
}
