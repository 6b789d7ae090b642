#include "tests/win32/window_checks.h"

#include <windows.h>

#include <vector>

#include "shell/host_interface.h"

#include "tests/win32/check.h"

namespace {

const char* const kGroup = "window";

struct Received {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

// What the two windows' procedures saw of the messages under test. Windows also sends
// its own traffic (creation, activation, painting); only the numbers the callback
// handles are logged, so a forward to the wrong window or a spurious forward shows.
std::vector<Received> g_received;

bool is_watched(UINT message)
{
    switch (message) {
    case WM_KEYDOWN: case WM_KEYUP: case WM_MOUSEWHEEL: case WM_CHAR: case WM_MOUSEMOVE:
    case kHostNotifyStale101: case kHostNotifyStale105:
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK record_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (is_watched(message)) {
        g_received.push_back({window, message, wparam, lparam});
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND make_window(const char* title, HWND owner)
{
    // WS_POPUP without WS_CHILD: the second window is owned by, not a child of, the first.
    return CreateWindowExA(0, "tulm_win32_test", title, WS_POPUP, 0, 0, 100, 100, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

struct Message {
    UINT number;
    WPARAM wparam;
    LPARAM lparam;
    bool forwarded;
};

// Parameters with the high bits set catch a forward that narrows or sign-extends them;
// the wheel's wparam carries a negative delta in its high word.
const Message kMessages[] = {
    {WM_KEYDOWN, 0x41, static_cast<LPARAM>(0x001E0001), true},
    {WM_KEYUP, 0x41, static_cast<LPARAM>(0xC01E0001u), true},
    {WM_MOUSEWHEEL, 0xFF880008u, static_cast<LPARAM>(0x80017FFEu), true},
    {WM_KEYDOWN, 0xFFFFFFFFu, static_cast<LPARAM>(0xFFFFFFFFu), true},
    {WM_CHAR, 0x61, 1, false},
    {WM_MOUSEMOVE, 0, static_cast<LPARAM>(0x00100020), false},
    {kHostNotifyStale101, 0x1234, 0x5678, false},
    {kHostNotifyStale105, 0x1234, 0x5678, false},
};

} // namespace

void check_window_messages(WindowMessageFn window_message)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = record_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "tulm_win32_test";
    check(RegisterClassA(&wc) != 0, kGroup, "RegisterClassA failed (error %lu)",
          static_cast<unsigned long>(GetLastError()));
    const HWND owner = make_window("owner", nullptr);
    check(owner != nullptr, kGroup, "cannot create the owner window (error %lu)",
          static_cast<unsigned long>(GetLastError()));
    const HWND settings = make_window("settings", owner);
    check(settings != nullptr, kGroup, "cannot create the settings window (error %lu)",
          static_cast<unsigned long>(GetLastError()));
    check(GetWindow(settings, GW_OWNER) == owner, kGroup, "the settings window is not owned by the owner");

    for (const Message& m : kMessages) {
        g_received.clear();
        const int32_t result = window_message(settings, m.number, m.wparam, m.lparam);
        check(result == 0, kGroup, "message 0x%04x: callback returned %ld, expected 0", m.number,
              static_cast<long>(result));
        if (!m.forwarded) {
            check(g_received.empty(), kGroup, "message 0x%04x was forwarded; it must not be",
                  m.number);
            continue;
        }
        check(g_received.size() == 1, kGroup, "message 0x%04x reached %u window procedures, expected 1",
              m.number, static_cast<unsigned>(g_received.size()));
        const Received& r = g_received[0];
        check(r.window == owner, kGroup, "message 0x%04x went to %p, not to the owner %p", m.number,
              static_cast<void*>(r.window), static_cast<void*>(owner));
        check(r.message == m.number && r.wparam == m.wparam && r.lparam == m.lparam, kGroup,
              "owner received 0x%04x (0x%08lx, 0x%08lx), expected 0x%04x (0x%08lx, 0x%08lx)",
              r.message, static_cast<unsigned long>(r.wparam), static_cast<unsigned long>(r.lparam),
              m.number, static_cast<unsigned long>(m.wparam), static_cast<unsigned long>(m.lparam));
    }

    DestroyWindow(settings);
    DestroyWindow(owner);
}
