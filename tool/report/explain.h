#pragma once
// Why each candidate the detector looked at is not a tone of its own: one line per
// candidate, with the stage that dropped it and the figure against its limit.
#include <cstdint>
#include <string>

#include "tool/analysis/detect.h"

// A stable name for the reason, as JSON spells it: "note_partial".
const char* drop_reason_name(DropReason reason);

// A stable name for the stage, as JSON spells it: "runs", "looks", "lines", "rules",
// "pieces", "extent", "families" or "surround".
const char* drop_stage(DropStage stage);

// The reason in words with its figures: "starts with another partial (1423.0 Hz, 12 ms apart)".
std::string drop_text(const Dropped& d);

// Every dropped candidate, one line each, in the order the stages dropped them.
std::string explain_text(const Detection& d, int32_t rate);
