// A frame rate as a user types it. Run: node --test.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const {parseFrameRate, frameRateLabel} = require('../../../web/page/frame-rate.js');

test('rounded NTSC rates are the rationals they were rounded from; others are exact', () => {
    for (const [typed, text] of [['23.976', '24000/1001'], ['23.98', '24000/1001'], ['29.97', '30000/1001'],
                                 ['59.94', '60000/1001'], ['119.88', '120000/1001'], ['47.952', '48000/1001'],
                                 ['30', '30/1'], ['25.0', '25/1'], ['12.5', '25/2'], ['24.5', '49/2'],
                                 ['30000/1001', '30000/1001'], ['60/2', '60/2'], [' 29.97 ', '30000/1001'],
                                 ['２９．９７', '30000/1001'], ['３０ ／ １', '30/1']])
        assert.strictEqual(parseFrameRate(typed).text, text, typed);
});

test('what is not a rate is refused with a reason', () => {
    for (const [typed, key] of [['', 'errorFpsEmpty'], ['abc', 'errorFpsWords'], ['29,97', 'errorFpsWords'],
                                ['-30', 'errorFpsWords'], ['30/0', 'errorFpsRange'], ['0', 'errorFpsRange'],
                                ['0/1', 'errorFpsRange'], ['2000000', 'errorFpsRange'], ['1/2000000', 'errorFpsRange'],
                                ['30/1001/1', 'errorFpsWords'], ['NaN', 'errorFpsWords']])
        assert.throws(() => parseFrameRate(typed), (e) => e.key === key, typed);
});

test('a rate is shown as editors show it', () => {
    for (const [num, den, label] of [[30000, 1001, '29.97'], [24000, 1001, '23.976'], [25, 1, '25'], [25, 2, '12.5']])
        assert.strictEqual(frameRateLabel({num, den}), label);
});
