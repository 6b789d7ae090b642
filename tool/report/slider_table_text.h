#pragma once
// slider-table.txt, as `tulm table` prints it: a legend, one "recommended" block of
// FFT-13 values per sampling rate, and one grid per rate of frequency/width for every
// FFT order. Plain text whose columns line up in a Japanese Windows editor, holding
// nothing that changes between runs.
#include <cstdint>
#include <string>
#include <vector>

#include "tool/analysis/common_tones.h"
#include "tool/analysis/settings.h"

struct SliderTableRequest {
    std::vector<int32_t> rates;
    std::vector<CommonTone> tones;   // lowest first
    int32_t width = 0;               // 0: the narrowest covering width in every cell
};

// What each column and mark means; the table opens with it and `tulm table --help`
// ends with it.
std::string slider_table_legend();

std::string slider_table_text(const SliderTableRequest& request, const Settings& base, const SliderRanges& ranges);

// "44.1 kHz", "48 kHz".
std::string khz_text(int32_t rate);
