// The spectrogram: the worker's picture of the file, drawn with its axes (frequency,
// seconds, the project's frames), the stretch the settings process and every tone found
// outlined; a click or the keyboard picks a frequency.
'use strict';

// quiet: made alongside another job, whose stage the page keeps showing.
async function spectrogram({quiet} = {}) {
    const canvas = $('spectrogram');
    const columns = canvas.width - AXIS.left - AXIS.right, rows = canvas.height - AXIS.top - AXIS.bottom;
    const {shape, bytes} = await request('spectrogram', {columns, rows, quiet: Boolean(quiet)});
    const image = document.createElement('canvas');
    image.width = columns;
    image.height = rows;
    const context = image.getContext('2d');
    const pixels = context.createImageData(columns, rows);
    // A pixel a word: the loop over a long file's picture otherwise held the page's
    // thread for tens of milliseconds.
    const words = new Uint32Array(pixels.data.buffer);
    for (let c = 0; c < columns; ++c)
        for (let r = 0; r < rows; ++r) words[(rows - 1 - r) * columns + c] = PIXELS[bytes[c * rows + r]];
    context.putImageData(pixels, 0, 0);
    state.picture = {shape, image};
    $('picture').hidden = false;
    drawPicture();
}

// A dark-to-bright map (black, blue, magenta, orange, pale yellow) in 256 steps.
const COLOURS = (() => {
    const stops = [[0, 0, 0], [20, 20, 110], [140, 30, 140], [235, 110, 30], [255, 250, 200]];
    const out = [];
    for (let i = 0; i < 256; ++i) {
        const x = i / 255 * (stops.length - 1), k = Math.min(stops.length - 2, Math.floor(x)), f = x - k;
        out.push(stops[k].map((v, j) => Math.round(v + (stops[k + 1][j] - v) * f)));
    }
    return out;
})();
// Each colour as the one word its red, green, blue and opaque alpha bytes make in an
// ImageData, in the machine's byte order.
const PIXELS = (() => {
    const out = new Uint32Array(COLOURS.length);
    const bytes = new Uint8Array(out.buffer);
    COLOURS.forEach((rgb, i) => bytes.set([...rgb, 255], 4 * i));
    return out;
})();

// Room around the picture for the axes' labels.
const AXIS = {left: 64, right: 40, top: 8, bottom: 48};

function hzAt(y) {
    const s = state.picture.shape, rows = s.rows;
    const r = rows - 1 - (y - AXIS.top);
    return s.low_hz * Math.pow(s.high_hz / s.low_hz, (r + 0.5) / rows);
}
function yOf(hz) {
    const s = state.picture.shape;
    const r = Math.log(hz / s.low_hz) / Math.log(s.high_hz / s.low_hz) * s.rows;
    return AXIS.top + s.rows - r;
}
function xOf(seconds) {
    const s = state.picture.shape;
    return AXIS.left + seconds / (state.info.frames / state.info.rate) * s.columns;
}

function drawPicture() {
    const canvas = $('spectrogram'), g = canvas.getContext('2d');
    const s = state.picture.shape;
    g.fillStyle = '#fbfaf7';
    g.fillRect(0, 0, canvas.width, canvas.height);
    g.drawImage(state.picture.image, AXIS.left, AXIS.top);
    g.fillStyle = '#1b1b1b';
    g.strokeStyle = '#1b1b1b';
    g.font = '12px sans-serif';
    g.textAlign = 'right';
    g.textBaseline = 'middle';
    for (const hz of [20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000]) {
        if (hz < s.low_hz || hz > s.high_hz) continue;
        const y = yOf(hz);
        g.fillText(hz >= 1000 ? hz / 1000 + ' kHz' : hz + ' Hz', AXIS.left - 6, y);
        g.beginPath();
        g.moveTo(AXIS.left - 4, y);
        g.lineTo(AXIS.left, y);
        g.stroke();
    }
    // Seconds on the first row under the picture; the project's video frame at each on
    // the second once the frame rate is known (never from a rate the page made up); ticks
    // as far apart as the widest label needs, so that a long file's numbers do not run
    // into each other.
    const seconds = state.info.frames / state.info.rate;
    const rate = state.fps;
    const frameAt = (x) => projectFrame(videoFrameAt(x, rate.num, rate.den), state.offset);
    const widest = g.measureText(rate ? frameAt(seconds) + ' ' + t('axisFrames') : '0000.0 ' + t('axisSeconds')).width + 12;
    const step = [0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 1800, 3600]
        .find((v) => seconds / v <= 10 && (v / seconds) * s.columns >= widest) || 7200;
    g.textAlign = 'center';
    g.textBaseline = 'top';
    for (let x = 0; x <= seconds + 1e-9; x += step) {
        const px = xOf(x), y = AXIS.top + s.rows;
        g.beginPath();
        g.moveTo(px, y);
        g.lineTo(px, y + 4);
        g.stroke();
        // The last label is kept inside the picture's right edge.
        const label = (text, at) => g.fillText(text, Math.min(px, g.canvas.width - g.measureText(text).width / 2 - 2), at);
        label(+x.toFixed(1) + ' ' + t('axisSeconds'), y + 6);
        if (rate) label(frameAt(x) + ' ' + t('axisFrames'), y + 24);
    }
    if (state.markHz !== undefined) {
        g.strokeStyle = '#ffffff';
        g.setLineDash([6, 4]);
        g.beginPath();
        g.moveTo(AXIS.left, yOf(state.markHz));
        g.lineTo(AXIS.left + s.columns, yOf(state.markHz));
        g.stroke();
        g.setLineDash([]);
        g.fillStyle = '#ffffff';
        g.textAlign = 'left';
        g.textBaseline = 'bottom';
        g.fillText(state.markHz.toFixed(1) + ' Hz', AXIS.left + 6, yOf(state.markHz) - 2);
    }
    state.picture.marks = [];
    if (!state.view) return;
    // Every pass's stretch shaded from its selection's first frame, so that the picture
    // shows where each pass of the plan works; with more than one each is labelled with
    // its pass number, shortened (to the number alone at the least) where the full label
    // would run into the next stretch, and the labels alternate between two rows so that neighbours' numbers
    // stay apart. What was drawn is kept for the tests.
    const passes = state.view.fit ? state.view.fit.passes : [];
    const fileSeconds = state.info.frames / state.info.rate;
    const left = (pass) => xOf(pass.stretchStart.seconds);
    g.textAlign = 'left';
    g.textBaseline = 'top';
    state.picture.marks = passes.map((pass, i) => {
        const x0 = left(pass), x1 = xOf(Math.min(pass.stretchEnd.seconds, fileSeconds));
        g.fillStyle = 'rgba(120, 200, 255, 0.18)';
        g.fillRect(x0, AXIS.top, x1 - x0, s.rows);
        g.strokeStyle = '#78c8ff';
        g.beginPath();
        g.moveTo(x0, AXIS.top);
        g.lineTo(x0, AXIS.top + s.rows);
        g.stroke();
        const frame = projectFrame(pass.startFrame, state.offset);
        const room = (i + 1 < passes.length ? left(passes[i + 1]) : AXIS.left + s.columns) - x0 - 8;
        const labels = passes.length < 2 ? [t('stretchMark', {frame})]
            : [t('passMark', {n: i + 1, frame}), t('passMarkShort', {n: i + 1}), String(i + 1)];
        const label = labels.find((text) => g.measureText(text).width <= room) || labels[labels.length - 1];
        g.fillStyle = '#78c8ff';
        g.fillText(label, x0 + 4, AXIS.top + 4 + (i % 2) * 16);
        return {pass: i + 1, from: pass.stretchStart.seconds, to: pass.stretchEnd.seconds, label};
    });
    // Each tone outlined over its extent, the chosen one thicker.
    for (const tone of state.view.tones) {
        const x0 = xOf(tone.first), x1 = xOf(tone.end), y = yOf(tone.hz);
        g.strokeStyle = '#39ff88';
        g.lineWidth = tone.hz === state.view.fitHz ? 3 : 1.5;
        g.strokeRect(x0, y - 6, Math.max(2, x1 - x0), 12);
    }
    g.lineWidth = 1;
}

// The frequency under a click or the keyboard's mark: the tone there, fitted.
function wireSpectrogram(fitAt) {
    const canvas = $('spectrogram');
    // From the keyboard: the arrows move a frequency mark over the picture (a semitone a
    // step, an octave with Shift), Enter fits the settings there.
    canvas.addEventListener('keydown', (e) => {
        if (!state.picture || state.busy) return;
        const s = state.picture.shape;
        if (state.markHz === undefined) state.markHz = state.view && state.view.fitHz ? state.view.fitHz : 1000;
        const step = Math.pow(2, (e.shiftKey ? 12 : 1) / 12);
        if (e.key === 'ArrowUp') state.markHz = Math.min(s.high_hz, state.markHz * step);
        else if (e.key === 'ArrowDown') state.markHz = Math.max(s.low_hz, state.markHz / step);
        else if (e.key === 'Enter') return fitAt(state.markHz);
        else return;
        e.preventDefault();
        drawPicture();
    });
    canvas.addEventListener('click', (e) => {
        if (!state.picture || state.busy) return;
        const box = canvas.getBoundingClientRect();
        const y = (e.clientY - box.top) * canvas.height / box.height;
        const x = (e.clientX - box.left) * canvas.width / box.width;
        if (x < AXIS.left || y < AXIS.top || y >= AXIS.top + state.picture.shape.rows) return;
        state.markHz = hzAt(y);
        drawPicture();
        fitAt(state.markHz);
    });
}
