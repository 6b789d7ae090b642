#include "host/plugin_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

typedef FilterTable*(TULM_CDECL* GetFilterTableFn)(void);

static void set_error(std::string* error, const std::string& text)
{
    if (error) *error = text;
}

#if defined(_WIN32)
static void* module_open(const char* path, std::string* why)
{
    HMODULE handle = LoadLibraryA(path);
    if (!handle) *why = "LoadLibraryA failed with error " + std::to_string(GetLastError());
    return handle;
}

static void* module_symbol(void* handle, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

static void module_close(void* handle)
{
    FreeLibrary(static_cast<HMODULE>(handle));
}
#else
static void* module_open(const char* path, std::string* why)
{
    // RTLD_LOCAL keeps the module's symbols to itself, as a DLL's are.
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = dlerror();
        *why = message ? message : "dlopen failed";
    }
    return handle;
}

static void* module_symbol(void* handle, const char* name)
{
    return dlsym(handle, name);
}

static void module_close(void* handle)
{
    dlclose(handle);
}
#endif

bool plugin_load(const char* path, PluginModule* module, std::string* error)
{
    *module = PluginModule{};
    const std::string where = path ? path : "(null)";
    std::string why;
    void* handle = path ? module_open(path, &why) : nullptr;
    if (!handle) {
        set_error(error, "cannot load plug-in " + where + ": " + (path ? why : "no path"));
        return false;
    }
    GetFilterTableFn entry =
        reinterpret_cast<GetFilterTableFn>(module_symbol(handle, "GetFilterTable"));
    if (!entry) {
        module_close(handle);
        set_error(error, "plug-in " + where + " does not export GetFilterTable");
        return false;
    }
    FilterTable* table = entry();
    if (!table) {
        module_close(handle);
        set_error(error, "GetFilterTable of plug-in " + where + " returned no table");
        return false;
    }
    module->handle = handle;
    module->table = table;
    return true;
}

void plugin_unload(PluginModule* module)
{
    if (module->handle) module_close(module->handle);
    *module = PluginModule{};
}
