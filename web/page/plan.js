// The frame numbers the page tells the user, from the tool's JSON: the tool counts
// video frames from the file's first sample (frame 0); the host counts them from the
// project's start, where the audio may begin `offset` frames in. Pure; the page and
// node's tests run it.
'use strict';

// The video frame that holds sample frame `sample`, as the tool's report computes it
// (the hair of tolerance keeps a frame's exact first sample in that frame).
function videoFrameOf(sample, rate, num, den) {
    return Math.floor(sample * num / (den * rate) + 1e-9);
}

// The video frame that holds the time `seconds` into the file.
function videoFrameAt(seconds, num, den) {
    return Math.floor(seconds * num / den + 1e-9);
}

// The project's frame for a frame of the file, with the audio placed from project frame
// `offset` (0: at the start).
function projectFrame(fileFrame, offset) {
    return fileFrame + (offset || 0);
}

// The passes the user makes in the host, in order: where each selection starts (in the
// project's frames) and its settings. The first is the chosen settings'; a tone that
// still sounds after it has the check's next selection, which takes the first pass's
// output as its input.
function passesOf(chosen, offset) {
    if (!chosen) return [];
    const passes = [{startFrame: projectFrame(chosen.selection.start_video_frame, offset), settings: chosen.settings,
                     stretchStart: chosen.stretch.start, stretchEnd: chosen.stretch.end}];
    const next = chosen.check && chosen.check.next_selection;
    if (next) passes.push({startFrame: projectFrame(next.start_video_frame, offset), settings: next.settings,
                           stretchStart: next.stretch_start, stretchEnd: null});
    return passes;
}

// An offset as typed: a whole number of frames, 0 or more; null when it is not one.
function parseOffset(typed) {
    const s = String(typed === undefined || typed === null ? '' : typed).normalize('NFKC').trim();
    if (s === '') return 0;
    if (!/^\d{1,9}$/.test(s)) return null;
    return Number(s);
}

if (typeof module === 'object') module.exports = {videoFrameOf, videoFrameAt, projectFrame, passesOf, parseOffset};
