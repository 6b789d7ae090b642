// The frame numbers the page tells the user. Run: node --test.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const {videoFrameOf, videoFrameAt, passesOf, parseOffset} = require('../../../web/page/plan.js');

test('a sample frame lies in the video frame the tool names', () => {
    // 48 kHz at 30000/1001: a frame is 1601.6 samples; frame 82 starts at sample 131331.2.
    for (const [sample, rate, num, den, frame] of [[0, 48000, 30000, 1001, 0], [1601, 48000, 30000, 1001, 0],
                                                   [1602, 48000, 30000, 1001, 1], [131331, 48000, 30000, 1001, 81],
                                                   [131332, 48000, 30000, 1001, 82], [1600, 48000, 30, 1, 1],
                                                   [1599, 48000, 30, 1, 0], [28459, 44100, 24000, 1001, 15]])
        assert.strictEqual(videoFrameOf(sample, rate, num, den), frame, `${sample} at ${num}/${den}`);
    // At 593 s, 30 and 29.97 part by 18 frames: the rate is never a detail.
    assert.strictEqual(videoFrameAt(593, 30, 1), 17790);
    assert.strictEqual(videoFrameAt(593, 30000, 1001), 17772);
    // A frame's exact start is that frame, not the one before (4.1 s × 30 is a hair
    // under 123 in floating point).
    assert.strictEqual(videoFrameAt(4.1, 30, 1), 123);
});

test('the passes are the tool\'s plan, moved by the audio\'s place in the project', () => {
    const settings = {frequency: 68, seconds: 3, fft_order: 13, width: 34, fade: 0, use_window: false};
    const pass = (frame, from, to) => ({start_video_frame: frame, stretch: {start: {seconds: from}, end: {seconds: to}},
                                        settings, program_change_db: -0.01, program_dip_db: -0.2,
                                        program_added_db: null});
    const chosen = {selection: {start_video_frame: 82}, settings, stretch: {start: {seconds: 2.7}, end: {seconds: 5.9}},
                    plan: {passes: [pass(82, 2.7, 5.9), pass(167, 5.6, 8.8), pass(254, 8.5, 11.7)]}};
    const passes = passesOf(chosen, 300);
    assert.deepStrictEqual(passes.map((p) => p.startFrame), [382, 467, 554]);
    assert.deepStrictEqual(passes.map((p) => p.stretchStart.seconds), [2.7, 5.6, 8.5]);
    assert.deepStrictEqual(passes[2].program, {change: -0.01, dip: -0.2, added: null});
    // No plan (a frequency named where no tone was found): the chosen settings' one selection.
    assert.deepStrictEqual(passesOf(Object.assign({}, chosen, {plan: null}), 0).map((p) => p.startFrame), [82]);
    assert.deepStrictEqual(passesOf(null, 0), []);
});

test('an offset is a whole number of frames', () => {
    for (const [typed, offset] of [['', 0], ['0', 0], ['120', 120], ['１２０', 120], [' 7 ', 7], ['-1', null],
                                   ['1.5', null], ['abc', null], ['1e3', null]])
        assert.strictEqual(parseOffset(typed), offset, typed);
});
