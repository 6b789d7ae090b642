#pragma once
// The tool's detect and render, over audio the page holds in memory instead of a file.
// Each follows its command step for step, so the page's answers are the tool's.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tool/analysis/audio.h"

struct FilterTable;

struct PageDetectOptions {
    std::string name;          // the file's name, standing for the tool's IN
    int32_t start_frame = -1;  // --start-frame; negative: not given
    std::string start;         // --start, a time; empty: not given
    std::string fps = "30/1";  // --fps
    std::string length;        // --length; empty: to the end
    bool hz_given = false;     // --hz
    double hz = 0;
    // Told the share of the region looked at so far (0 to 1) after each chunk, so that a
    // long file's wait shows how far it has come; may be empty.
    std::function<void(double share)> progress;
};

// What `tulm detect --json` prints for this audio. Throws ToolError as the command does.
std::string page_detect(FilterTable& table, const Audio& audio, const PageDetectOptions& options);

// `tulm render` with these slider values (kSliderCount of them, then the check box) from
// video frame `start_frame`: *processed receives the plug-in's samples for the stretch
// and the result is measure's JSON with where the stretch lies in the file.
std::string page_render(FilterTable& table, const Audio& audio, const int32_t* values, int32_t start_frame,
                        const std::string& fps, std::vector<int16_t>* processed);

// The dialog's texts (CP932 bytes, as numbers), ranges and defaults, and speech's band
// (Hz), as JSON.
std::string page_dialog(const FilterTable& table);
