#pragma once
// A chunk's detection as bytes, so that the worker that looked at it can hand it to the
// worker that joins the chunks: every number as its own bits, so the joined answer is
// the one a single thread gives.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tool/analysis/detect.h"

// Appends `d` to *out.
void put_detection(const Detection& d, std::vector<uint8_t>* out);

// The detections put one after another into [bytes, bytes + size), in their order.
// Throws ToolError when the bytes end inside one.
std::vector<Detection> detections_of(const uint8_t* bytes, size_t size);
