#include "tests/win32/version_checks.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/win32/check.h"

namespace {

const char* const kGroup = "version";

struct StringValue {
    const char* key;
    const char* value;
};

const StringValue kStrings[] = {
    {"CompanyName", "Orvane"},
    {"FileDescription", "band eliminate filter (audio)"},
    {"FileVersion", "0.3.1.6"},
    {"OriginalFilename", "tulm.auf"},
    {"ProductVersion", "0.3.1"},
};

} // namespace

void check_version_resource(HMODULE module)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    check(length > 0 && length < sizeof path, kGroup, "GetModuleFileNameA failed");

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    check(size > 0, kGroup, "the DLL has no version resource (error %lu)",
          static_cast<unsigned long>(GetLastError()));
    std::vector<unsigned char> block(size);
    check(GetFileVersionInfoA(path, 0, size, block.data()) != 0, kGroup,
          "GetFileVersionInfoA failed (error %lu)", static_cast<unsigned long>(GetLastError()));

    void* value = nullptr;
    UINT value_size = 0;
    char root[] = "\\";
    check(VerQueryValueA(block.data(), root, &value, &value_size) && value_size >= sizeof(VS_FIXEDFILEINFO),
          kGroup, "no fixed file information");
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    check(fixed->dwSignature == 0xFEEF04BDu, kGroup, "fixed information signature 0x%08lx",
          static_cast<unsigned long>(fixed->dwSignature));
    check(fixed->dwFileVersionMS == 0x00000003u && fixed->dwFileVersionLS == 0x00010006u, kGroup,
          "fixed file version is %lu.%lu.%lu.%lu, expected 0.3.1.6",
          static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
          static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
          static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
          static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    check(fixed->dwProductVersionMS == 0x00000003u && fixed->dwProductVersionLS == 0x00010000u,
          kGroup, "fixed product version is %lu.%lu.%lu.%lu, expected 0.3.1.0",
          static_cast<unsigned long>(HIWORD(fixed->dwProductVersionMS)),
          static_cast<unsigned long>(LOWORD(fixed->dwProductVersionMS)),
          static_cast<unsigned long>(HIWORD(fixed->dwProductVersionLS)),
          static_cast<unsigned long>(LOWORD(fixed->dwProductVersionLS)));
    check(fixed->dwFileType == VFT_DLL, kGroup, "file type is %lu, expected VFT_DLL",
          static_cast<unsigned long>(fixed->dwFileType));
    check(fixed->dwFileOS == VOS__WINDOWS32, kGroup, "file OS is 0x%lx, expected VOS__WINDOWS32",
          static_cast<unsigned long>(fixed->dwFileOS));

    char translation[] = "\\VarFileInfo\\Translation";
    check(VerQueryValueA(block.data(), translation, &value, &value_size) && value_size == 4, kGroup,
          "the Translation entry is missing or not one language/code page pair");
    const WORD* pair = static_cast<const WORD*>(value);
    check(pair[0] == 0x0411 && pair[1] == 0x04B0, kGroup,
          "Translation is 0x%04x, 0x%04x, expected 0x0411, 0x04b0", pair[0], pair[1]);

    for (const StringValue& s : kStrings) {
        char key[96];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\041104B0\\%s", s.key);
        value = nullptr;
        value_size = 0;
        check(VerQueryValueA(block.data(), key, &value, &value_size) && value != nullptr, kGroup,
              "%s is missing from string block 041104B0", s.key);
        const char* got = static_cast<const char*>(value);
        check(std::strcmp(got, s.value) == 0, kGroup, "%s is \"%s\", expected \"%s\"", s.key, got,
              s.value);
    }
}
