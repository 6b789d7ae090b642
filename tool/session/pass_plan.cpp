#include "tool/session/pass_plan.h"

#include <algorithm>

PassPlan plan_passes(FilterTable& table, const Audio& audio, int64_t file_frames, const Tone& tone, const Fit& first,
                     ToneWaves* waves)
{
    PassPlan p;
    p.passes.push_back(first);
    // Each pass renders the one before's result: only the last result is held beside
    // the window.
    Audio held;
    const Audio* input = &audio;
    Tone left = tone;
    for (;;) {
        const Fit& pass = p.passes.back();
        Audio after = pass_output(table, *input, file_frames, pass);
        // Only the first pass's own cut is told (as the check's); the rest count in the plan's.
        p.checks.push_back(check_pass(table, *input, after, file_frames, left, pass, p.checks.empty(), waves));
        p.program.push_back(program_change(*input, after, pass.stretch_first, pass.notch.length, pass.notch));
        const CutCheck& k = p.checks.back();
        if (!k.goes_on || !k.has_next || p.passes.size() >= size_t(kMostPasses)) break;
        // A pass that starts no later than the one before would cut the same again; one
        // reaching past the audio held is past what the plan looks at.
        if (k.next.placement.start_frame <= pass.placement.start_frame || !window_holds(audio, file_frames, k.next))
            break;
        p.passes.push_back(k.next);
        left = k.rest;
        held = std::move(after);
        input = &held;
    }
    p.goes_on = p.checks.back().goes_on;
    p.extent_first = tone.first;
    p.extent_end = tone.end;
    for (const CutCheck& k : p.checks) {
        p.extent_first = std::min(p.extent_first, k.extent_first);
        p.extent_end = std::max(p.extent_end, k.extent_end);
    }
    p.cut_db = chained_cut_db(table, audio, file_frames, tone, p.passes, p.extent_first, p.extent_end);
    p.weak = p.cut_db < kWeakCutDb;
    return p;
}

PassPlan plan_in_file(PassPlan p, int64_t offset)
{
    for (Fit& f : p.passes) {
        f.stretch_first += offset;
        f.cut_end += offset;
    }
    for (CutCheck& k : p.checks) k = check_in_file(k, offset);
    p.extent_first += offset;
    p.extent_end += offset;
    return p;
}
