// A video frame rate as a user types it, into the num/den the tool and the host take.
// Editors show the NTSC family's rates rounded (29.97 for 30000/1001): a rounded rate is
// taken as the rate it was rounded from, never as its decimal, which drifts by a frame
// every 33 s. Pure; the page and node's tests run it.
'use strict';

// The tool's own limits on --fps's numbers.
const FPS_LIMIT = 1000000;

class FrameRateError extends Error {
    constructor(key) {
        super(key);
        this.key = key;
        this.detail = {};
    }
}

// {num, den, text} for "30", "29.97", "23.976", "59.94", "12.5" or "N/D"; full-width
// digits and separators as an IME gives them are read as their ASCII twins. Throws
// FrameRateError with the reason, keyed into the texts table.
function parseFrameRate(typed) {
    const s = String(typed === undefined || typed === null ? '' : typed).normalize('NFKC').replace(/\s+/g, '');
    if (s === '') throw new FrameRateError('errorFpsEmpty');
    let m = /^(\d+)\/(\d+)$/.exec(s);
    if (m) {
        const num = Number(m[1]), den = Number(m[2]);
        if (num < 1 || den < 1 || num > FPS_LIMIT || den > FPS_LIMIT) throw new FrameRateError('errorFpsRange');
        return {num, den, text: num + '/' + den};
    }
    m = /^(\d+)(?:\.(\d+))?$/.exec(s);
    if (!m) throw new FrameRateError('errorFpsWords');
    const value = Number(s);
    if (!(value > 0) || value > FPS_LIMIT) throw new FrameRateError('errorFpsRange');
    if (!m[2] || /^0+$/.test(m[2])) return {num: Number(m[1]), den: 1, text: m[1] + '/1'};
    // N·1000/1001 shown to two or three decimals: 23.976, 29.97, 47.952, 59.94, 119.88.
    const n = Math.round(value * 1.001);
    if (Math.abs(n * 1000 / 1001 - value) < 0.006 && Math.abs(n - value) > 0.01)
        return {num: n * 1000, den: 1001, text: n * 1000 + '/1001'};
    let num = Number(m[1] + m[2]), den = Math.pow(10, m[2].length);
    const gcd = (x, y) => (y ? gcd(y, x % y) : x);
    const g = gcd(num, den);
    num /= g;
    den /= g;
    if (num > FPS_LIMIT || den > FPS_LIMIT) throw new FrameRateError('errorFpsRange');
    return {num, den, text: num + '/' + den};
}

// The rate as an editor shows it: 29.97 for 30000/1001, 25 for 25/1.
function frameRateLabel(rate) {
    const value = rate.num / rate.den;
    return Number.isInteger(value) ? String(value) : String(+value.toFixed(3));
}

if (typeof module === 'object') module.exports = {parseFrameRate, frameRateLabel, FrameRateError};
