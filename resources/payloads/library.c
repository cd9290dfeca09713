/* A product library as the update installs it. The updater treats it as an
 * opaque file; what matters is its version resource. */
#include <windows.h>

__declspec(dllexport) const char* ZentrelComponentVersion(void)
{
    return PAYLOAD_VERSION_TEXT;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
