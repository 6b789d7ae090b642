#pragma once
// Loading a plug-in module and asking it for its FilterTable, as the host does:
// dlopen/dlsym natively (the module `tulm.so`), LoadLibraryA/GetProcAddress on Windows
// (`tulm.auf`).
#include <string>

#include "shell/host_interface.h"

struct PluginModule {
    void* handle = nullptr;       // dlopen handle or HMODULE; null when not loaded
    FilterTable* table = nullptr; // what GetFilterTable returned
};

// Loads the module at `path`, finds GetFilterTable and calls it once. On success fills
// *module and returns true. On failure leaves *module empty (nothing stays loaded) and,
// when `error` is not null, stores a one-line reason naming the path: the module did not
// load (with the loader's own message), it lacks GetFilterTable, or GetFilterTable
// returned null.
bool plugin_load(const char* path, PluginModule* module, std::string* error);

// Unloads a module loaded by plugin_load and empties *module; an empty module is left
// alone. The table must not be used afterwards. The system may keep the code mapped when
// something else holds it, so a fresh plug-in state is only guaranteed by the
// GetFilterTable call of the next plugin_load.
void plugin_unload(PluginModule* module);
