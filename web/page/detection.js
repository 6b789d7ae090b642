// Reading the tool's JSON (`tulm detect --json`, docs/detect-json.md) into what the
// page shows, and a suggestion back into the dialog's values.
'use strict';

function readDetection(json) {
    const tones = json.tones.map((tone) => ({
        hz: tone.hz, level: tone.level_dbfs, first: tone.start.seconds, end: tone.end.seconds,
        firstFrame: tone.start.video_frame, endFrame: tone.end.video_frame, harmonics: tone.harmonics,
    }));
    const c = json.chosen;
    if (!c) return {tones, fit: null, fitHz: null};
    const s = readSuggestion(c);
    return {
        tones,
        fitHz: c.tone.hz,
        fit: {
            hz: c.tone.hz, detected: c.detected, startFrame: s.startFrame, fps: s.fps, values: s.values,
            lowHz: c.notch.low_hz, highHz: c.notch.high_hz, centreHz: c.notch.centre_hz,
            reachesSpeech: c.notch.reaches_speech_band, predictedCut: c.predicted.cut_db,
            tooLong: c.too_long, second: c.second_selection, startsTooEarly: c.starts_too_early,
            harmonics: c.harmonics_left,
            // The cut over the tone's whole extent, the parts outside the stretch included,
            // by every pass of the plan together.
            wholeCut: c.plan ? {db: c.plan.cut_db, weak: c.plan.weak, from: c.plan.extent.start.seconds,
                                to: c.plan.extent.end.seconds} : null,
            // Where the tone still sounds after the last pass planned.
            left: c.plan && c.plan.still_sounds ? {from: c.plan.still_sounds.start.seconds,
                                                   to: c.plan.still_sounds.end.seconds} : null,
            passes: passesOf(c, 0),
            why: c.detected ? null : whyNot(json.dropped || [], c.tone.hz, c.notch.low_hz, c.notch.high_hz),
        },
    };
}

// Why no steady tone was confirmed at a frequency the user named: of the candidates the
// detector looked at and dropped (what `--explain` lists), the one nearest that
// frequency inside the band the notch takes, worded from the table by its reason; where
// none lies there, nothing stood out of the noise to look at.
function whyNot(dropped, hz, low, high) {
    const near = dropped.filter((d) => d.hz >= low && d.hz <= high)
        .sort((a, b) => Math.abs(a.hz - hz) - Math.abs(b.hz - hz))[0];
    if (!near) return {key: 'whyNothing', values: {}};
    const named = 'why' + near.reason.replace(/(^|_)(\w)/g, (_, __, c) => c.toUpperCase());
    // A reason the table has no words for yet still gets a plain sentence.
    const key = named in TEXTS.ja ? named : 'whyOther';
    // Drifts and durations are small numbers whose second decimal matters.
    const fine = near.reason === 'not_steady' || near.reason === 'too_short' || near.reason === 'unsteady_within';
    return {key, values: {hz: near.hz.toFixed(1), other: near.other_hz.toFixed(1), order: Math.round(near.figure),
                          figure: near.figure.toFixed(fine ? 2 : 1), limit: near.limit.toFixed(fine ? 2 : 1)}};
}

// The slider values in the dialog's order, then the check box, from a suggestion:
// `suggestion` is the JSON's `chosen` object (or the whole JSON): its settings and its
// selection's first video frame at its video rate.
function readSuggestion(suggestion) {
    const c = suggestion && suggestion.chosen !== undefined ? suggestion.chosen : suggestion;
    const settings = c && c.settings, selection = c && c.selection;
    if (!settings || !selection) throw {key: 'errorSuggestion'};
    const values = valuesOf(settings);
    const startFrame = Number(selection.start_video_frame);
    if (values.some((v) => !Number.isInteger(v)) || !Number.isInteger(startFrame)) throw {key: 'errorSuggestion'};
    return {values, startFrame, fps: String(selection.video_rate)};
}

function valuesOf(settings) {
    const values = state.dialog.sliders.map((slider) => Number(settings[slider.name]));
    values.push(settings[state.dialog.check.name] ? 1 : 0);
    return values;
}

// The plug-in's own texts, which it holds in the host's code page.
function cp932(bytes) {
    return new TextDecoder('shift_jis').decode(new Uint8Array(bytes));
}
