/* A product program as the update installs it. The updater treats it as an
 * opaque file; what matters is its version resource. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}
