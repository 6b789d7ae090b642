#pragma once
// Pass/fail bookkeeping of the Windows test program. The program stops at the first
// difference: later checks would only repeat what that one already says, and a run
// under Wine is too slow to sift through pages of follow-on failures.
#include <cstdint>

// Counts a passed check, or prints "FAIL [group] message", the summary line
// "win32: N passed, 1 failed", and ends the process with exit code 1.
void check(bool ok, const char* group, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Prints "win32: N passed, 0 failed" and returns the process exit code 0.
int finish_checks();

// Checks passed so far.
int passed_checks();

// Reads a 32-bit little-endian field of a host record at a byte offset, the way the
// host does: by position, not through this program's idea of the record.
uint32_t u32_at(const void* base, int offset);
const void* ptr_at(const void* base, int offset);
void put_u32_at(void* base, int offset, uint32_t value);
void put_ptr_at(void* base, int offset, const void* value);
