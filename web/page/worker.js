// The page's worker: holds the file and the WebAssembly core, and does every long job
// (reading, the spectrogram, detect, render) so that the page itself never waits.
// Made from a Blob together with the core and wav.js, which define TulmCore and the WAV
// helpers before this runs. Each request {id, op, ...} gets one answer {id, ok, result}
// or {id, ok: false, error: {key, detail}}; {op: 'stage', key} messages say what
// it is doing meanwhile.
'use strict';

let core = null;           // the WebAssembly module, once started
let held = null;           // {buffer, wav}: the file's bytes as read, and its layout

function stage(key) { postMessage({op: 'stage', key}); }

function cString(text) {
    const n = core.lengthBytesUTF8(text) + 1, at = core._malloc(n);
    core.stringToUTF8(text, at, n);
    return at;
}

// The core's failure, {"error": {"code", "values"}}, as the page's text key for the code
// ("not_video_rate": errorNotVideoRate) and the values that fill it.
function coreError(text) {
    const {code, values} = JSON.parse(text).error;
    const detail = {};
    for (const [name, v] of Object.entries(values)) detail[name] = typeof v === 'number' ? String(Math.round(v * 1000) / 1000) : v;
    const key = 'error' + code.replace(/(^|_)(\w)/g, (_, __, c) => c.toUpperCase());
    return Object.assign(new Error(key), {key, detail});
}

// Runs one of the core's entries; its text is the answer, or the core's failure.
function call(entry, ...args) {
    const strings = [];
    const passed = args.map((a) => (typeof a === 'string' ? (strings.push(cString(a)), strings[strings.length - 1]) : a));
    const status = core[entry](...passed);
    strings.forEach((s) => core._free(s));
    const text = core.UTF8ToString(core._tulm_result());
    if (status !== 0) throw coreError(text);
    return text;
}

// The bytes of the chunk's detection the core just made; `size` is their count as text.
function chunkBytes(size) {
    return new Uint8Array(core.HEAPU8.buffer, core._tulm_bytes(), Number(size)).slice();
}

// The whole file narrowed to 16 bits into the core, a million samples at a time.
function holdFile(wav, fill) {
    const count = wav.frames * wav.channels;
    const at = core._tulm_hold(wav.frames, wav.channels, wav.rate);
    if (!at) throw Object.assign(new Error('memory'), {key: 'errorMemory'});
    const clipped = {count: 0};
    const step = 1 << 20;
    for (let i = 0; i < count; i += step) {
        const n = Math.min(step, count - i);
        // The heap may have grown since the last slice: take a fresh view each time.
        fill(i, n, new Int16Array(core.HEAP16.buffer, at + 2 * i, n), clipped);
    }
    return clipped.count;
}

const ops = {
    async start() {
        if (!core) core = await TulmCore();
        return JSON.parse(call('_tulm_dialog'));
    },

    async open({file}) {
        stage('stageReading');
        const buffer = await file.arrayBuffer();
        const wav = parseWav(buffer);
        if (wav.frames === 0) throw new WavError('errorNoAudio');
        // 16-bit samples are the plug-in's already: copied as they lie.
        const fill = wav.bits === 16 && !wav.float
            ? (i, n, to) => to.set(new Int16Array(buffer.slice(wav.dataOffset + 2 * i, wav.dataOffset + 2 * (i + n))))
            : (i, n, to, c) => narrowWav(buffer, wav, i, n, to, c);
        const clipped = holdFile(wav, fill);
        held = {buffer, wav, clipped};
        return {rate: wav.rate, channels: wav.channels, frames: wav.frames, bits: wav.bits, float: wav.float, clipped};
    },

    openDecoded({rate, channels}) {
        stage('stageReading');
        if (channels.length === 0 || channels[0].length === 0) throw new WavError('errorNoAudio');
        const made = decodedAsWav(rate, channels);
        const wav = parseWav(made.buffer);
        const clipped = holdFile(wav, (i, n, to, c) => narrowWav(made.buffer, wav, i, n, to, c));
        held = {buffer: made.buffer, wav, clipped};
        return {rate, channels: wav.channels, frames: wav.frames, bits: 32, float: true, clipped};
    },

    spectrogram({columns, rows, quiet}) {
        if (!quiet) stage('stageDrawing');
        const shape = JSON.parse(call('_tulm_spectrogram', columns, rows));
        const bytes = new Uint8Array(core.HEAPU8.buffer, core._tulm_picture(), columns * rows).slice();
        return {shape, bytes};
    },

    // detect in steps (worker-client.js): the job planned over the held file; a chunk
    // looked at here, or its audio handed out for a helper; the chunks joined.
    analyseBegin({name, options}) {
        stage('stageDetecting');
        const o = options || {};
        return JSON.parse(call('_tulm_analyse_begin', String(name), o.start_frame === undefined ? -1 : Number(o.start_frame),
                               String(o.start || ''), String(o.fps || '30/1'), String(o.length || ''),
                               o.hz === undefined ? 0 : 1, Number(o.hz), held && held.clipped > 0 ? 1 : 0));
    },

    chunkOwn({k}) {
        const c = JSON.parse(call('_tulm_chunk', k));
        return chunkBytes(call('_tulm_analyse_chunk', c.first, c.end, c.at, c.count));
    },

    chunkAudio({k}) {
        const c = JSON.parse(call('_tulm_chunk', k)), {rate, channels} = held.wav;
        const samples = new Int16Array(core.HEAP16.buffer, core._tulm_held() + 2 * c.first * channels,
                                       (c.end - c.first) * channels).slice();
        return {samples, rate, channels, at: c.at, count: c.count};
    },

    // In a helper: the chunk's audio alone is held.
    chunkHeld({samples, rate, channels, at, count}) {
        holdFile({frames: samples.length / channels, channels, rate}, (i, n, to) => to.set(samples.subarray(i, i + n)));
        return chunkBytes(call('_tulm_analyse_chunk', 0, -1, at, count));
    },

    analyseEnd({chunks}) {
        const size = chunks.reduce((sum, c) => sum + c.length, 0);
        const at = core._malloc(Math.max(1, size));
        let to = at;
        for (const c of chunks) {
            core.HEAPU8.set(c, to);
            to += c.length;
        }
        try {
            return call('_tulm_analyse_end', at, size);
        } finally {
            core._free(at);
        }
    },

    // values: the five sliders, then the check box. The clips for the player cover the
    // stretch with `margin` seconds either side, one Float32Array per channel each.
    render({values, startFrame, fps, margin}) {
        stage('stageRendering');
        const at = core._malloc(4 * values.length);
        new Int32Array(core.HEAP32.buffer, at, values.length).set(values);
        let result;
        try {
            result = JSON.parse(call('_tulm_render', at, startFrame, fps));
        } finally {
            core._free(at);
        }
        const {wav, buffer} = held;
        const first = result.first_frame, end = result.end_frame, ch = wav.channels;
        const processed = new Int16Array(core.HEAP16.buffer, core._tulm_processed(), (end - first) * ch).slice();
        held.rendered = {first, end, processed};
        const from = Math.max(0, first - Math.round(margin * wav.rate));
        const to = Math.min(wav.frames, end + Math.round(margin * wav.rate));
        const input = new Int16Array((to - from) * ch);
        narrowWav(buffer, wav, from * ch, input.length, input, {count: 0});
        const clips = {rate: wav.rate, first: from, original: [], processed: [], removed: []};
        for (let k = 0; k < ch; ++k) {
            const o = new Float32Array(to - from), p = new Float32Array(to - from), r = new Float32Array(to - from);
            for (let t = 0; t < to - from; ++t) {
                const a = input[t * ch + k];
                const f = from + t;
                const b = f >= first && f < end ? processed[(f - first) * ch + k] : a;
                o[t] = a / 32768;
                p[t] = b / 32768;
                r[t] = (a - b) / 32768;
            }
            clips.original.push(o);
            clips.processed.push(p);
            clips.removed.push(r);
        }
        return {stretch: {first, end}, measurement: result.measurement, clips};
    },

    // The last render's processed file and removed part, made only when asked for: a
    // long file's Blobs cost the page's thread a moment when they arrive.
    files() {
        const {wav, buffer, rendered} = held;
        const files = renderedWavs(buffer, wav, rendered.first, rendered.end, rendered.processed);
        return {out: new Blob([files.out], {type: 'audio/wav'}), removed: new Blob([files.removed], {type: 'audio/wav'})};
    },
};

// The buffers of an answer's typed arrays, to be moved to the page rather than copied:
// a copy of a long file's worth would hold the page's thread for seconds.
function buffersOf(value, found) {
    if (ArrayBuffer.isView(value)) found.add(value.buffer);
    else if (value instanceof ArrayBuffer) found.add(value);
    else if (value && typeof value === 'object' && !(value instanceof Blob))
        for (const v of Object.values(value)) buffersOf(v, found);
    return found;
}

onmessage = async (event) => {
    const {id, op} = event.data;
    try {
        const result = await ops[op](event.data);
        postMessage({id, ok: true, result}, [...buffersOf(result, new Set())]);
    } catch (e) {
        postMessage({id, ok: false, error: {key: e.key || 'errorTool', detail: e.detail || {text: String(e.message)}}});
    }
};
