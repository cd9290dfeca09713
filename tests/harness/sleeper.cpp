// A process that only waits: copied under the image names of the product's
// programs so that tests can have them "running". Ends by itself after two
// minutes in case a test forgets it.
#include <windows.h>

int main()
{
    Sleep(120000);
    return 0;
}
