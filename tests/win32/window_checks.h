#pragma once
// Checks of the window-message callback against real windows: a settings window
// owned by an owner window, as the host arranges them.
#include <cstdint>

// The window-message callback as the host calls it (see shell/host_interface.h).
typedef int32_t(__cdecl* WindowMessageFn)(void* window, uint32_t message, uintptr_t wparam,
                                          intptr_t lparam);

void check_window_messages(WindowMessageFn window_message);
