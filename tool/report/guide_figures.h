#pragma once
// The figures the guides quote, computed by the same code that places the notch, lays
// out the stretch, fits settings to a tone and writes the slider table; and the
// guides' templates filled with them. A guide names a figure as @name@ (lower case);
// upper-case names (@VERSION@, @DATE@) are the release's to fill.
#include <string>
#include <vector>

#include "shell/host_interface.h"
#include "tool/session/guide_example.h"

struct GuideFigure {
    std::string name;
    std::string value;   // as the guide prints it; may span lines
};

// The sampling rates the guides' table of centre steps covers.
inline const std::vector<int32_t> kGuideRates = {44100, 48000};

// Every figure: the slider ranges, the notch arithmetic at the guides' rates and the
// worked example (which runs the plug-in).
std::vector<GuideFigure> guide_figures(FilterTable& table, const GuideExample& example);

// `text` with every @name@ replaced. Throws ToolError naming a placeholder that is no
// figure, so a guide cannot ship with a hole in it.
std::string fill_guide(const std::string& text, const std::vector<GuideFigure>& figures);

// The smallest move of the notch centre, in Hz, between two frequency values within
// the slider's range at this rate and block size (0 when no two values differ).
double centre_step_hz(int32_t rate, int32_t order, int32_t lowest, int32_t highest);

// The lowest frequency value whose centre lies past the spectrum's top; 0 when none.
int32_t first_value_past_top(int32_t rate, int32_t order, int32_t lowest, int32_t highest);
