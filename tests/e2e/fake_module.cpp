// A minimal module for the loader's tests: built once with the entry point and once
// without it.
#include "shell/host_interface.h"

#if defined(FAKE_WITH_ENTRY)
static const char kName[] = "fake";
static FilterTable g_table;

extern "C" __attribute__((visibility("default"))) FilterTable* GetFilterTable(void)
{
    g_table.flags = 0x1234u;
    g_table.name = kName;
    return &g_table;
}
#else
extern "C" __attribute__((visibility("default"))) int NotTheEntry(void)
{
    return 1;
}
#endif
