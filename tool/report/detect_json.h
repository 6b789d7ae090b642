#pragma once
// What `tulm detect` finds, as JSON for machines: the file and region, every steady
// tone, and for the chosen tone the settings that cut it and the cut they were measured
// to give. The same facts as the text output, one schema (docs/detect-json.md). A pure
// function of the results, with no file or terminal, so that every program linking it
// writes the same bytes for the same results.
#include <cstdint>
#include <string>

#include "tool/analysis/detect.h"
#include "tool/session/chosen_tone.h"
#include "tool/session/detect_use_case.h"

// `chosen` is null when no tone was chosen (none found, none named).
std::string detect_json(const DetectFacts& facts, const Detection& detection, const ChosenTone* chosen);
