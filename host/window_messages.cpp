#include "host/window_messages.h"

int32_t host_send_message(FilterTable* table, void* window, uint32_t message, uintptr_t wparam,
                          intptr_t lparam)
{
    if (!table->window_message) return 0;
    return table->window_message(window, message, wparam, lparam);
}

#if !defined(_WIN32)
extern "C" __attribute__((visibility("default"))) void* tulm_window_owner(void* window)
{
    return window ? static_cast<StandinWindow*>(window)->owner : nullptr;
}

extern "C" __attribute__((visibility("default"))) void tulm_window_send(void* window, uint32_t message,
                                                                         uintptr_t wparam, intptr_t lparam)
{
    StandinWindow* w = static_cast<StandinWindow*>(window);
    if (w && w->proc) w->proc(w, message, wparam, lparam);
}

static void record_message(StandinWindow* window, uint32_t message, uintptr_t wparam,
                           intptr_t lparam)
{
    StandinWindows* windows = static_cast<StandinWindows*>(window->user);
    windows->received.push_back(ReceivedMessage{message, wparam, lparam});
}

void standin_windows_init(StandinWindows* windows)
{
    windows->owner = StandinWindow{nullptr, record_message, windows};
    windows->settings = StandinWindow{&windows->owner, nullptr, windows};
    windows->received.clear();
}
#endif
