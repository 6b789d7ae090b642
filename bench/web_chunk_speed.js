// `tulm detect --json` in the page's module beside the native tool on the same WAV, in
// one run: the module (built by the web preset) holds the WAV's 16-bit samples and runs
// the entries the page's worker calls, in one worker (tulm_analyse_begin, each chunk's
// tulm_analyse_chunk, tulm_analyse_end with the fit); the tool runs `tulm detect --json`
// on the file. A minute of audio is one chunk. Prints the median seconds of the module's
// chunks, of its whole run and of the tool's, the whole runs' ratio, the same in CPU
// seconds (steadier than wall time on a shared machine; the tool's by GNU time), and
// whether the two JSON texts are the same.
//
// Usage: node bench/web_chunk_speed.js PATH/TO/tulm_core.js PATH/TO/tulm [WAV] [runs]
// (WAV: a 16-bit PCM file; default a 60 s stereo 48 kHz tone under pink noise, made by sox)
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {execFileSync, spawnSync} = require('child_process');

function usage() {
    console.error('usage: node bench/web_chunk_speed.js PATH/TO/tulm_core.js PATH/TO/tulm [WAV] [runs]');
    process.exit(2);
}

// The WAV's layout and its 16-bit samples; other sample formats are not this bench's.
function readWav(file) {
    const b = fs.readFileSync(file);
    if (b.toString('latin1', 0, 4) !== 'RIFF' || b.toString('latin1', 8, 12) !== 'WAVE') throw new Error(file + ': not a WAV');
    let at = 12, channels = 0, rate = 0, bits = 0;
    while (at + 8 <= b.length) {
        const id = b.toString('latin1', at, at + 4), size = b.readUInt32LE(at + 4), body = at + 8;
        if (id === 'fmt ') {
            channels = b.readUInt16LE(body + 2);
            rate = b.readUInt32LE(body + 4);
            bits = b.readUInt16LE(body + 14);
        } else if (id === 'data') {
            if (bits !== 16) throw new Error(file + ': the bench reads 16-bit PCM only');
            const n = Math.min(size, b.length - body) >> 1;
            const samples = new Int16Array(n);
            for (let i = 0; i < n; ++i) samples[i] = b.readInt16LE(body + 2 * i);
            return {channels, rate, frames: n / channels, samples};
        }
        at = body + size + (size & 1);
    }
    throw new Error(file + ': no data chunk');
}

// One of the module's entries, as the worker calls it: its text, or its failure thrown.
function call(core, entry, ...args) {
    const strings = [];
    const passed = args.map((a) => {
        if (typeof a !== 'string') return a;
        const n = core.lengthBytesUTF8(a) + 1, at = core._malloc(n);
        core.stringToUTF8(a, at, n);
        strings.push(at);
        return at;
    });
    const status = core[entry](...passed);
    strings.forEach((s) => core._free(s));
    const text = core.UTF8ToString(core._tulm_result());
    if (status !== 0) throw new Error(`${entry}: ${text}`);
    return text;
}

function median(v) {
    const s = [...v].sort((a, b) => a - b);
    return s.length % 2 ? s[(s.length - 1) >> 1] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
}

async function main() {
    if (process.argv.length < 4) usage();
    const corePath = path.resolve(process.argv[2]), tulm = path.resolve(process.argv[3]);
    const runs = Number(process.argv[5] || 3);
    let wavPath = process.argv[4];
    if (!wavPath) {
        const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tulm-chunk-bench-'));
        wavPath = path.join(work, 'chunk.wav');
        execFileSync('sox', ['-n', '-r', '48000', '-c', '2', '-b', '16', wavPath, 'synth', '60', 'pinknoise', 'synth', '60',
                             'sine', 'mix', '1000', 'vol', '0.5']);
    }
    const wav = readWav(wavPath);
    const core = await require(corePath)();

    const at = core._tulm_hold(wav.frames, wav.channels, wav.rate);
    if (!at) throw new Error('the module has no room for the file');
    core.HEAP16.set(wav.samples, at >> 1);

    const name = path.basename(wavPath);
    const chunkSeconds = [], moduleSeconds = [], nativeSeconds = [];
    const chunkCpu = [], moduleCpu = [], nativeCpu = [];
    const cpu = () => {
        const u = process.cpuUsage();
        return (u.user + u.system) / 1e6;
    };
    let moduleJson = '', nativeJson = '', chunks = 0;
    for (let r = 0; r < runs; ++r) {
        const begin = process.hrtime.bigint(), beginCpu = cpu();
        const job = JSON.parse(call(core, '_tulm_analyse_begin', name, -1, '', '30/1', '', 0, 0, 0));
        chunks = job.chunks;
        const detections = [];
        let chunkNs = 0n, chunkCpuSeconds = 0;
        for (let k = 0; k < job.chunks; ++k) {
            const c = JSON.parse(call(core, '_tulm_chunk', k));
            const from = process.hrtime.bigint(), fromCpu = cpu();
            const size = Number(call(core, '_tulm_analyse_chunk', c.first, c.end, c.at, c.count));
            chunkNs += process.hrtime.bigint() - from;
            chunkCpuSeconds += cpu() - fromCpu;
            detections.push(new Uint8Array(core.HEAPU8.buffer, core._tulm_bytes(), size).slice());
        }
        const size = detections.reduce((sum, d) => sum + d.length, 0);
        const to = core._malloc(Math.max(1, size));
        detections.reduce((at, d) => (core.HEAPU8.set(d, at), at + d.length), to);
        moduleJson = call(core, '_tulm_analyse_end', to, size);
        core._free(to);
        moduleSeconds.push(Number(process.hrtime.bigint() - begin) / 1e9);
        chunkSeconds.push(Number(chunkNs) / 1e9);
        moduleCpu.push(cpu() - beginCpu);
        chunkCpu.push(chunkCpuSeconds);

        // The tool is given the file by the same name, from its folder, as the page knows it.
        const from = process.hrtime.bigint();
        const times = path.join(os.tmpdir(), `tulm-chunk-bench-${process.pid}.time`);
        const native = spawnSync('/usr/bin/time', ['-f', '%U %S', '-o', times, tulm, 'detect', '--json', name],
                                 {cwd: path.dirname(path.resolve(wavPath))});
        nativeSeconds.push(Number(process.hrtime.bigint() - from) / 1e9);
        const [user, system] = fs.readFileSync(times, 'latin1').trim().split('\n').pop().split(' ').map(Number);
        fs.unlinkSync(times);
        nativeCpu.push(user + system);
        if (native.status !== 0 && native.status !== 4) throw new Error('tulm detect failed: ' + native.stderr);
        nativeJson = native.stdout.toString();
    }
    const f = (x, w) => x.toFixed(3).padStart(w);
    console.log(`file: ${(wav.frames / wav.rate).toFixed(1)} s, ${wav.channels} channels, ${wav.rate} Hz; ` +
                `${chunks} chunk(s); median of ${runs} runs`);
    console.log('         module chunks s   module whole s   native whole s   whole ratio');
    for (const [label, c, m, n] of [['wall', chunkSeconds, moduleSeconds, nativeSeconds],
                                    ['cpu', chunkCpu, moduleCpu, nativeCpu]]) {
        const [cm, mm, nm] = [median(c), median(m), median(n)];
        console.log(`${label.padEnd(5)} ${f(cm, 18)}   ${f(mm, 14)}   ${f(nm, 14)}   ${(mm / nm).toFixed(2).padStart(11)}`);
    }
    console.log(`runs: module ${moduleSeconds.map((s) => s.toFixed(3)).join(' ')}; native ${
        nativeSeconds.map((s) => s.toFixed(3)).join(' ')}`);
    console.log(`JSON: ${moduleJson.trimEnd() === nativeJson.trimEnd() ? 'the same' : 'DIFFERENT'}`);
}

main().catch((e) => {
    console.error('web_chunk_speed: ' + e.message);
    process.exit(1);
});
