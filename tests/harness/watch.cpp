// Test harness launcher: starts a program, watches its top-level windows,
// records each message box (caption and text) and dismisses it with its OK
// button, and writes the program's full 32-bit exit code, which the Linux exit
// status of a Wine process cannot carry.
//
// usage: watch.exe --out FILE [--mutex NAME] [--shots DIR] [--frames N] [--hold MS]
//                  [--timeout SECONDS] -- PROGRAM [ARGUMENTS...]
//
// FILE receives UTF-8 lines, fields separated by tabs, with \t \r \n \\ escaped:
//   box      <caption> <text>       a message box, in the order shown
//   window   <caption> <class>      any other visible window of the program
//   shot     <file>                 a screenshot (24-bit BMP) of the last window;
//                                   while a window other than a message box is
//                                   captured, the program's other threads wait
//   exit     0x<eight hex digits>   the exit code
//   timeout                         the program was killed after the time-out
// --frames takes N screenshots, half a second apart, of each window other
// than a message box (NN-window.bmp, then NN-window-2.bmp ...), so that an
// animation such as a marquee progress bar can be seen moving.
// --mutex creates and holds the named mutex while the program runs.
// --hold keeps the program's other threads waiting for MS milliseconds when its
// first window other than a message box appears (its worker, while the
// progress window shows), so that a test can act meanwhile.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return std::string();
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::string Escape(const std::wstring& text)
{
    std::string out;
    for (const char c : Utf8(text)) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// The message text of a message box: its static text control (id 0xFFFF on
// Windows, 100 under Wine), else the longest static text in the box.
std::wstring MessageBoxText(HWND box)
{
    for (const int id : {0xFFFF, 100}) {
        const HWND control = GetDlgItem(box, id);
        if (control && ClassName(control) == L"Static") {
            return WindowText(control);
        }
    }
    std::wstring longest;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == L"Static") {
            const std::wstring text = WindowText(child);
            if (text.size() > longest.size()) {
                longest = text;
            }
        }
    }
    return longest;
}

bool SaveScreenshot(HWND window, const std::wstring& path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect)) {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        SelectObject(memory, old);
        GdiFlush();
        const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
        const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + imageBytes;
        FILE* out = _wfopen(path.c_str(), L"wb");
        if (out) {
            fwrite(&file, sizeof(file), 1, out);
            fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out);
            fwrite(bits, imageBytes, 1, out);
            fclose(out);
            saved = true;
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

// Suspends (or resumes) every thread of a process but one: a window's thread
// keeps painting while the program's other threads wait, so a screenshot can
// be taken of a window that would otherwise be gone too soon.
void HoldOtherThreads(DWORD processId, DWORD keepThreadId, bool hold)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId || entry.th32ThreadID == keepThreadId) {
            continue;
        }
        if (const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
            hold ? SuspendThread(thread) : ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
}

struct Watch {
    DWORD processId = 0;
    std::set<HWND> seen;
    std::vector<HWND> fresh;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    Watch& watch = *reinterpret_cast<Watch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == watch.processId && IsWindowVisible(window) && !watch.seen.count(window)) {
        watch.fresh.push_back(window);
    }
    return TRUE;
}

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring outPath;
    std::wstring mutexName;
    std::wstring shotFolder;
    DWORD timeoutMs = 120000;
    DWORD holdMs = 0;
    int frames = 1;
    int programIndex = -1;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--" && i + 1 < argc) {
            programIndex = i + 1;
            break;
        }
        if (i + 1 >= argc) {
            break;
        }
        if (option == L"--out") {
            outPath = argv[++i];
        } else if (option == L"--mutex") {
            mutexName = argv[++i];
        } else if (option == L"--shots") {
            shotFolder = argv[++i];
        } else if (option == L"--frames") {
            frames = _wtoi(argv[++i]);
        } else if (option == L"--hold") {
            holdMs = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (option == L"--timeout") {
            timeoutMs = static_cast<DWORD>(_wtoi(argv[++i])) * 1000;
        }
    }
    if (outPath.empty() || programIndex < 0) {
        fwprintf(stderr, L"usage: watch.exe --out FILE [--mutex NAME] [--shots DIR] [--timeout S] -- PROGRAM [ARGS]\n");
        return 2;
    }
    FILE* out = _wfopen(outPath.c_str(), L"wb");
    if (!out) {
        return 3;
    }

    HANDLE mutex = nullptr;
    if (!mutexName.empty()) {
        mutex = CreateMutexW(nullptr, TRUE, mutexName.c_str());
    }

    std::wstring commandLine;
    for (int i = programIndex; i < argc; ++i) {
        if (!commandLine.empty()) {
            commandLine += L' ';
        }
        commandLine += QuoteArgument(argv[i]);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[programIndex], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fprintf(out, "error\tCreateProcessW %lu\n", GetLastError());
        fclose(out);
        return 4;
    }
    CloseHandle(process.hThread);

    Watch watch;
    watch.processId = process.dwProcessId;
    int shotNumber = 0;
    const DWORD started = GetTickCount();
    bool timedOut = false;
    for (;;) {
        const DWORD waited = WaitForSingleObject(process.hProcess, 40);
        watch.fresh.clear();
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&watch));
        for (const HWND window : watch.fresh) {
            watch.seen.insert(window);
            const std::wstring caption = WindowText(window);
            const HWND okButton = GetDlgItem(window, IDOK);
            const bool isBox = ClassName(window) == L"#32770" && okButton != nullptr;
            if (isBox) {
                fprintf(out, "box\t%s\t%s\n", Escape(caption).c_str(), Escape(MessageBoxText(window)).c_str());
            } else {
                fprintf(out, "window\t%s\t%s\n", Escape(caption).c_str(), Escape(ClassName(window)).c_str());
            }
            if (!shotFolder.empty()) {
                // Let the window finish painting before it is captured; a
                // progress window's workers wait meanwhile.
                const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
                if (!isBox) {
                    HoldOtherThreads(watch.processId, windowThread, true);
                }
                Sleep(isBox ? 400 : 700);
                wchar_t name[64];
                swprintf(name, 64, L"\\%02d-%ls.bmp", ++shotNumber, isBox ? L"box" : L"window");
                if (SaveScreenshot(window, shotFolder + name)) {
                    fprintf(out, "shot\t%s\n", Escape(shotFolder + name).c_str());
                }
                for (int frame = 2; !isBox && frame <= frames; ++frame) {
                    Sleep(500);
                    swprintf(name, 64, L"\\%02d-window-%d.bmp", shotNumber, frame);
                    if (SaveScreenshot(window, shotFolder + name)) {
                        fprintf(out, "shot\t%s\n", Escape(shotFolder + name).c_str());
                    }
                }
                if (!isBox) {
                    HoldOtherThreads(watch.processId, windowThread, false);
                }
            }
            fflush(out);
            if (!isBox && holdMs > 0) {
                const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
                HoldOtherThreads(watch.processId, windowThread, true);
                Sleep(holdMs);
                HoldOtherThreads(watch.processId, windowThread, false);
                holdMs = 0;
            }
            if (isBox) {
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(okButton));
            }
        }
        if (waited == WAIT_OBJECT_0) {
            break;
        }
        if (GetTickCount() - started > timeoutMs) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 5000);
            timedOut = true;
            break;
        }
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    if (timedOut) {
        fprintf(out, "timeout\n");
    }
    fprintf(out, "exit\t0x%08lx\n", exitCode);
    fclose(out);
    if (mutex) {
        CloseHandle(mutex);
    }
    return 0;
}
