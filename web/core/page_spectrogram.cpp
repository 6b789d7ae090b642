#include "core/page_spectrogram.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "tool/analysis/detect.h"
#include "tool/analysis/spectrum.h"
#include "tool/analysis/tool_error.h"

namespace {

// Row r covers [edge(r), edge(r + 1)) Hz on the logarithmic axis.
double row_edge(int32_t r, int32_t rows, double high_hz)
{
    return kPictureLowHz * std::pow(high_hz / kPictureLowHz, double(r) / rows);
}

uint8_t level_byte(double power)
{
    const double db = std::clamp(to_db(power), kPictureFloorDb, 0.0);
    return uint8_t(std::lrint((db - kPictureFloorDb) / -kPictureFloorDb * 255));
}

} // namespace

std::string page_spectrogram(const Audio& audio, int32_t columns, int32_t rows, std::vector<uint8_t>* picture)
{
    // The detector's block: bins as fine as the tones it reports.
    const int32_t n = std::min(analysis_length(audio.rate), segment_length(audio.frames(), 1 << 30));
    if (columns < 1 || rows < 1 || audio.frames() < n) throw ToolError(ErrorCode::kTooLittleToDraw, {});
    const double high_hz = audio.rate / 2.0;
    const double bin_hz = double(audio.rate) / n;
    // Rows narrower than a bin repeat the bin under them.
    std::vector<int32_t> lo(static_cast<size_t>(rows)), hi(static_cast<size_t>(rows));
    for (int32_t r = 0; r < rows; ++r) {
        lo[r] = std::min(n / 2, int32_t(std::floor(row_edge(r, rows, high_hz) / bin_hz + 0.5)));
        hi[r] = std::max(lo[r], std::min(n / 2, int32_t(std::floor(row_edge(r + 1, rows, high_hz) / bin_hz + 0.5)) - 1));
    }
    picture->assign(size_t(columns) * size_t(rows), 0);
    const int64_t frames = audio.frames();
    // Blocks a quarter block apart across each column's span, at least one; all of them
    // planned first, so that they are transformed side by side as the detector's are.
    std::vector<int64_t> blocks(size_t(columns) + 1, 0), firsts;
    for (int32_t c = 0; c < columns; ++c) {
        const int64_t span_first = frames * c / columns, span_end = frames * (c + 1) / columns;
        const int64_t count = std::max<int64_t>(1, std::min<int64_t>(8, (span_end - span_first) / (n / 4)));
        for (int64_t b = 0; b < count; ++b) {
            const int64_t centre = span_first + (span_end - span_first) * (2 * b + 1) / (2 * count);
            firsts.push_back(std::clamp<int64_t>(centre - n / 2, 0, frames - n));
        }
        blocks[size_t(c) + 1] = blocks[size_t(c)] + count;
    }
    BlockSeries series(n, audio.samples.data(), audio.channels, firsts);
    std::vector<double> column(static_cast<size_t>(rows));
    for (int32_t c = 0; c < columns; ++c) {
        std::fill(column.begin(), column.end(), 0.0);
        for (int64_t b = blocks[size_t(c)]; b < blocks[size_t(c) + 1]; ++b) {
            const std::vector<double>& power = series.next();
            for (int32_t r = 0; r < rows; ++r)
                for (int32_t k = lo[r]; k <= hi[r]; ++k) column[r] = std::max(column[r], power[k]);
        }
        for (int32_t r = 0; r < rows; ++r) (*picture)[size_t(c) * rows + r] = level_byte(column[r]);
    }
    return fmt::format("{{\"columns\": {}, \"rows\": {}, \"block\": {}, \"low_hz\": {}, \"high_hz\": {}, "
                       "\"floor_db\": {}}}",
                       columns, rows, n, kPictureLowHz, high_hz, kPictureFloorDb);
}
