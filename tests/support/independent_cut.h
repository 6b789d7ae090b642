#pragma once
// What the plug-in left of a tone, measured without anything of the tool's analysis: the
// file and the file without the tone (its tone-free programme, which the test made, so
// each is known alone) rendered through the plug-in with the same settings, the one less
// the other. What is left is counted over every frame of the file, so that what the
// rendering spreads before the tone's onset and past its end counts, and so does any part
// of the tone the stretch does not reach, against the tone's own energy over the file.
#include "host/plugin_loader.h"
#include "tool/analysis/audio.h"
#include "tool/analysis/settings.h"
#include "tool/session/placement.h"

// `with` and `without` are whole files of one shape; `with` less `without` is the tone.
// In dB: the tone's energy over the energy of what is left of it.
double independent_cut_db(FilterTable& table, const Audio& with, const Audio& without, const Settings& settings,
                          const Placement& placement);
