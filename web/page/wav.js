// WAV files as the tool's libsndfile reads and writes them: samples in the file's own
// kind (integers left-justified to 32 bits, floating point as numbers with full scale
// 1), narrowed to the plug-in's 16 bits as the tool narrows them, and written back in
// libsndfile's own layout, so a file saved here has the bytes `tulm render` writes.
// Runs in the page's worker; plain script (no modules: a page opened from file:// may
// not load them).
'use strict';

// A file the page cannot read: one sentence for the user, keyed into the texts table.
class WavError extends Error {
    constructor(key, detail) {
        super(key);
        this.key = key;
        this.detail = detail || {};
    }
}

const WAVE_PCM = 1, WAVE_FLOAT = 3, WAVE_EXTENSIBLE = 0xfffe;

function fourcc(view, at) {
    return String.fromCharCode(view.getUint8(at), view.getUint8(at + 1), view.getUint8(at + 2), view.getUint8(at + 3));
}

// Reads the header: {rate, channels, bits, float, frames, dataOffset, bytesPerSample}.
// Throws WavError with the reason a user can act on.
function parseWav(buffer) {
    if (buffer.byteLength === 0) throw new WavError('errorEmpty');
    const view = new DataView(buffer);
    if (buffer.byteLength < 12 || fourcc(view, 0) !== 'RIFF' || fourcc(view, 8) !== 'WAVE')
        throw new WavError('errorNotWav');
    let fmt = null, data = null;
    for (let at = 12; at + 8 <= buffer.byteLength;) {
        const id = fourcc(view, at), size = view.getUint32(at + 4, true);
        const body = at + 8;
        if (id === 'fmt ') {
            if (size < 16 || body + 16 > buffer.byteLength) throw new WavError('errorBadHeader');
            let tag = view.getUint16(body, true);
            if (tag === WAVE_EXTENSIBLE && size >= 40) tag = view.getUint16(body + 24, true);
            fmt = {
                tag,
                channels: view.getUint16(body + 2, true),
                rate: view.getUint32(body + 4, true),
                bits: view.getUint16(body + 14, true),
            };
        } else if (id === 'data') {
            // A header that claims more than the file holds: the tool reads what is there.
            data = {offset: body, size: Math.min(size, buffer.byteLength - body)};
            break;
        }
        at = body + size + (size & 1);
    }
    if (!fmt || !data) throw new WavError('errorBadHeader');
    if (fmt.channels < 1 || fmt.rate < 1) throw new WavError('errorNoChannels');
    const integer = fmt.tag === WAVE_PCM && [8, 16, 24, 32].includes(fmt.bits);
    const float = fmt.tag === WAVE_FLOAT && (fmt.bits === 32 || fmt.bits === 64);
    if (!integer && !float) throw new WavError('errorEncoding', {tag: fmt.tag, bits: fmt.bits});
    const bytesPerSample = fmt.bits / 8;
    const frames = Math.floor(data.size / (bytesPerSample * fmt.channels));
    return {rate: fmt.rate, channels: fmt.channels, bits: fmt.bits, float, frames, dataOffset: data.offset,
            bytesPerSample};
}

// Sample i (interleaved) as the tool holds it: a left-justified 32-bit integer, or a
// number with full scale 1.
function readSample(view, wav, i) {
    const at = wav.dataOffset + i * wav.bytesPerSample;
    if (wav.float) return wav.bits === 32 ? view.getFloat32(at, true) : view.getFloat64(at, true);
    switch (wav.bits) {
    case 8: return (view.getUint8(at) - 128) << 24;
    case 16: return view.getInt16(at, true) << 16;
    case 24: return ((view.getUint8(at) << 8) | (view.getUint8(at + 1) << 16) | (view.getUint8(at + 2) << 24));
    default: return view.getInt32(at, true);
    }
}

// C's lrint in its default rounding: halves go to the even neighbour.
function roundHalfEven(v) {
    const r = Math.round(v);
    return (r - v === 0.5 && r % 2 !== 0) ? r - 1 : r;
}

// One sample narrowed to 16 bits: integers keep their top 16 bits; floating-point values
// are rounded to the nearest step and clipped (NaN to 0). `clipped` counts the latter.
function to16(value, float, clipped) {
    if (!float) return value >> 16;
    const v = value * 32768;
    if (v >= -32768.5 && v < 32767.5) return roundHalfEven(v);
    clipped.count++;
    return Number.isNaN(v) ? 0 : v < 0 ? -32768 : 32767;
}

// Samples [first, first + count) (interleaved indices) of the file, narrowed, into `to`.
function narrowWav(buffer, wav, first, count, to, clipped) {
    const view = new DataView(buffer);
    for (let i = 0; i < count; ++i) to[i] = to16(readSample(view, wav, first + i), wav.float, clipped);
}

// A 16-bit sample back in the file's kind, as the tool puts it back.
function from16(v, float) {
    return float ? v / 32768 : (v << 16);
}

function writeSample(view, wav, i, value) {
    const at = wav.dataOffset + i * wav.bytesPerSample;
    if (wav.float) {
        if (wav.bits === 32) view.setFloat32(at, value, true);
        else view.setFloat64(at, value, true);
        return;
    }
    switch (wav.bits) {
    case 8: view.setUint8(at, ((value >> 24) + 128) & 0xff); break;
    case 16: view.setInt16(at, value >> 16, true); break;
    case 24:
        view.setUint8(at, (value >> 8) & 0xff);
        view.setUint8(at + 1, (value >> 16) & 0xff);
        view.setUint8(at + 2, (value >> 24) & 0xff);
        break;
    default: view.setInt32(at, value, true);
    }
}

// An empty file in libsndfile's WAV layout for `frames` frames like `wav`'s: RIFF, a
// 16-byte fmt chunk, for floating point a fact chunk and the PAD that stands where a
// PEAK chunk would, then data. Returns {buffer, wav} with wav describing the new layout.
function emptyWav(wav, frames) {
    const dataBytes = frames * wav.channels * wav.bytesPerSample;
    const extra = wav.float ? (8 + 4) + (8 + 8 + 8 * wav.channels) : 0;
    const header = 12 + 24 + extra + 8;
    const buffer = new ArrayBuffer(header + dataBytes + (dataBytes & 1));
    const view = new DataView(buffer);
    const put = (at, text) => { for (let k = 0; k < 4; ++k) view.setUint8(at + k, text.charCodeAt(k)); };
    put(0, 'RIFF');
    view.setUint32(4, buffer.byteLength - 8, true);
    put(8, 'WAVE');
    put(12, 'fmt ');
    view.setUint32(16, 16, true);
    view.setUint16(20, wav.float ? WAVE_FLOAT : WAVE_PCM, true);
    view.setUint16(22, wav.channels, true);
    view.setUint32(24, wav.rate, true);
    view.setUint32(28, wav.rate * wav.channels * wav.bytesPerSample, true);
    view.setUint16(32, wav.channels * wav.bytesPerSample, true);
    view.setUint16(34, wav.bits, true);
    let at = 36;
    if (wav.float) {
        put(at, 'fact');
        view.setUint32(at + 4, 4, true);
        view.setUint32(at + 8, frames, true);
        put(at + 12, 'PAD ');
        view.setUint32(at + 16, 8 + 8 * wav.channels, true);
        at += 12 + 8 + 8 + 8 * wav.channels;
    }
    put(at, 'data');
    view.setUint32(at + 4, dataBytes, true);
    return {buffer, wav: Object.assign({}, wav, {dataOffset: at + 8, frames})};
}

// The processed file and the removed part (input minus output, silence outside the
// stretch), as `tulm render OUT --diff REMOVED` writes them: every sample outside
// [first, end) (frames) copied as read, the stretch's from the plug-in's 16 bits.
function renderedWavs(buffer, wav, first, end, processed16) {
    const out = emptyWav(wav, wav.frames), removed = emptyWav(wav, wav.frames);
    const inView = new DataView(buffer);
    const outView = new DataView(out.buffer), removedView = new DataView(removed.buffer);
    const ch = wav.channels;
    const from = wav.dataOffset, bytes = wav.frames * ch * wav.bytesPerSample;
    new Uint8Array(out.buffer, out.wav.dataOffset, bytes).set(new Uint8Array(buffer, from, bytes));
    // Silence in unsigned 8-bit samples is their middle value.
    if (wav.bits === 8) new Uint8Array(removed.buffer, removed.wav.dataOffset, bytes).fill(128);
    for (let i = first * ch; i < end * ch; ++i) {
        const a = readSample(inView, wav, i);
        const b = from16(processed16[i - first * ch], wav.float);
        writeSample(outView, out.wav, i, b);
        // Integers subtract in 64 bits and clamp to 32, as the tool does.
        writeSample(removedView, removed.wav, i, wav.float ? a - b : Math.max(-2147483648, Math.min(2147483647, a - b)));
    }
    return {out: out.buffer, removed: removed.buffer};
}

// Floating-point channels decoded by the browser, as a float WAV of 32-bit samples would
// hold them: the input the tool would be given for a file it cannot read itself.
function decodedAsWav(rate, channels) {
    const frames = channels[0].length;
    const wav = {rate, channels: channels.length, bits: 32, float: true, bytesPerSample: 4, frames};
    const made = emptyWav(wav, frames);
    const view = new DataView(made.buffer);
    for (let t = 0; t < frames; ++t)
        for (let k = 0; k < channels.length; ++k) writeSample(view, made.wav, t * channels.length + k, channels[k][t]);
    return made;
}

if (typeof module !== 'undefined') module.exports = {WavError, parseWav, narrowWav, renderedWavs, decodedAsWav, roundHalfEven};
