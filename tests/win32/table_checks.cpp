// The registration record as the host sees it: 35 fields of 32 bits, read by byte
// offset from the address GetFilterTable returns, strings compared byte for byte in
// the Japanese code page the host displays them in.
#include "tests/win32/table_checks.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "render/slider_table.h"
#include "shell/host_interface.h"
#include "tests/win32/check.h"

namespace {

const char* const kGroup = "table";

// True when `p` lies in the image the loader mapped for `module`: a callback or a
// string of the table that pointed elsewhere would dangle once the host unloads it.
bool in_module(HMODULE module, const void* p)
{
    MEMORY_BASIC_INFORMATION info;
    if (p == nullptr || VirtualQuery(p, &info, sizeof info) == 0) return false;
    return info.AllocationBase == module;
}

void check_string(HMODULE module, const void* p, const char* expected, const char* what)
{
    check(in_module(module, p), kGroup, "%s: pointer %p lies outside the DLL", what, p);
    const char* s = static_cast<const char*>(p);
    const size_t n = std::strlen(expected);
    for (size_t i = 0; i <= n; ++i) {
        const unsigned got = static_cast<unsigned char>(s[i]);
        const unsigned want = static_cast<unsigned char>(expected[i]);
        check(got == want, kGroup, "%s: byte %u is 0x%02x, expected 0x%02x", what,
              static_cast<unsigned>(i), got, want);
    }
}

void check_ints(HMODULE module, const void* array, const int32_t* expected, int count,
                const char* what)
{
    check(in_module(module, array), kGroup, "%s: array %p lies outside the DLL", what, array);
    for (int i = 0; i < count; ++i) {
        const int32_t got = static_cast<int32_t>(u32_at(array, 4 * i));
        check(got == expected[i], kGroup, "%s[%d] is %ld, expected %ld", what, i,
              static_cast<long>(got), static_cast<long>(expected[i]));
    }
}

void check_zero(const void* table, int offset)
{
    const uint32_t v = u32_at(table, offset);
    check(v == 0, kGroup, "field at offset %d is 0x%08lx, expected 0", offset,
          static_cast<unsigned long>(v));
}

// The export directory must name GetFilterTable and nothing else: the host looks the
// entry up by name, and any further export would be a leaked internal symbol.
void check_exports(HMODULE module)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS32* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    check(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386, kGroup,
          "machine is 0x%04x, expected i386", nt->FileHeader.Machine);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    check(dir.VirtualAddress != 0, kGroup, "the DLL has no export directory");
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    check(exports->NumberOfNames == 1 && exports->NumberOfFunctions == 1, kGroup,
          "the DLL exports %lu names and %lu functions, expected exactly one",
          static_cast<unsigned long>(exports->NumberOfNames),
          static_cast<unsigned long>(exports->NumberOfFunctions));
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const char* name = reinterpret_cast<const char*>(base + names[0]);
    check(std::strcmp(name, "GetFilterTable") == 0, kGroup, "the export is named \"%s\"", name);
}

} // namespace

void check_filter_table(HMODULE module, const void* table)
{
    check_exports(module);
    check(in_module(module, table), kGroup, "the FilterTable %p lies outside the DLL", table);
    MEMORY_BASIC_INFORMATION info;
    VirtualQuery(table, &info, sizeof info);
    const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                           PAGE_EXECUTE_WRITECOPY;
    check((info.Protect & writable) != 0, kGroup,
          "the FilterTable page is not writable (protection 0x%lx); the host fills it",
          static_cast<unsigned long>(info.Protect));

    const uint32_t flags = u32_at(table, 0);
    check(flags == kFilterFlags, kGroup, "flag word is 0x%08lx, expected 0x%08lx",
          static_cast<unsigned long>(flags), static_cast<unsigned long>(kFilterFlags));
    check_zero(table, 4);
    check_zero(table, 8);
    check_string(module, ptr_at(table, 12), "Pellomar", "filter name");

    const uint32_t sliders = u32_at(table, 16);
    check(sliders == kSliderCount, kGroup, "slider count is %lu, expected %d",
          static_cast<unsigned long>(sliders), int(kSliderCount));
    const void* labels = ptr_at(table, 20);
    check(in_module(module, labels), kGroup, "slider label array lies outside the DLL");
    for (int i = 0; i < kSliderCount; ++i) {
        char what[32];
        std::snprintf(what, sizeof what, "slider label %d", i + 1);
        check_string(module, ptr_at(labels, 4 * i), kSliderLabels[i], what);
    }
    check_ints(module, ptr_at(table, 24), kSliderDefaults, kSliderCount, "slider default");
    check_ints(module, ptr_at(table, 28), kSliderMinima, kSliderCount, "slider minimum");
    check_ints(module, ptr_at(table, 32), kSliderMaxima, kSliderCount, "slider maximum");

    const uint32_t checks = u32_at(table, 36);
    check(checks == kCheckCount, kGroup, "check-box count is %lu, expected %d",
          static_cast<unsigned long>(checks), int(kCheckCount));
    const void* check_labels = ptr_at(table, 40);
    check(in_module(module, check_labels), kGroup, "check-box label array lies outside the DLL");
    check_string(module, ptr_at(check_labels, 0), kCheckLabels[0], "check-box label");
    check_ints(module, ptr_at(table, 44), kCheckDefaults, kCheckCount, "check-box default");

    check(in_module(module, ptr_at(table, 48)), kGroup, "processing callback %p is not in the DLL",
          ptr_at(table, 48));
    for (int offset : {52, 56, 60}) check_zero(table, offset);
    check(in_module(module, ptr_at(table, 64)), kGroup, "window callback %p is not in the DLL",
          ptr_at(table, 64));
    for (int offset : {68, 72, 76, 80}) check_zero(table, offset);
    check_string(module, ptr_at(table, 84), "Pellomar Ver. 0.3.1 by Orvane", "information string");
    for (int offset = 88; offset <= 136; offset += 4) check_zero(table, offset);
}
