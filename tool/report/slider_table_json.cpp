#include "tool/report/slider_table_json.h"

#include <fmt/format.h>

#include "tool/report/json.h"

namespace {

// One tone at one rate and FFT order; the slider values and the band are null where no
// frequency value places the notch.
std::string cell_json(const CommonTone& t, int32_t rate, int32_t order, const ToneCell& c)
{
    std::string out = fmt::format("{{\"rate\": {}, \"fft_order\": {}, \"tone_hz\": {}, \"placed\": {}", rate, order,
                                  json_number(t.hz), json_bool(c.placed));
    if (!c.placed)
        return out + ", \"frequency\": null, \"width\": null, \"centre_hz\": null, \"low_hz\": null, "
                     "\"high_hz\": null, \"tone_outside_band\": null, \"reaches_speech_band\": null}";
    return out + fmt::format(", \"frequency\": {}, \"width\": {}, \"centre_hz\": {}, \"low_hz\": {}, \"high_hz\": {}, "
                             "\"tone_outside_band\": {}, \"reaches_speech_band\": {}}}",
                             c.settings.slider[kFrequency], c.settings.slider[kWidth], json_number(c.notch.centre_hz),
                             json_number(c.notch.low_hz), json_number(c.notch.high_hz), json_bool(c.outside),
                             json_bool(c.speech));
}

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& s : items) out += (out.empty() ? "\n    " : ",\n    ") + s;
    return out.empty() ? "[]" : "[" + out + "\n  ]";
}

} // namespace

std::string slider_table_json(const SliderTableRequest& r, const Settings& base, const SliderRanges& ranges)
{
    std::vector<std::string> rates, tones, recommended, grid;
    for (int32_t rate : r.rates) rates.push_back(fmt::format("{}", rate));
    for (const CommonTone& t : r.tones)
        tones.push_back(fmt::format("{{\"hz\": {}, \"ja\": {}, \"en\": {}}}", json_number(t.hz), json_string(t.ja),
                                    json_string(t.en)));
    for (int32_t rate : r.rates)
        for (const CommonTone& t : r.tones)
            recommended.push_back(
                cell_json(t, rate, kRecommendedOrder, tone_cell(t.hz, base, ranges, rate, kRecommendedOrder, 0)));
    for (int32_t rate : r.rates)
        for (const CommonTone& t : r.tones)
            for (int32_t order = ranges.minimum[kFftOrder]; order <= ranges.maximum[kFftOrder]; ++order)
                grid.push_back(cell_json(t, rate, order, tone_cell(t.hz, base, ranges, rate, order, r.width)));
    return fmt::format("{{\n  \"recommended_fft_order\": {},\n  \"grid_width\": {},\n  \"rates\": {},\n"
                       "  \"tones\": {},\n  \"recommended\": {},\n  \"grid\": {}\n}}\n",
                       kRecommendedOrder, r.width > 0 ? fmt::format("{}", r.width) : "null", joined(rates),
                       joined(tones), joined(recommended), joined(grid));
}
