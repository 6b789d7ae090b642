// The browser's decoder, run in a frame of its own. decodeAudioData ends by making the
// whole file's AudioBuffer on the thread that asked, which held the page for half a
// second on a 10-minute file; a sandboxed frame has an origin of its own, so the
// browser runs it on a thread (and in a process) of its own, and the page only
// gathers the samples, a slice a message. Workers have no audio decoder.
'use strict';

// What runs in the frame: the file decoded at the rate asked for, then its shape, then
// each channel a slice at a time, then the end (or a failure).
const DECODER_FRAME_SOURCE = `<script>
onmessage = async (event) => {
    const {file, rate, slice} = event.data;
    let audio;
    try {
        audio = await new OfflineAudioContext(1, 1, rate).decodeAudioData(await file.arrayBuffer());
    } catch (e) {
        return parent.postMessage({op: 'failed'}, '*');
    }
    parent.postMessage({op: 'shape', rate: audio.sampleRate, channels: audio.numberOfChannels, length: audio.length}, '*');
    for (let k = 0; k < audio.numberOfChannels; ++k)
        for (let at = 0; at < audio.length; at += slice) {
            const samples = new Float32Array(Math.min(slice, audio.length - at));
            audio.copyFromChannel(samples, k, at);
            parent.postMessage({op: 'slice', k, at, samples}, '*', [samples.buffer]);
        }
    parent.postMessage({op: 'end'}, '*');
};
<\/script>`;

// Samples a message: each slice is copied into the page's arrays in a moment.
const DECODED_SLICE = 1 << 20;

// Resolves to {sampleRate, channels} (one Float32Array a channel) for the file decoded
// at `rate`; rejects with errorDecode where the browser cannot decode it. The frame is
// handed the File, which it reads itself: the bytes of a long file posted to another
// process are copied on the way, and held the page's thread for a quarter of a second.
function decodeInFrame(file, rate) {
    const frame = document.createElement('iframe');
    frame.sandbox = 'allow-scripts';
    frame.hidden = true;
    frame.srcdoc = DECODER_FRAME_SOURCE;
    return new Promise((resolve, reject) => {
        let channels = null, sampleRate = 0;
        const done = (settle, value) => {
            window.removeEventListener('message', heard);
            frame.remove();
            settle(value);
        };
        const heard = (event) => {
            if (event.source !== frame.contentWindow) return;
            const m = event.data;
            if (m.op === 'failed') done(reject, {key: 'errorDecode', detail: {}});
            else if (m.op === 'shape') {
                sampleRate = m.rate;
                channels = Array.from({length: m.channels}, () => new Float32Array(m.length));
            } else if (m.op === 'slice') channels[m.k].set(m.samples, m.at);
            else if (m.op === 'end') done(resolve, {sampleRate, channels});
        };
        window.addEventListener('message', heard);
        frame.onload = () => frame.contentWindow.postMessage({file, rate, slice: DECODED_SLICE}, '*');
        document.body.append(frame);
    });
}
