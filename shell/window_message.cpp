#include "render/render_span.h"
#include "shell/callbacks.h"
#include "shell/host_key.h"
#include "shell/win32_ui.h"

int32_t TULM_CDECL window_message(void* window, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam)
{
    switch (message) {
    case kMessageKeyDown:
    case kMessageKeyUp:
    case kMessageMouseWheel:
        // The settings window has no use for them; its owner (the host's main window)
        // handles shortcuts and scrolling.
        if (void* owner = ui_owner_of(window)) ui_send(owner, message, wparam, lparam);
        return 0;
    case kHostNotifyStale101:
    case kHostNotifyStale105:
        clear_key();
        discard_span();
        return 0;
    default:
        return 0;
    }
}
