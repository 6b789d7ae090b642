#pragma once
// The two window calls the settings-window callback needs: find a window's owner and
// send it a message. Windows builds use the real GetWindow(GW_OWNER) and SendMessageA.
#include <cstdint>

// The window messages the settings window passes on to its owner.
constexpr uint32_t kMessageKeyDown = 0x0100;
constexpr uint32_t kMessageKeyUp = 0x0101;
constexpr uint32_t kMessageMouseWheel = 0x020A;

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
#include <dlfcn.h>

// Elsewhere the window system is the host stand-in's: the program that plays the host
// exports tulm_window_owner and tulm_window_send by name, as a Windows process offers
// GetWindow and SendMessageA, so forwarding crosses the module boundary without the
// module exporting anything but GetFilterTable. Without them there are no windows, and
// nothing to forward to.
inline void* ui_owner_of(void* window)
{
    typedef void* (*OwnerOf)(void*);
    static const OwnerOf owner_of = reinterpret_cast<OwnerOf>(dlsym(RTLD_DEFAULT, "tulm_window_owner"));
    return owner_of ? owner_of(window) : nullptr;
}

inline void ui_send(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    typedef void (*Send)(void*, uint32_t, uintptr_t, intptr_t);
    static const Send send = reinterpret_cast<Send>(dlsym(RTLD_DEFAULT, "tulm_window_send"));
    if (send) send(window, message, wparam, lparam);
}
#endif
