#pragma once
// The two window calls the settings-window callback needs: find a window's owner and
// send it a message. Windows builds use the real GetWindow(GW_OWNER) and SendMessageA.
// Elsewhere a window handle is the address of a StandinWindow owned by whoever plays
// the host (the host stand-in, the tests), so forwarding crosses the module boundary
// without the module exporting anything but GetFilterTable.
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>

inline void* ui_owner_of(void* window)
{
    return GetWindow(static_cast<HWND>(window), GW_OWNER);
}

inline void ui_send(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    SendMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wparam),
                 static_cast<LPARAM>(lparam));
}
#else
struct StandinWindow;
// The window procedure of a stand-in window: receives what ui_send delivers to it.
typedef void (*StandinWindowProc)(StandinWindow* window, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam);

struct StandinWindow {
    StandinWindow* owner;   // what GetWindow(GW_OWNER) answers; null for none
    StandinWindowProc proc; // null: messages sent here are dropped
    void* user;             // the creator's own data
};

inline void* ui_owner_of(void* window)
{
    return window ? static_cast<StandinWindow*>(window)->owner : nullptr;
}

inline void ui_send(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    StandinWindow* w = static_cast<StandinWindow*>(window);
    if (w && w->proc) w->proc(w, message, wparam, lparam);
}
#endif
