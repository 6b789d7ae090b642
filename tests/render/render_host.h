#pragma once
// The renderer and callback tests drive the plug-in's code in-process, with the host
// stand-in attached to the module's own FilterTable.
#include <cstdint>
#include <vector>

#include "host/host_edit.h"

// The module's FilterTable, fetched once (every fetch clears the key and the span).
FilterTable* module_table();

// An edit of `media` with the selection from frame 0 and the sliders at the plug-in's
// defaults, but without a fade.
HostEdit render_edit(const HostMedia& media);

// One processing call for `frame` on `audio` (interleaved, `channels` per frame).
void process(HostEdit* edit, int32_t frame, std::vector<int16_t>* audio, int32_t channels);

// Forces a re-render with the edit's current settings and media, delivering nothing,
// and restarts the record of where the source-audio service wrote.
void render(HostEdit* edit);
