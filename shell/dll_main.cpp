// Loader entry of the Windows DLL. The host sets the plug-in up through GetFilterTable,
// so nothing of the plug-in's own runs at load. The plug-in keeps no per-thread state,
// so the loader is told not to call in on every thread the host starts or ends.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
