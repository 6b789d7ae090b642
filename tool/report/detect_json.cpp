#include "tool/report/detect_json.h"

#include <fmt/format.h>

#include "tool/report/explain.h"
#include "tool/report/json.h"
#include "tool/report/report.h"

namespace {

std::string seconds(int64_t sample, int32_t rate) { return json_number(double(sample) / rate); }

// A place in the file three ways: sample frame, seconds and the video frame holding it.
std::string place(const DetectFacts& f, int64_t sample)
{
    return fmt::format("{{\"sample_frame\": {}, \"seconds\": {}, \"video_frame\": {}}}", sample,
                       seconds(sample, f.rate), video_frame_of(sample, f.rate, f.video_rate_num, f.video_rate_den));
}

std::string tone_json(const DetectFacts& f, const Tone& t, const char* indent)
{
    std::string harmonics;
    for (const Harmonic& h : t.harmonics)
        harmonics += fmt::format("{}{{\"order\": {}, \"hz\": {}, \"level_dbfs\": {}, \"relative_db\": {}}}",
                                 harmonics.empty() ? "" : ", ", h.order, json_number(h.hz),
                                 json_number(h.level_dbfs), json_number(h.relative_db));
    return fmt::format("{{\n{0}  \"hz\": {1}, \"level_dbfs\": {2}, \"above_floor_db\": {3}, \"drift_hz\": {4}, "
                       "\"level_range_db\": {5},\n"
                       "{0}  \"start\": {6}, \"end\": {7}, \"duration_s\": {8},\n"
                       "{0}  \"from_region_start\": {9}, \"to_region_end\": {10},\n"
                       "{0}  \"over_band_db\": {13}, \"audibility_db\": {14},\n"
                       "{0}  \"hum\": {11}, \"notches\": {15}, \"harmonics\": [{12}]\n{0}}}",
                       indent, json_number(t.hz), json_number(t.level_dbfs), json_number(t.above_floor_db),
                       json_number(t.drift_hz), json_number(t.level_range_db), place(f, t.first), place(f, t.end),
                       json_number(double(t.end - t.first) / f.rate), json_bool(t.from_region_start),
                       json_bool(t.to_region_end), json_bool(!t.harmonics.empty()), harmonics,
                       json_number(t.over_band_db), json_number(t.audibility_db), notches_for(t));
}

std::string sliders_json(const Settings& s)
{
    std::string sliders;
    for (int i = 0; i < kSliderCount; ++i) sliders += fmt::format("\"{}\": {}, ", kSliderNames[i], s.slider[i]);
    return fmt::format("{{{}\"use_window\": {}}}", sliders, json_bool(s.use_window));
}

std::string check_json(const DetectFacts& f, const CutCheck& k)
{
    const std::string left =
        k.goes_on ? fmt::format("{{\"start\": {}, \"end\": {}, \"to_where_looked\": {}}}", place(f, k.left_first),
                                place(f, k.left_end), json_bool(k.left_to_look_end))
                  : "null";
    const std::string next =
        k.has_next ? fmt::format("{{\"start_video_frame\": {}, \"stretch_start\": {}, \"settings\": {}, "
                                 "\"render_command\": {}}}",
                                 k.next.placement.start_frame, place(f, k.next.stretch_first),
                                 sliders_json(k.next.settings), json_string(render_line(k.next, notched_name(f.path))))
                   : "null";
    return fmt::format("{{\"looked\": {{\"start\": {}, \"end\": {}}}, \"goes_on\": {}, \"still_sounds\": {},\n"
                       "      \"extent\": {{\"start\": {}, \"end\": {}}}, \"cut_db\": {}, \"weak\": {},\n"
                       "      \"next_selection\": {}}}",
                       place(f, k.look_first), place(f, k.look_end), json_bool(k.goes_on), left,
                       place(f, k.extent_first), place(f, k.extent_end), json_number(k.cut_db), json_bool(k.weak), next);
}

std::string plan_json(const DetectFacts& f, const PassPlan& p)
{
    std::string passes, input = f.path;
    for (size_t i = 0; i < p.passes.size(); ++i) {
        const Fit& x = p.passes[i];
        passes += fmt::format("{}\n        {{\"start_video_frame\": {}, \"stretch\": {{\"start\": {}, \"end\": {}}}, "
                              "\"full_cut_until\": {},\n         \"settings\": {}, \"render_command\": {},\n"
                              "         \"program_change_db\": {}, \"program_dip_db\": {}, \"program_added_db\": {}}}",
                              i == 0 ? "" : ",", x.placement.start_frame, place(f, x.stretch_first),
                              place(f, x.stretch_first + x.notch.length), place(f, x.cut_end), sliders_json(x.settings),
                              json_string(render_line(x, input)), json_number(p.program[i].change_db),
                              json_number(p.program[i].dip_db), json_number(p.program[i].added_db));
        input = notched_name(input);
    }
    const CutCheck& last = p.checks.back();
    const std::string left =
        p.goes_on ? fmt::format("{{\"start\": {}, \"end\": {}, \"to_where_looked\": {}}}", place(f, last.left_first),
                                place(f, last.left_end), json_bool(last.left_to_look_end))
                  : "null";
    return fmt::format("{{\"passes\": [{}\n      ],\n      \"goes_on\": {}, \"still_sounds\": {},\n"
                       "      \"extent\": {{\"start\": {}, \"end\": {}}}, \"cut_db\": {}, \"weak\": {}}}",
                       passes, json_bool(p.goes_on), left, place(f, p.extent_first), place(f, p.extent_end),
                       json_number(p.cut_db), json_bool(p.weak));
}

std::string chosen_json(const DetectFacts& f, const ChosenTone& c)
{
    const Fit& fit = c.fit;
    const Settings& s = fit.settings;
    const NotchGeometry& g = fit.notch;
    std::string trials;
    for (const FitTrial& t : fit.trials)
        trials += fmt::format("{}\n      {{\"fade\": {}, \"use_window\": {}, \"step_start\": {}, \"cut_db\": {}}}",
                              trials.empty() ? "" : ",", t.fade, json_bool(t.use_window), json_number(t.step_start, 4),
                              json_number(t.cut_db));
    std::string warnings;
    for (const std::string& w :
         fit_warnings(fit, c.tone, f.rate, c.checked ? &c.check : nullptr, c.checked ? &c.plan : nullptr))
        warnings += (warnings.empty() ? "" : ", ") + json_string(w);
    std::string remaining;
    for (const Harmonic& h : c.tone.harmonics)
        remaining += fmt::format("{}{}", remaining.empty() ? "" : ", ", json_number(h.hz));
    const std::string second = fit.too_long ? place(f, fit.cut_end) : "null";
    return fmt::format(
        "{{\n    \"tone\": {},\n    \"detected\": {},\n"
        "    \"settings\": {},\n"
        "    \"render_command\": {},\n"
        "    \"selection\": {{\"start_video_frame\": {}, \"stretch_start\": {}, \"video_rate\": \"{}/{}\"}},\n"
        "    \"fft_size\": {},\n"
        "    \"notch\": {{\"centre_hz\": {}, \"offset_hz\": {}, \"low_hz\": {}, \"high_hz\": {}, \"width_hz\": {}, "
        "\"reaches_speech_band\": {}, \"band\": {}}},\n"
        "    \"stretch\": {{\"start\": {}, \"end\": {}, \"full_cut_until\": {}, \"fade_frames\": {}, "
        "\"tail_frames\": {}}},\n"
        "    \"trials\": [{}\n    ],\n"
        "    \"predicted\": {{\"fade\": {}, \"use_window\": {}, \"step_start\": {}, \"input_step_start\": {}, "
        "\"cut_db\": {}}},\n"
        "    \"too_long\": {}, \"second_selection\": {}, \"starts_too_early\": {},\n"
        "    \"check\": {},\n"
        "    \"plan\": {},\n"
        "    \"harmonics_left\": [{}],\n"
        "    \"warnings\": [{}]\n  }}",
        tone_json(f, c.tone, "    "), json_bool(c.detected), sliders_json(s), json_string(render_line(fit, f.path)),
        fit.placement.start_frame, place(f, fit.stretch_first), fit.placement.video_rate_num,
        fit.placement.video_rate_den, g.n, json_number(g.centre_hz), json_number(g.centre_hz - c.tone.hz),
        json_number(g.low_hz), json_number(g.high_hz), json_number(g.high_hz - g.low_hz),
        json_bool(reaches_speech_band(g.low_hz, g.high_hz)), json_string(band_text(g.low_hz, g.high_hz)),
        place(f, fit.stretch_first), place(f, fit.stretch_first + g.length), place(f, fit.cut_end), g.fade, g.quarter,
        trials, fit.chosen.fade, json_bool(fit.chosen.use_window), json_number(fit.chosen.step_start, 4),
        json_number(fit.input_step_start, 4), json_number(fit.chosen.cut_db), json_bool(fit.too_long), second,
        json_bool(fit.starts_too_early), c.checked ? check_json(f, c.check) : "null",
        c.checked ? plan_json(f, c.plan) : "null", remaining, warnings);
}

} // namespace

std::string detect_json(const DetectFacts& f, const Detection& d, const ChosenTone* chosen)
{
    std::string tones;
    for (const Tone& t : d.tones) tones += (tones.empty() ? "\n    " : ",\n    ") + tone_json(f, t, "    ");
    std::string dropped;
    for (const Dropped& x : d.dropped)
        dropped +=
            fmt::format("{}\n    {{\"hz\": {}, \"start\": {}, \"end\": {}, \"stage\": \"{}\", \"reason\": \"{}\", "
                        "\"figure\": {}, \"limit\": {}, \"other_hz\": {}, \"text\": {}}}",
                        dropped.empty() ? "" : ",", json_number(x.hz), place(f, x.first), place(f, x.end),
                        drop_stage(x.stage), drop_reason_name(x.reason), json_number(x.figure), json_number(x.limit),
                        json_number(x.other_hz), json_string(drop_text(x)));
    return fmt::format("{{\n  \"file\": {{\"path\": {}, \"rate\": {}, \"channels\": {}, \"frames\": {}, "
                       "\"seconds\": {}, \"clips\": {}, \"clipping_harmonics\": {}}},\n"
                       "  \"video_rate\": {{\"num\": {}, \"den\": {}}},\n"
                       "  \"region\": {{\"start\": {}, \"end\": {}}},\n"
                       "  \"resolution_hz\": {},\n"
                       "  \"tones\": [{}{}],\n"
                       "  \"dropped\": [{}{}],\n"
                       "  \"chosen\": {}\n}}\n",
                       json_string(f.path), f.rate, f.channels, f.frames, seconds(f.frames, f.rate), json_bool(f.clips),
                       f.conversion_harmonics, f.video_rate_num, f.video_rate_den, place(f, f.region_first),
                       place(f, f.region_end), json_number(d.resolution_hz), tones, tones.empty() ? "" : "\n  ",
                       dropped, dropped.empty() ? "" : "\n  ", chosen ? chosen_json(f, *chosen) : "null");
}
