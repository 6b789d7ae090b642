// The native twin of the Windows test program: renders the same edit with the native
// plug-in module through the host stand-in's output pass and compares it, sample for
// sample, with what the 32-bit DLL delivered under Wine. The DLL computes with SSE2
// doubles like the native build, so the two must agree.
//
// Usage: tulm_native_twin <native plug-in module> <output file of the Windows run>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/host_process.h"
#include "host/plugin_loader.h"
#include "tests/win32/synthetic_media.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <plug-in module> <%s>\n", argv[0], kOutputFile);
        return 2;
    }
    std::vector<int16_t> windows(static_cast<size_t>(2 * kSampleFrames));
    std::FILE* file = std::fopen(argv[2], "rb");
    if (!file) {
        std::fprintf(stderr, "native twin: cannot open %s\n", argv[2]);
        return 1;
    }
    const size_t read = std::fread(windows.data(), sizeof(int16_t), windows.size() + 1, file);
    std::fclose(file);
    if (read != windows.size()) {
        std::fprintf(stderr, "native twin: %s holds %u samples, expected %u\n", argv[2],
                     static_cast<unsigned>(read), static_cast<unsigned>(windows.size()));
        return 1;
    }

    PluginModule module;
    std::string error;
    if (!plugin_load(argv[1], &module, &error)) {
        std::fprintf(stderr, "native twin: %s\n", error.c_str());
        return 1;
    }
    static HostEdit edit; // the EditHandle is its address: it must not move
    make_synthetic_edit(&edit);
    std::vector<int16_t> native;
    host_run_output(&edit, module.table, &native, nullptr, nullptr);
    plugin_unload(&module);

    size_t differ = 0, first = 0;
    int worst = 0;
    for (size_t i = 0; i < native.size() && i < windows.size(); ++i) {
        const int d = std::abs(native[i] - windows[i]);
        if (d == 0) continue;
        if (differ++ == 0) first = i;
        if (d > worst) worst = d;
    }
    std::printf("native twin: %u samples compared, %u differ, largest difference %d\n",
                static_cast<unsigned>(windows.size()), static_cast<unsigned>(differ), worst);
    if (native.size() != windows.size()) {
        std::fprintf(stderr, "native twin: the native pass gave %u samples\n",
                     static_cast<unsigned>(native.size()));
        return 1;
    }
    if (differ != 0) {
        std::fprintf(stderr, "native twin: first difference at sample frame %u channel %u: %d native, %d Windows\n",
                     static_cast<unsigned>(first / 2), static_cast<unsigned>(first % 2), native[first],
                     windows[first]);
        return 1;
    }
    return 0;
}
