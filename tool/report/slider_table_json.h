#pragma once
// `tulm table --json`: the slider table's cells as one JSON object, for a program to read
// instead of the text's columns. The same cells as slider_table_text, from the same
// tone_cell, so the two cannot disagree.
#include <string>

#include "tool/report/slider_table_text.h"

std::string slider_table_json(const SliderTableRequest& request, const Settings& base, const SliderRanges& ranges);
