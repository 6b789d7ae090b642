// The Windows test program: plays the host against the real tulm.auf. It loads the DLL
// by its bare name from its own folder, as the host loads plug-ins, and checks the
// registration record, the version resource, window-message forwarding and the
// processing callback. Exit code 0 only when every check passed.
#include <windows.h>

#include <cstdio>

#include "tests/win32/audio_checks.h"
#include "tests/win32/check.h"
#include "tests/win32/table_checks.h"
#include "tests/win32/version_checks.h"
#include "tests/win32/window_checks.h"

typedef void*(__cdecl* GetFilterTableFn)(void);

// A crash inside the DLL is a failure like any other: report it on the summary line
// and end, instead of leaving it to the system's crash handler (under Wine a debugger
// that takes minutes to start).
static LONG WINAPI report_crash(EXCEPTION_POINTERS* info)
{
    std::printf("FAIL [crash] exception 0x%08lx at %p\n",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                info->ExceptionRecord->ExceptionAddress);
    std::printf("win32: %d passed, 1 failed\n", passed_checks());
    std::fflush(stdout);
    ExitProcess(1);
}

int main()
{
    // Wine's console is a pipe here: unbuffered, the last line printed tells how far a
    // run that was cut off by a timeout got.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::printf("tulm_win32_test started\n");
    // The DLL's FFT takes its AVX copy where the processor offers AVX: say which one this
    // run exercises (scripts/win32-test.sh runs both).
    __builtin_cpu_init();
    std::printf("processor offers AVX: %s\n", __builtin_cpu_supports("avx") ? "yes" : "no");
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(report_crash);
    const HMODULE module = LoadLibraryA("tulm.auf");
    check(module != nullptr, "load", "LoadLibraryA(\"tulm.auf\") failed (error %lu)",
          static_cast<unsigned long>(GetLastError()));
    const FARPROC entry = GetProcAddress(module, "GetFilterTable");
    check(entry != nullptr, "load", "GetFilterTable is not exported by that name");
    const GetFilterTableFn get_table = reinterpret_cast<GetFilterTableFn>(reinterpret_cast<void*>(entry));
    void* table = get_table();
    check(table != nullptr, "load", "GetFilterTable returned null");
    std::printf("tulm.auf loaded, FilterTable at %p\n", table);

    check_filter_table(module, table);
    std::printf("registration record checked\n");
    check_version_resource(module);
    std::printf("version resource checked\n");
    check_window_messages(reinterpret_cast<WindowMessageFn>(const_cast<void*>(ptr_at(table, 64))));
    std::printf("window messages checked\n");
    check_audio_processing(table);
    std::printf("audio processing checked\n");

    FreeLibrary(module);
    return finish_checks();
}
