#pragma once
// Window messages from the host to the plug-in's settings window, and (natively) the two
// stand-in windows that receive what the plug-in forwards.
//
// host_send_message works everywhere: it calls the table's window-message callback. The
// stand-in windows exist only in native builds; a Windows program creates a real owner
// window and a settings window owned by it, and passes the settings window's handle.
#include <cstdint>
#include <vector>

#include "shell/host_interface.h"

// Calls table->window_message(window, message, wparam, lparam) and returns its result;
// returns 0 without calling when the table has no window-message callback.
int32_t host_send_message(FilterTable* table, void* window, uint32_t message, uintptr_t wparam,
                          intptr_t lparam);

#if !defined(_WIN32)
struct StandinWindow;
// The window procedure of a stand-in window: receives what is sent to it.
typedef void (*StandinWindowProc)(StandinWindow* window, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam);

// A window of the native stand-in window system; its handle is its address.
struct StandinWindow {
    StandinWindow* owner;   // what the owner query answers; null for none
    StandinWindowProc proc; // null: messages sent here are dropped
    void* user;             // the creator's own data
};

// The stand-in's window calls, exported from the program by these names, where a loaded
// plug-in finds them: the owner of `window` (null for none or a null window), and
// delivery of one message to `window`'s procedure.
extern "C" void* tulm_window_owner(void* window);
extern "C" void tulm_window_send(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// One message as it reached the owner window.
struct ReceivedMessage {
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};

// The host's owner window and the filter's settings window owned by it. Messages sent to
// the owner are appended to `received`; messages sent to the settings window are dropped.
// Holds pointers into itself: initialise it in place and do not copy or move it after.
struct StandinWindows {
    StandinWindow owner;
    StandinWindow settings;
    std::vector<ReceivedMessage> received;
};

// Links settings -> owner, installs the owner's recording procedure and clears
// `received`. `settings` is the handle to pass to host_send_message.
void standin_windows_init(StandinWindows* windows);
#endif
