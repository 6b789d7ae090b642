#include "tool/analysis/conversion_clipping.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A tone under half full scale reaches it only with other sound over it: the clipping's
// harmonics are then as much the other sound's, and a quiet tone with harmonics of its
// own in the same file (a hum under a clipped beep) keeps them.
constexpr double kOwnPeakDbfs = -6.0206;  // 20 log10(1/2)

// Read a block at a time, so a tone through a long file holds no more than one.
constexpr int64_t kBlockFrames = 1 << 14;

bool reaches_full_scale(const SampleSource& s, int64_t first, int64_t end)
{
    first = std::clamp<int64_t>(first, 0, s.frames);
    end = std::clamp<int64_t>(end, first, s.frames);
    std::vector<int16_t> block;
    for (int64_t from = first; from < end; from += kBlockFrames) {
        const int64_t to = std::min(end, from + kBlockFrames);
        block.resize(size_t(to - from) * size_t(s.channels));
        s.fill(from, to, block.data());
        for (const int16_t v : block)
            if (v >= 32767 || v <= -32768) return true;
    }
    return false;
}

}  // namespace

int32_t leave_out_conversion_harmonics(Detection* d, const SampleSource& source)
{
    int32_t left_out = 0;
    for (Tone& t : d->tones) {
        if (t.harmonics.empty() || t.level_dbfs < kOwnPeakDbfs) continue;
        if (!reaches_full_scale(source, t.first, t.end)) continue;
        left_out += int32_t(t.harmonics.size());
        // The dropped list named them the tone's harmonics; they are the conversion's. (A
        // long region's chunks list a tone at the middle of its pieces' frequencies.)
        for (Dropped& x : d->dropped)
            if (x.reason == DropReason::kHarmonic && std::fabs(x.other_hz - t.hz) <= d->resolution_hz &&
                x.first < t.end && x.end > t.first)
                x.reason = DropReason::kConversionClip;
        t.harmonics.clear();
    }
    return left_out;
}
