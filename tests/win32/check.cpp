#include "tests/win32/check.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static_assert(sizeof(void*) == 4, "the host is a 32-bit program");

static int g_passed = 0;

void check(bool ok, const char* group, const char* format, ...)
{
    if (ok) {
        ++g_passed;
        return;
    }
    std::printf("FAIL [%s] ", group);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\nwin32: %d passed, 1 failed\n", g_passed);
    std::fflush(stdout);
    std::exit(1);
}

int passed_checks()
{
    return g_passed;
}

int finish_checks()
{
    std::printf("win32: %d passed, 0 failed\n", g_passed);
    std::fflush(stdout);
    return 0;
}

uint32_t u32_at(const void* base, int offset)
{
    uint32_t v;
    std::memcpy(&v, static_cast<const unsigned char*>(base) + offset, sizeof v);
    return v;
}

const void* ptr_at(const void* base, int offset)
{
    const void* p;
    std::memcpy(&p, static_cast<const unsigned char*>(base) + offset, sizeof p);
    return p;
}

void put_u32_at(void* base, int offset, uint32_t value)
{
    std::memcpy(static_cast<unsigned char*>(base) + offset, &value, sizeof value);
}

void put_ptr_at(void* base, int offset, const void* value)
{
    std::memcpy(static_cast<unsigned char*>(base) + offset, &value, sizeof value);
}
