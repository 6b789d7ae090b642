// The page's container reading on files ffmpeg makes here, each at a rate other than
// 44.1 kHz, so that a rate guessed or sniffed shows. Run: node --test (NODE_PATH holding
// the page's packages, as scripts/web-test.sh sets it).
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {execFileSync} = require('child_process');
const {readContainer, rateOfDuration} = require('../../../web/page/containers.js');

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tulm-containers-'));
test.after(() => fs.rmSync(work, {recursive: true, force: true}));

// A second of a 1 kHz sine at `rate`, with a video track at `fps` when given.
function made(name, rate, fps, codecs) {
    const out = path.join(work, name);
    const video = fps ? ['-f', 'lavfi', '-i', `testsrc=size=64x48:rate=${fps}`] : [];
    execFileSync('ffmpeg', ['-v', 'error', '-y', ...video, '-f', 'lavfi', '-i', `sine=f=1000:r=${rate}`, '-t', '1',
                            ...codecs, '-ar', String(rate), out]);
    return fs.readFileSync(out);
}

test('each container gives the rate it records and the video rate it holds', () => {
    const cases = [
        ['clip.mp4', 48000, '30000/1001', ['-c:v', 'mpeg4', '-c:a', 'aac'], 'mp4', {num: 30000, den: 1001}],
        ['clip.mov', 32000, '25', ['-c:v', 'mpeg4', '-c:a', 'aac'], 'mp4', {num: 25, den: 1}],
        ['clip.m4a', 22050, null, ['-c:a', 'aac'], 'mp4', null],
        ['clip.webm', 48000, '60000/1001', ['-c:v', 'libvpx', '-c:a', 'libopus'], 'matroska', {num: 60000, den: 1001}],
        ['vorbis.webm', 16000, '24000/1001', ['-c:v', 'libvpx', '-c:a', 'libvorbis'], 'matroska', {num: 24000, den: 1001}],
        ['clip.mkv', 96000, '50', ['-c:v', 'mpeg4', '-c:a', 'flac'], 'matroska', {num: 50, den: 1}],
        ['clip.flac', 96000, null, ['-c:a', 'flac'], 'flac', null],
        ['clip.mp3', 32000, null, ['-c:a', 'libmp3lame'], 'mp3', null],
        ['id3.mp3', 24000, null, ['-c:a', 'libmp3lame', '-id3v2_version', '3', '-metadata', 'title=テスト'], 'mp3', null],
        ['clip.ogg', 16000, null, ['-c:a', 'libvorbis'], 'ogg', null],
        ['clip.opus', 48000, null, ['-c:a', 'libopus'], 'ogg', null],
        ['clip.aac', 24000, null, ['-c:a', 'aac', '-f', 'adts'], 'adts', null],
        ['clip.wav', 8000, null, ['-c:a', 'pcm_s16le'], 'wav', null],
    ];
    for (const [name, rate, fps, codecs, format, video] of cases) {
        const facts = readContainer(made(name, rate, fps, codecs));
        assert.strictEqual(facts.format, format, name);
        if (format !== 'wav') assert.strictEqual(facts.rate, rate, name);
        assert.deepStrictEqual(facts.video && {num: facts.video.num, den: facts.video.den}, video, name);
        if (video) assert.strictEqual(facts.video.variable, false, name);
    }
});

test('bytes that merely look like an MPEG frame header are no MP3', () => {
    // A sync word and a plausible header, then noise where the next frame should start.
    const bytes = Buffer.alloc(4096, 0x55);
    bytes.set([0xff, 0xfb, 0x90, 0x64], 0);
    assert.strictEqual(readContainer(bytes).format, 'unknown');
    assert.strictEqual(readContainer(Buffer.from('These are my notes, not audio.\n'.repeat(20))).format, 'unknown');
});

test('a frame duration in nanoseconds goes back to its rate', () => {
    for (const [ns, num, den] of [[33366667, 30000, 1001], [33366666, 30000, 1001], [41708333, 24000, 1001],
                                  [16683333, 60000, 1001], [40000000, 25, 1], [33333333, 30, 1], [20000000, 50, 1]])
        assert.deepStrictEqual([rateOfDuration(ns).num, rateOfDuration(ns).den], [num, den], String(ns));
});
