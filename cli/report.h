#pragma once
// What the commands print: settings, the stretch, a detected tone and a measurement,
// as text for people and JSON for machines.
#include <string>

#include "cli/detect.h"
#include "cli/measure.h"
#include "cli/settings.h"

// One line of slider values, spelt as the command-line options that give them.
std::string settings_line(const Settings& settings);

// Where the notch lies and which frames the stretch covers.
std::string geometry_text(const NotchGeometry& g, int64_t first_frame, int32_t rate);

std::string tone_text(const Tone& tone);

std::string measurement_text(const Measurement& m, int32_t rate);
std::string measurement_json(const Measurement& m, const Settings& settings, int32_t rate);
