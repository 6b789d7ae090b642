// Processing, listening and saving: the worker renders the chosen settings through the
// plug-in; the player loops the stretch with a second either side as original,
// processed and removed; the processed file and the removed part are saved as WAV.
'use strict';

async function renderFit() {
    const f = state.view && state.view.fit;
    if (!f) return null;
    return renderWith(f.values, f.startFrame, f.fps);
}

async function renderWith(values, startFrame, rate) {
    const r = await request('render', {values, startFrame, fps: rate, margin: 1});
    stopPlayer();
    state.render = r;
    $('player').hidden = false;
    $('save').hidden = false;
    $('save-note').textContent = t(state.info.pcm ? 'saveNote' : 'saveNoteDecoded');
    showCut();
    // The settings, laid out again with the render's measurement, in a frame of their own.
    await nextFrame();
    if (state.view) showSettings();
    return r;
}

// The last render's files, made by the worker when first asked for.
function savedFiles() {
    const r = state.render;
    if (!r.files) r.files = request('files');
    return r.files;
}

async function save(which) {
    const files = await savedFiles();
    const base = state.file ? state.file.name.replace(/\.[^.]*$/, '') : 'tulm';
    const link = document.createElement('a');
    link.href = URL.createObjectURL(files[which]);
    link.download = base + (which === 'out' ? '-tulm.wav' : '-removed.wav');
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function showCut() {
    $('cut').textContent = cutText();
}

// All three loop together from one start; switching only moves the gains, so the
// sound never stops between them.
const player = {context: null, sources: [], gains: [], playing: false, starts: 0};
const CHOICES = ['original', 'processed', 'removed'];
const choice = () => document.querySelector('input[name=listen]:checked').value;

function playPlayer() {
    const clips = state.render.clips;
    if (!player.context) player.context = new AudioContext();
    const c = player.context;
    const now = c.currentTime + 0.05;
    CHOICES.forEach((name, i) => {
        const data = clips[name];
        const buffer = c.createBuffer(data.length, data[0].length, clips.rate);
        data.forEach((channel, k) => buffer.copyToChannel(channel, k));
        const source = c.createBufferSource();
        source.buffer = buffer;
        source.loop = true;
        const gain = c.createGain();
        gain.gain.value = name === choice() ? 1 : 0;
        source.connect(gain).connect(c.destination);
        source.start(now);
        player.sources[i] = source;
        player.gains[i] = gain;
    });
    player.playing = true;
    player.starts++;
    c.resume();
    $('play').dataset.text = 'stop';
    $('play').textContent = t('stop');
}

function stopPlayer() {
    player.sources.forEach((s) => s.stop());
    player.sources = [];
    player.gains = [];
    player.playing = false;
    $('play').dataset.text = 'play';
    $('play').textContent = t('play');
}

function switchPlayer() {
    if (!player.playing) return;
    const c = player.context, now = c.currentTime;
    // A 10 ms cross-fade: an instant switch would click.
    CHOICES.forEach((name, i) => {
        const g = player.gains[i].gain;
        g.cancelScheduledValues(now);
        g.setValueAtTime(g.value, now);
        g.linearRampToValueAtTime(name === choice() ? 1 : 0, now + 0.01);
    });
}
