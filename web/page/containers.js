// What a file's container says about its audio and video, read from the container's own
// structure and never by searching the bytes for something that looks like a header (an
// MP4's boxes hold byte pairs that pass for an MP3 frame's sync word): the sampling rate
// the browser must decode at, so that no frequency moves, and the video's frame rate
// where the file holds a video track. Pure: bytes in, facts out; the page and the tests
// under node run the same code. MP4, MOV and M4A boxes are read by mp4box (the MP4Box
// global the page bundles; under node, the package itself).
'use strict';

// {format, rate, rateFrom, video}: format one of 'wav', 'mp4', 'matroska', 'flac', 'ogg',
// 'mp3', 'adts', 'unknown'; rate in Hz or 0 when the container does not say; rateFrom
// the place it was read ('mp4a', 'mdhd', 'SamplingFrequency', 'STREAMINFO', 'vorbis',
// 'opus', 'frame'); video null, or {num, den, from, variable} with from 'stts' or
// 'DefaultDuration' (variable: an MP4 whose frames last unequally, num/den then their
// average).
function readContainer(bytes) {
    const b = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes);
    const text = (at, s) => at + s.length <= b.length && [...s].every((c, i) => b[at + i] === c.charCodeAt(0));
    const none = (format) => ({format, rate: 0, rateFrom: '', video: null});
    if (text(0, 'RIFF') && text(8, 'WAVE')) return none('wav');
    if (['ftyp', 'moov', 'mdat', 'free', 'wide', 'skip'].some((box) => text(4, box))) return readMp4(b);
    if (b[0] === 0x1a && b[1] === 0x45 && b[2] === 0xdf && b[3] === 0xa3) return readMatroska(b);
    if (text(0, 'OggS')) return readOgg(b, text);
    const at = id3Length(b, text);
    if (text(at, 'fLaC') && b.length > at + 20) {
        const s = at + 18;
        return {format: 'flac', rate: (b[s] << 12) | (b[s + 1] << 4) | (b[s + 2] >> 4), rateFrom: 'STREAMINFO', video: null};
    }
    return readFrames(b, at) || none('unknown');
}

// Bytes an ID3v2 tag takes at the file's start (its size is four 7-bit bytes; a footer
// adds ten more), 0 without one.
function id3Length(b, text) {
    if (!text(0, 'ID3') || b.length < 10) return 0;
    return 10 + ((b[6] << 21) | (b[7] << 14) | (b[8] << 7) | b[9]) + (b[5] & 0x10 ? 10 : 0);
}

// ---- MP4, MOV, M4A --------------------------------------------------------------------
function mp4box() {
    /* global MP4Box */
    if (typeof MP4Box !== 'undefined') return MP4Box;
    return require('mp4box');
}

function readMp4(b) {
    const lib = mp4box();
    const file = lib.createFile();
    let info = null;
    file.onReady = (i) => { info = i; };
    const copy = b.buffer.slice(b.byteOffset, b.byteOffset + b.byteLength);
    file.appendBuffer(lib.MP4BoxBuffer.fromArrayBuffer(copy, 0));
    file.flush();
    const out = {format: 'mp4', rate: 0, rateFrom: '', video: null};
    if (!info) return out;
    const audio = info.tracks.find((track) => track.audio);
    if (audio) {
        // The sample entry's rate is a 16.16 number and cannot say more than 65535 Hz;
        // the track's time scale is the rate then (and is the rate for AAC in practice).
        const entry = audio.audio.sample_rate, scale = audio.timescale;
        if (entry > 0 && entry < 65535) Object.assign(out, {rate: entry, rateFrom: 'mp4a'});
        else if (scale > 0) Object.assign(out, {rate: scale, rateFrom: 'mdhd'});
    }
    const video = info.tracks.find((track) => track.video);
    if (video) out.video = mp4FrameRate(file.getTrackById(video.id), video);
    return out;
}

// A video track's frames last stts's deltas in the track's time scale (mdhd): one delta
// for all is a constant rate, timescale/delta.
function mp4FrameRate(trak, track) {
    const scale = trak.mdia.mdhd.timescale;
    const stts = trak.mdia.minf.stbl.stts;
    const deltas = [...new Set(stts.sample_deltas.filter((d, i) => stts.sample_counts[i] > 0))];
    if (scale > 0 && deltas.length === 1 && deltas[0] > 0) return reduced(scale, deltas[0], 'stts', false);
    if (scale > 0 && track.nb_samples > 0 && track.samples_duration > 0)
        return reduced(track.nb_samples * scale, track.samples_duration, 'stts', true);
    return null;
}

function reduced(num, den, from, variable) {
    const gcd = (x, y) => (y ? gcd(y, x % y) : x);
    const g = gcd(num, den);
    return {num: num / g, den: den / g, from, variable};
}

// ---- WebM, Matroska -------------------------------------------------------------------
const EBML = {segment: 0x18538067, tracks: 0x1654ae6b, cluster: 0x1f43b675, trackEntry: 0xae, trackType: 0x83,
              defaultDuration: 0x23e383, audio: 0xe1, video: 0xe0, samplingFrequency: 0xb5,
              outputSamplingFrequency: 0x78b5, codecId: 0x86};

// An EBML variable-length number at `at`: {value, length}; an element's ID keeps its
// length marker, a size drops it, and a size of all ones is "unknown" (Infinity).
function ebmlNumber(b, at, keepMarker) {
    const first = b[at];
    if (first === undefined || first === 0) return null;
    let length = 1;
    while (!(first & (0x80 >> (length - 1)))) ++length;
    if (at + length > b.length) return null;
    let value = keepMarker ? first : first & (0xff >> length), ones = value === (0xff >> length);
    for (let i = 1; i < length; ++i) {
        value = value * 256 + b[at + i];
        ones = ones && b[at + i] === 0xff;
    }
    return {value: !keepMarker && ones ? Infinity : value, length};
}

// Calls visit(id, bodyStart, bodyEnd) for each element in [from, to); stops when visit
// returns false.
function ebmlEach(b, from, to, visit) {
    for (let at = from; at < to;) {
        const id = ebmlNumber(b, at, true);
        const size = id && ebmlNumber(b, at + id.length, false);
        if (!size) return;
        const body = at + id.length + size.length, end = Math.min(to, body + size.value);
        if (visit(id.value, body, end) === false) return;
        at = end;
    }
}

function ebmlUint(b, from, to) {
    let v = 0;
    for (let i = from; i < to; ++i) v = v * 256 + b[i];
    return v;
}

function ebmlFloat(b, from, to) {
    const view = new DataView(b.buffer, b.byteOffset + from, to - from);
    return to - from === 4 ? view.getFloat32(0) : to - from === 8 ? view.getFloat64(0) : 0;
}

function readMatroska(b) {
    const entries = [];
    ebmlEach(b, 0, b.length, (id, body, end) => {
        if (id !== EBML.segment) return true;
        ebmlEach(b, body, end, (sid, sbody, send) => {
            if (sid === EBML.cluster) return false;  // the tracks come before the first cluster
            if (sid === EBML.tracks) ebmlEach(b, sbody, send, (tid, tbody, tend) => {
                if (tid === EBML.trackEntry) entries.push(matroskaTrack(b, tbody, tend));
            });
            return true;
        });
        return false;
    });
    const out = {format: 'matroska', rate: 0, rateFrom: '', video: null};
    const audio = entries.find((e) => e.type === 2);
    if (audio && /^A_OPUS/.test(audio.codec)) Object.assign(out, {rate: 48000, rateFrom: 'opus'});
    else if (audio && audio.rate > 0) Object.assign(out, {rate: Math.round(audio.rate), rateFrom: 'SamplingFrequency'});
    const video = entries.find((e) => e.type === 1);
    if (video && video.duration > 0) out.video = rateOfDuration(video.duration);
    return out;
}

function matroskaTrack(b, from, to) {
    const track = {type: 0, codec: '', duration: 0, rate: 0};
    ebmlEach(b, from, to, (id, body, end) => {
        if (id === EBML.trackType) track.type = ebmlUint(b, body, end);
        else if (id === EBML.defaultDuration) track.duration = ebmlUint(b, body, end);
        else if (id === EBML.codecId) track.codec = String.fromCharCode(...b.subarray(body, end));
        else if (id === EBML.audio) ebmlEach(b, body, end, (aid, abody, aend) => {
            // The output rate, where given, is the decoded one (AAC with SBR doubles it).
            if (aid === EBML.outputSamplingFrequency) track.rate = ebmlFloat(b, abody, aend);
            else if (aid === EBML.samplingFrequency && !track.rate) track.rate = ebmlFloat(b, abody, aend);
        });
    });
    return track;
}

// A frame's duration in whole nanoseconds back to the rate it was rounded from: N/1 or
// the NTSC family's N·1000/1001, whichever gives the same nanoseconds.
function rateOfDuration(ns) {
    const whole = Math.round(1e9 / ns);
    if (whole > 0 && Math.abs(1e9 / whole - ns) <= 1) return reduced(whole, 1, 'DefaultDuration', false);
    const ntsc = Math.round(1e9 * 1.001 / ns);
    if (ntsc > 0 && Math.abs(1e9 * 1001 / (ntsc * 1000) - ns) <= 1) return reduced(ntsc * 1000, 1001, 'DefaultDuration', false);
    return reduced(Math.round(1e12 / ns), 1000, 'DefaultDuration', false);
}

// ---- Ogg --------------------------------------------------------------------------------
function readOgg(b, text) {
    // The first page holds the first stream's identification header.
    const segments = b[26], body = 27 + segments;
    if (text(body, '\x01vorbis') && b.length >= body + 16)
        return {format: 'ogg', rate: new DataView(b.buffer, b.byteOffset + body + 12, 4).getUint32(0, true),
                rateFrom: 'vorbis', video: null};
    // Opus always decodes at 48 kHz, whatever rate its header says the input had.
    if (text(body, 'OpusHead')) return {format: 'ogg', rate: 48000, rateFrom: 'opus', video: null};
    return {format: 'ogg', rate: 0, rateFrom: '', video: null};
}

// ---- MP3 and AAC in ADTS -----------------------------------------------------------------
// Kilobits per second by index, for MPEG-1 layers I, II, III and MPEG-2/2.5 layers I and II/III.
const MP3_KBPS = {
    '1-1': [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448],
    '1-2': [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
    '1-3': [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
    '2-1': [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256],
    '2-2': [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
};
const ADTS_RATES = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350];

// An MPEG audio frame header at `at`: {rate, length} (length 0 when free-format), or null.
function mp3Frame(b, at) {
    if (at + 4 > b.length || b[at] !== 0xff || (b[at + 1] & 0xe0) !== 0xe0) return null;
    const version = (b[at + 1] >> 3) & 3, layer = 4 - ((b[at + 1] >> 1) & 3);
    const rateIndex = (b[at + 2] >> 2) & 3, kbpsIndex = b[at + 2] >> 4, padding = (b[at + 2] >> 1) & 1;
    if (version === 1 || layer === 4 || rateIndex === 3 || kbpsIndex === 15) return null;
    const rate = [44100, 48000, 32000][rateIndex] / (version === 3 ? 1 : version === 2 ? 2 : 4);
    const table = version === 3 ? '1-' + layer : '2-' + Math.min(layer, 2);
    const bits = MP3_KBPS[table][kbpsIndex] * 1000;
    const length = layer === 1 ? (Math.floor(12 * bits / rate) + padding) * 4
        : Math.floor((layer === 3 && version !== 3 ? 72 : 144) * bits / rate) + padding;
    return {rate, length};
}

// The stream must start where the tag ends (zero padding allowed), and a second header
// at the same rate must follow where the first frame ends: one header alone is two bytes
// that anything may hold.
function readFrames(b, at) {
    while (at < b.length && b[at] === 0 && at < 65536) ++at;
    if (at + 7 <= b.length && b[at] === 0xff && (b[at + 1] & 0xf6) === 0xf0) {
        const index = (b[at + 2] >> 2) & 15, length = ((b[at + 3] & 3) << 11) | (b[at + 4] << 3) | (b[at + 5] >> 5);
        const next = at + length;
        if (index < ADTS_RATES.length && length > 7 && (next + 2 > b.length || (b[next] === 0xff && (b[next + 1] & 0xf6) === 0xf0)))
            return {format: 'adts', rate: ADTS_RATES[index], rateFrom: 'frame', video: null};
        return null;
    }
    const first = mp3Frame(b, at);
    if (!first) return null;
    if (first.length > 0 && at + first.length + 4 <= b.length) {
        const second = mp3Frame(b, at + first.length);
        if (!second || second.rate !== first.rate) return null;
    }
    return {format: 'mp3', rate: first.rate, rateFrom: 'frame', video: null};
}

if (typeof module === 'object') module.exports = {readContainer, rateOfDuration, mp3Frame};
