// Zentrel Update Program: brings an installed Zentrel 3.0.0.0 to 3.2.0.0 up
// to 3.2.00.07040. No command-line options; the exit code is the run's HRESULT.

#include <windows.h>

#include "common/system_library.h"
#include "run/run_sequence.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Before anything can load a library: nothing beside the program may be
    // picked up by an elevated process.
    RestrictDllSearchToSystem32();
    return static_cast<int>(RunUpdateProgram(instance));
}
