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

// The passes the user makes in the host, in order, as the tool's plan gives them
// (`chosen.plan.passes`): where each selection starts, its settings, its stretch and
// what it does to the program. Every frame number is the tool's; only the audio's
// place in the project (`offset`) is added. Without a plan (a frequency named where no
// tone was found), the one selection of the chosen settings.
function passesOf(chosen, offset) {
    if (!chosen) return [];
    const plan = chosen.plan && chosen.plan.passes;
    if (!plan) return [{startFrame: projectFrame(chosen.selection.start_video_frame, offset), settings: chosen.settings,
                        stretchStart: chosen.stretch.start, stretchEnd: chosen.stretch.end, program: null}];
    return plan.map((pass) => ({startFrame: projectFrame(pass.start_video_frame, offset), settings: pass.settings,
                                stretchStart: pass.stretch.start, stretchEnd: pass.stretch.end,
                                program: {change: pass.program_change_db, dip: pass.program_dip_db,
                                          added: pass.program_added_db}}));
}

// An offset as typed: a whole number of frames, 0 or more; null when it is not one.
function parseOffset(typed) {
    const s = String(typed === undefined || typed === null ? '' : typed).normalize('NFKC').trim();
    if (s === '') return 0;
    if (!/^\d{1,9}$/.test(s)) return null;
    return Number(s);
}

if (typeof module === 'object') module.exports = {videoFrameOf, videoFrameAt, projectFrame, passesOf, parseOffset};
