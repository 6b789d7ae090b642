#pragma once
// Checks of the freshly returned FilterTable and of the DLL's export directory.
#include <windows.h>

// `table` is what GetFilterTable returned before the host filled anything in.
void check_filter_table(HMODULE module, const void* table);
