// The registration record and the library's only export.
#include "render/render_span.h"
#include "render/slider_table.h"
#include "shell/callbacks.h"
#include "shell/host_key.h"
#include "shell/host_interface.h"

// Writable: the host fills the value pointers and its service table.
static FilterTable s_filter_table = {
    kFilterFlags,
    {0, 0},
    "Pellomar",
    kSliderCount,
    kSliderLabels,
    kSliderDefaults,
    kSliderMinima,
    kSliderMaxima,
    kCheckCount,
    kCheckLabels,
    kCheckDefaults,
    process_audio,
    {nullptr, nullptr, nullptr},
    window_message,
    nullptr,
    nullptr,
    {0, 0},
    "Pellomar Ver. 0.3.1 by Orvane",
    {0, 0},
    nullptr,
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// The render buffers start empty (null, length 0) and freeing null is harmless, so
// clearing the key and dropping any span a previous load left is all the set-up the
// renderer needs.
extern "C"
#if !defined(_WIN32)
__attribute__((visibility("default")))
#endif
FilterTable* TULM_CDECL GetFilterTable(void)
{
    clear_key();
    discard_span();
    return &s_filter_table;
}
