#pragma once
// Checks of the DLL's version resource, read the way the file's properties page
// reads it: GetFileVersionInfo and VerQueryValue on the file the loader mapped.
#include <windows.h>

void check_version_resource(HMODULE module);
