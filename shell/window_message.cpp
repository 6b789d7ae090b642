#include "render/render_key.h"
#include "render/render_span.h"
#include "shell/callbacks.h"
#include "shell/win32_ui.h"

int32_t TULM_CDECL window_message(void* window, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam)
{
    switch (message) {
    case 0x0100:  // key down
    case 0x0101:  // key up
    case 0x020A:  // mouse wheel
        // The settings window has no use for them; its owner (the host's main window)
        // handles shortcuts and scrolling.
        if (void* owner = ui_owner_of(window)) ui_send(owner, message, wparam, lparam);
        return 0;
    case kHostNotifyA:
    case kHostNotifyB:
        clear_key();
        discard_span();
        return 0;
    default:
        return 0;
    }
}
