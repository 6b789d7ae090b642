// Opening a file: a WAV goes to the worker, which reads it sample for sample; anything
// else is decoded by the browser at the rate its container states (containers.js), so
// that no frequency moves. A video's frame rate, where the container holds one, becomes
// the page's rate unless the user typed one for this file.
'use strict';

async function openFile(file) {
    // Only the first bytes are read here for a WAV: the worker reads it itself, so a
    // long file never passes through the page's own thread.
    const head = new Uint8Array(await file.slice(0, 12).arrayBuffer());
    const wav = readContainer(head).format === 'wav' || /\.wav(e)?$/i.test(file.name) || file.size === 0;
    let info, source = null;
    if (wav) {
        info = await request('open', {file});
        info.pcm = true;
    } else {
        const buffer = await file.arrayBuffer();
        source = readSourceOf(buffer);
        workerClient.onStage('stageDecoding');
        const {sampleRate, channels} = await decodeInFrame(file, contextRate(source.rate));
        info = await request('openDecoded', {rate: sampleRate, channels}, channels.map((c) => c.buffer));
        info.pcm = false;
    }
    state.file = file;
    state.info = info;
    state.source = source;
    if (source && source.video) {
        const v = source.video;
        state.fps = {num: v.num, den: v.den, text: v.num + '/' + v.den, from: 'video', variable: v.variable};
        state.fpsError = null;
    } else if (state.fps && state.fps.from === 'video') {
        // The last file's video rate says nothing of this file's project.
        state.fps = null;
    }
    return info;
}

function readSourceOf(buffer) {
    try {
        return readContainer(new Uint8Array(buffer));
    } catch (e) {
        // A container too broken to read is left to the browser's decoder, which says
        // whether it can make audio of it; the rate is then unknown and the page says so.
        return {format: 'unknown', rate: 0, rateFrom: '', video: null};
    }
}

// The browser decodes at the context's rate, resampling what differs: the context is
// made at the container's rate. With no rate known, 48 kHz, and the page says so.
function contextRate(rate) {
    return rate >= 3000 && rate <= 768000 ? rate : 48000;
}
