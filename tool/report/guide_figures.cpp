#include "tool/report/guide_figures.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "render/plan_arithmetic.h"
#include "tool/analysis/common_tones.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/tool_error.h"
#include "tool/report/slider_table_text.h"
#include "tool/report/text_columns.h"

namespace {

// How far the real centre lies above frequency x 10 Hz: the exact entry spacing over
// the one the plug-in assumes.
double centre_ratio(int32_t rate, int32_t order)
{
    const int64_t n = plan_block_size(order);
    return double(rate) / (2.0 * double(n)) / plan_entry_spacing(rate, n);
}

// The guides' table of block sizes at one rate, headed in the guide's language: FFT
// order, block in samples and ms, centre step, ratio, and the band the default width
// removes around the example's tone. Every column right-aligned to its heading.
std::string steps_rows(int32_t rate, double tone_hz, const Settings& base, const SliderRanges& ranges, bool ja)
{
    const std::string band = ja ? fmt::format("幅 {} で削る広さ", base.slider[kWidth])
                                : fmt::format("band at 幅 {}", base.slider[kWidth]);
    const std::vector<std::string> heads = ja ? std::vector<std::string>{"FFT", "ブロック長", "時間", "中心の刻み", "倍率", band}
                                              : std::vector<std::string>{"FFT", "block", "time", "step", "ratio", band};
    std::vector<std::vector<std::string>> rows;
    for (int32_t order = ranges.minimum[kFftOrder]; order <= ranges.maximum[kFftOrder]; ++order) {
        const int64_t n = plan_block_size(order);
        const ToneCell c = tone_cell(tone_hz, base, ranges, rate, order, base.slider[kWidth]);
        rows.push_back({
            fmt::format("{}", order),
            fmt::format("{}", n),
            fmt::format("{:.1f} ms", 1000.0 * double(n) / rate),
            fmt::format("{:.1f} Hz", centre_step_hz(rate, order, ranges.minimum[kFrequency], ranges.maximum[kFrequency])),
            fmt::format("x{:.2f}", centre_ratio(rate, order)),
            fmt::format("{:.0f} Hz", c.notch.high_hz - c.notch.low_hz),
        });
    }
    std::vector<int> widths;
    for (const std::string& h : heads) widths.push_back(display_width(h));
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], display_width(row[i]));
    std::string out = fmt::format("    {}\n  ", khz_text(rate));
    for (size_t i = 0; i < heads.size(); ++i) out += pad_left(heads[i], widths[i] + 3);
    out += "\n";
    for (const auto& row : rows) {
        out += "  ";
        for (size_t i = 0; i < row.size(); ++i) out += pad_left(row[i], widths[i] + 3);
        out += "\n";
    }
    return out;
}

std::string ms(int64_t frames, int32_t rate)
{
    return fmt::format("{:.0f}", 1000.0 * double(frames) / rate);
}

void add_slider_figures(std::vector<GuideFigure>* f, const Settings& d, const SliderRanges& r)
{
    const char* names[kSliderCount] = {"freq", "seconds", "fft", "width", "fade"};
    for (int i = 0; i < kSliderCount; ++i) {
        f->push_back({fmt::format("{}_min", names[i]), fmt::format("{}", r.minimum[i])});
        f->push_back({fmt::format("{}_max", names[i]), fmt::format("{}", r.maximum[i])});
        f->push_back({fmt::format("{}_default", names[i]), fmt::format("{}", d.slider[i])});
    }
    f->push_back({"block_min", fmt::format("{}", plan_block_size(r.minimum[kFftOrder]))});
    f->push_back({"block_max", fmt::format("{}", plan_block_size(r.maximum[kFftOrder]))});
    f->push_back({"freq_unit_hz", fmt::format("{}", kFrequencyUnitHz)});
}

void add_example_figures(std::vector<GuideFigure>* f, const GuideExample& e)
{
    const GuideClip& c = e.clip;
    const Settings& s = e.fit.settings;
    const NotchGeometry& g = e.fit.notch;
    f->push_back({"ex_rate_khz", fmt::format("{:g}", c.rate / 1000.0)});
    f->push_back({"ex_fps", fmt::format("{:g}", double(c.fps_num) / c.fps_den)});
    f->push_back({"ex_tone_hz", fmt::format("{:g}", c.tone_hz)});
    f->push_back({"ex_tone_khz", fmt::format("{:g}", c.tone_hz / 1000)});
    f->push_back({"ex_tone_on", fmt::format("{:.1f}", c.tone_on)});
    f->push_back({"ex_tone_off", fmt::format("{:.1f}", c.tone_off)});
    f->push_back({"ex_tone_frame", fmt::format("{}", e.tone_frame)});
    f->push_back({"ex_start_frame", fmt::format("{}", e.fit.placement.start_frame)});
    f->push_back({"ex_frames_earlier", fmt::format("{}", e.tone_frame - e.fit.placement.start_frame)});
    f->push_back({"ex_block_samples", fmt::format("{}", g.n)});
    f->push_back({"ex_block_ms", ms(g.n, c.rate)});
    f->push_back({"ex_quarter_ms", ms(g.quarter, c.rate)});
    f->push_back({"ex_guard_frames", fmt::format("{}", kGuardFrames)});
    f->push_back({"ex_frequency", fmt::format("{}", s.slider[kFrequency])});
    f->push_back({"ex_seconds", fmt::format("{}", s.slider[kSeconds])});
    f->push_back({"ex_fft", fmt::format("{}", s.slider[kFftOrder])});
    f->push_back({"ex_width", fmt::format("{}", s.slider[kWidth])});
    f->push_back({"ex_fade", fmt::format("{}", s.slider[kFade])});
    f->push_back({"ex_window_ja", s.use_window ? "オン" : "オフ"});
    f->push_back({"ex_window_en", s.use_window ? "on" : "off"});
    f->push_back({"ex_centre_hz", fmt::format("{:.1f}", g.centre_hz)});
    f->push_back({"ex_band_low", fmt::format("{:.0f}", g.low_hz)});
    f->push_back({"ex_band_high", fmt::format("{:.0f}", g.high_hz)});
    f->push_back({"ex_cut_db", fmt::format("{:.1f}", e.cut_db)});
    f->push_back({"ex_cut_on_tone_db", fmt::format("{:.1f}", e.cut_on_tone_db)});
    f->push_back({"ex_cut_window_db", fmt::format("{:.1f}", e.cut_window_db)});
    f->push_back({"ex_table_width", fmt::format("{}", e.table_width)});
    f->push_back({"ex_cut_table_width_db", fmt::format("{:.1f}", e.cut_table_width_db)});
}

} // namespace

double centre_step_hz(int32_t rate, int32_t order, int32_t lowest, int32_t highest)
{
    const int64_t n = plan_block_size(order);
    double step = 0;
    int64_t previous = -1;
    for (int32_t f = lowest; f <= highest; ++f) {
        const int64_t c = plan_notch_entry(f, rate, n);
        if (c >= n) break;
        if (previous >= 0 && c != previous) {
            const double hz = double(c - previous) * rate / (2.0 * double(n));
            if (step == 0 || hz < step) step = hz;
        }
        previous = c;
    }
    return step;
}

int32_t first_value_past_top(int32_t rate, int32_t order, int32_t lowest, int32_t highest)
{
    const int64_t n = plan_block_size(order);
    for (int32_t f = lowest; f <= highest; ++f)
        if (plan_notch_entry(f, rate, n) >= n) return f;
    return 0;
}

std::vector<GuideFigure> guide_figures(FilterTable& table, const GuideExample& example)
{
    const Settings d = default_settings(table);
    const SliderRanges r = slider_ranges(table);
    std::vector<GuideFigure> f;
    add_slider_figures(&f, d, r);
    f.push_back({"information", table.information ? table.information : ""});
    f.push_back({"rec_fft", fmt::format("{}", kRecommendedOrder)});
    std::string steps_ja, steps_en;
    std::vector<int32_t> tops;
    for (int32_t rate : kGuideRates) {
        f.push_back({fmt::format("ratio_{}_rec", rate), fmt::format("{:.2f}", centre_ratio(rate, kRecommendedOrder))});
        const int32_t top = first_value_past_top(rate, kRecommendedOrder, r.minimum[kFrequency], r.maximum[kFrequency]);
        if (top == 0)
            throw ToolError(fmt::format("every frequency value places the notch inside the spectrum at {} Hz, FFT {}, "
                                        "so the guides' warning about high values is wrong",
                                        rate, kRecommendedOrder));
        f.push_back({fmt::format("past_top_{}_rec", rate), fmt::format("{}", top)});
        tops.push_back(top);
        steps_ja += (steps_ja.empty() ? "" : "\n") + steps_rows(rate, example.clip.tone_hz, d, r, true);
        steps_en += (steps_en.empty() ? "" : "\n") + steps_rows(rate, example.clip.tone_hz, d, r, false);
    }
    // Where high values stop removing anything: said once when every rate agrees.
    std::string top_ja, top_en;
    if (std::all_of(tops.begin(), tops.end(), [&](int32_t t) { return t == tops.front(); })) {
        top_ja =
            fmt::format("FFT {} ではサンプリングレートにかかわらず周波数 {} 以上", kRecommendedOrder, tops.front());
        top_en =
            fmt::format("from frequency {} with FFT {}, whatever the sampling rate", tops.front(), kRecommendedOrder);
    } else {
        for (size_t i = 0; i < tops.size(); ++i) {
            top_ja += fmt::format("{}{:g} kHz・FFT {} では周波数 {} 以上", i ? "、" : "", kGuideRates[i] / 1000.0,
                                  kRecommendedOrder, tops[i]);
            top_en += fmt::format("{}from frequency {} at {:g} kHz with FFT {}", i ? ", " : "", tops[i],
                                  kGuideRates[i] / 1000.0, kRecommendedOrder);
        }
    }
    f.push_back({"past_top_ja", top_ja});
    f.push_back({"past_top_en", top_en});

    // The template's line ends the block.
    steps_ja.pop_back();
    steps_en.pop_back();
    f.push_back({"steps_ja", steps_ja});
    f.push_back({"steps_en", steps_en});

    const int32_t rate = example.clip.rate;
    f.push_back({"hum_east", fmt::format("{:g}", kHumEastHz)});
    f.push_back({"hum_west", fmt::format("{:g}", kHumWestHz)});
    for (const auto& [name, order] : {std::pair<const char*, int32_t>{"default", d.slider[kFftOrder]},
                                      std::pair<const char*, int32_t>{"min_fft", r.minimum[kFftOrder]}}) {
        const ToneCell c = tone_cell(kHumEastHz, d, r, rate, order, d.slider[kWidth]);
        f.push_back({fmt::format("hum_low_{}", name), fmt::format("{:.0f}", c.notch.low_hz)});
        f.push_back({fmt::format("hum_high_{}", name), fmt::format("{:.0f}", c.notch.high_hz)});
    }
    const NotchGeometry g = notch_geometry(d, rate);
    f.push_back({"fade_default_seconds", fmt::format("{:.2f}", double(g.fade) / rate)});
    f.push_back({"span_default_seconds", fmt::format("{:.2f}", double(g.length) / rate)});
    f.push_back({"speech_low", fmt::format("{:g}", kSpeechLowHz)});
    f.push_back({"speech_high", fmt::format("{:g}", kSpeechHighHz)});
    std::string ja, en;
    for (size_t i = 0; i < kTableRates.size(); ++i) {
        ja += (i ? "、" : "") + khz_text(kTableRates[i]);
        const std::string k = fmt::format("{:g}", kTableRates[i] / 1000.0);
        en += (i == 0 ? "" : i + 1 == kTableRates.size() ? " and " : ", ") + k;
    }
    f.push_back({"table_rates_ja", ja});
    f.push_back({"table_rates_en", en + " kHz"});
    add_example_figures(&f, example);
    return f;
}

std::string fill_guide(const std::string& text, const std::vector<GuideFigure>& figures)
{
    std::map<std::string, std::string> by_name;
    for (const GuideFigure& f : figures) by_name[f.name] = f.value;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t at = text.find('@', i);
        if (at == std::string::npos) break;
        size_t end = at + 1;
        while (end < text.size() && (std::islower(static_cast<unsigned char>(text[end])) ||
                                     std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '_'))
            ++end;
        if (end == at + 1 || end >= text.size() || text[end] != '@') {
            out.append(text, i, at + 1 - i);
            i = at + 1;
            continue;
        }
        const std::string name = text.substr(at + 1, end - at - 1);
        const auto found = by_name.find(name);
        if (found == by_name.end())
            throw ToolError("the guide names @" + name + "@, which is no figure the tool computes");
        out.append(text, i, at - i);
        out += found->second;
        i = end + 1;
    }
    out.append(text, i, std::string::npos);
    return out;
}
