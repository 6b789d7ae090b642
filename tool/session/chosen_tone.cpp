#include "tool/session/chosen_tone.h"

Tone in_file(Tone t, int64_t offset)
{
    t.first += offset;
    t.end += offset;
    return t;
}

Detection in_file(Detection d, int64_t offset)
{
    for (Tone& t : d.tones) t = in_file(t, offset);
    for (Dropped& x : d.dropped) {
        x.first += offset;
        x.end += offset;
    }
    return d;
}

ChosenTone choose_and_fit(FilterTable& table, const SampleSource& source, int64_t origin, int64_t file_frames,
                          const Placement& placement, const Detection& d, bool hz_given, double hz, int64_t at,
                          int64_t count)
{
    ChosenTone chosen;
    const Tone tone = hz_given ? tone_near(d, hz, at, count, &chosen.detected) : d.tones.front();
    const Audio in = fit_audio(table, source, origin, file_frames, placement, tone);
    const Tone in_window = in_file(tone, origin - in.first_frame);
    // Every fit of the tone and every pass's check read it through the same few waves.
    ToneWaves waves;
    Fit fit =
        fit_settings(table, in, file_frames, in_window, placement.video_rate_num, placement.video_rate_den, -1, &waves);
    // A frequency named where no tone was detected has no level or extent to look for.
    if (chosen.detected) {
        chosen.plan = plan_in_file(plan_passes(table, in, file_frames, in_window, fit, &waves), in.first_frame);
        chosen.check = chosen.plan.checks.front();
        chosen.checked = true;
    }
    fit.stretch_first += in.first_frame;
    fit.cut_end += in.first_frame;
    chosen.tone = in_file(tone, origin);
    chosen.fit = fit;
    return chosen;
}
