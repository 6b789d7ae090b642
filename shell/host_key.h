#pragma once
// The render key as the shell reads it from the host: the current sliders and check
// box through the FilterTable, the media information and the selection through the
// host's services.
#include <cstdint>

#include "render/render_key.h"
#include "shell/host_interface.h"

// The key the current span was rendered with. All zero at load and after a host
// notification. An all-zero key never matches a sound host (the frequency slider is at
// least 1); a damaged one whose every value is 0 does match it, which is why clearing
// the key always goes with discarding the span.
extern RenderKey g_key;

// Sets every field of g_key to 0, forcing a re-render on the next processing call.
void clear_key();

// Non-zero when the host's current values differ from g_key. Compares the sliders and
// the check box first, then asks for the media information, then for the selection,
// and stops at the first difference without calling further services. `table` must
// carry the host's value pointers and service table.
int32_t key_changed(FilterTable* table, EditHandle edit);

// Reads every key input from the host into g_key.
void capture_key(FilterTable* table, EditHandle edit);
