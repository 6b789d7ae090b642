#include "tool/session/whole_cut.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tool/analysis/tool_error.h"
#include "tool/session/plugin_session.h"
#include "tool/session/switching.h"

namespace {

// The copy sounds at -6 dBFS, where the 16-bit samples carry what the notch leaves of it
// some 90 dB down.
constexpr double kCopyAmplitude = 16384;

// The copy's value at frame `at` of the window.
int16_t copy_sample(const ToneCopy& copy, int32_t rate, int64_t frame)
{
    const double at = double(frame);
    const double g =
        (copy.from_start ? (at >= double(copy.first) ? 1.0 : 0.0)
                         : switch_gate(at - double(copy.first), copy.switch_frames)) *
        (copy.to_end ? (at < double(copy.end) ? 1.0 : 0.0) : switch_gate(double(copy.end) - at, copy.switch_frames));
    if (g == 0) return 0;
    return int16_t(std::lrint(kCopyAmplitude * g * std::sin(2 * M_PI * copy.hz * at / rate)));
}

bool same_copy(const ToneCopy& a, const ToneCopy& b)
{
    return a.hz == b.hz && a.first == b.first && a.end == b.end && a.switch_frames == b.switch_frames &&
           a.from_start == b.from_start && a.to_end == b.to_end;
}

// The copy's values over frames [from, to) of the window, in `kept`. A fit tries width
// after width on one copy over the same frames: the values `kept` holds are used again,
// and frames they cover are taken from them (a sine a frame was most of a try's time
// where the library's is slow, as WebAssembly's is).
void make_copy(const Audio& window, const ToneCopy& copy, int64_t from, int64_t to, CopyValues* kept)
{
    if (!same_copy(kept->copy, copy) || kept->rate != window.rate) kept->values.clear();
    const int64_t kept_from = kept->from, kept_to = kept_from + int64_t(kept->values.size());
    if (!kept->values.empty() && from >= kept_from && to <= kept_to) return;
    // The frames asked for and those kept, when they meet: the next try may ask for either.
    const bool meets = !kept->values.empty() && from <= kept_to && to >= kept_from;
    const int64_t lo = meets ? std::min(from, kept_from) : from, hi = meets ? std::max(to, kept_to) : to;
    std::vector<int16_t> values(size_t(hi - lo));
    for (int64_t f = lo; f < hi; ++f)
        values[size_t(f - lo)] =
            f >= kept_from && f < kept_to ? kept->values[size_t(f - kept_from)] : copy_sample(copy, window.rate, f);
    kept->copy = copy;
    kept->rate = window.rate;
    kept->from = lo;
    kept->values = std::move(values);
}

}  // namespace

ToneCopy copy_of(const Tone& tone, int64_t first, int64_t end, double switch_frames)
{
    ToneCopy c;
    c.hz = tone.hz;
    c.first = first;
    c.end = end;
    c.switch_frames = switch_frames;
    c.from_start = tone.from_region_start;
    c.to_end = tone.to_region_end;
    return c;
}

double whole_cut_db(FilterTable& table, const Audio& window, int64_t file_frames,
                    const std::vector<PassSettings>& passes, const ToneCopy& copy, int64_t counted_end)
{
    CopyValues kept;
    return whole_cut_db(table, window, file_frames, passes, copy, &kept, counted_end);
}

double whole_cut_db(FilterTable& table, const Audio& window, int64_t file_frames,
                    const std::vector<PassSettings>& passes, const ToneCopy& copy, CopyValues* kept,
                    int64_t counted_end)
{
    int64_t from = std::max<int64_t>(0, copy.first), reads_until = 0;
    for (const PassSettings& p : passes) {
        const NotchGeometry g = notch_geometry(p.settings, window.rate);
        from = std::min(from, stretch_first_frame(window.rate, file_frames, p.placement) - window.first_frame);
        reads_until = std::max(reads_until, plugin_reads_until(window.rate, file_frames, p.placement, g.length) -
                                                window.first_frame);
    }
    if (passes.empty() || from < 0 || reads_until > window.frames()) throw ToolError(ErrorCode::kCheckReadShort, {});
    // The copy's ramp reaches half its length past its end.
    const int64_t sounds_until = copy.end + int64_t(std::ceil(copy.switch_frames / 2)) + 1;
    // Frames at or past counted_end count neither way: rendering them would change nothing.
    const int64_t to = std::max(reads_until, std::min({window.frames(), sounds_until, counted_end}));
    make_copy(window, copy, from, to, kept);
    // The copy is rendered as Audio whose first_frame is the file's; what it was is read
    // from the values kept, the same in every channel.
    const int16_t* in = kept->values.data() + (from - kept->from);
    Audio out;
    out.rate = window.rate;
    out.channels = window.channels;
    out.first_frame = window.first_frame + from;
    out.samples.assign(size_t((to - from) * out.channels), 0);
    for (int64_t f = 0; f < to - from; ++f)
        for (int32_t k = 0; k < out.channels; ++k) out.samples[size_t(f * out.channels + k)] = in[f];
    for (const PassSettings& p : passes)
        run_plugin_window(table, &out, file_frames, notch_geometry(p.settings, window.rate).length, p.settings,
                          p.placement, false, nullptr);

    const int64_t count_from = copy.from_start ? std::max(copy.first, from) : from;
    const int64_t count_to = std::min(counted_end, copy.to_end ? std::min(copy.end, to) : to);
    double tone = 0, left = 0;
    for (int64_t at = count_from; at < count_to; ++at)
        for (int32_t k = 0; k < out.channels; ++k) {
            const size_t i = size_t((at - from) * out.channels + k);
            tone += double(in[at - from]) * in[at - from];
            left += double(out.samples[i]) * out.samples[i];
        }
    const int64_t uncut_from = std::max(copy.first, to), uncut_to = std::min(copy.end, counted_end);
    if (uncut_to > uncut_from) {
        // At its own level, as the copy holds it: half its amplitude squared a channel.
        const double uncut = double(uncut_to - uncut_from) * out.channels * kCopyAmplitude * kCopyAmplitude / 2;
        tone += uncut;
        left += uncut;
    }
    return tone > 0 ? 10 * std::log10(tone / std::max(left, 1.0)) : 0;
}
