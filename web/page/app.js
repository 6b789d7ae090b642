// The page: opens a file, has the worker read and analyse it, draws what it found,
// gives the host's settings, plays original / processed / removed, saves the result,
// and offers the same as window.tulm for automation. Nothing here runs longer than a
// few milliseconds at a time: the worker does the long work.
'use strict';

(function () {
    const $ = (id) => document.getElementById(id);
    const state = {
        lang: 'ja',
        dialog: null,          // the plug-in's labels, ranges and defaults
        file: null,            // the File open now
        info: null,            // its rate, channels, frames, kind
        rateKnown: true,
        picture: null,         // {shape, image: canvas}
        detection: null,       // the parsed JSON of the last analysis
        view: null,            // the page's reading of it
        render: null,          // the last render: stretch, measurement, urls
        busy: 0,
    };

    // ---- the worker ----------------------------------------------------------------
    // Made from a Blob: a page opened from file:// may not start a worker from a file.
    let worker = null;
    let nextId = 1;
    const pending = new Map();
    function startWorker() {
        const url = URL.createObjectURL(new Blob([TULM_WORKER_SOURCE], {type: 'text/javascript'}));
        worker = new Worker(url);
        worker.onmessage = (event) => {
            const m = event.data;
            if (m.op === 'stage') return showStage(m.key);
            if (m.op === 'progress') return showShare(m.share);
            const p = pending.get(m.id);
            pending.delete(m.id);
            if (m.ok) p.resolve(m.result);
            else p.reject(Object.assign(new Error(m.error.key), m.error));
        };
        worker.onerror = (event) => showError({key: 'errorWorker', detail: {text: event.message}});
    }
    function request(op, payload, transfer) {
        const id = nextId++;
        return new Promise((resolve, reject) => {
            pending.set(id, {resolve, reject});
            worker.postMessage(Object.assign({id, op}, payload || {}), transfer || []);
        });
    }

    // ---- texts ---------------------------------------------------------------------
    const t = (key, values) => textOf(state.lang, key, values);
    function applyTexts() {
        document.documentElement.lang = state.lang;
        for (const el of document.querySelectorAll('[data-text]')) el.textContent = t(el.dataset.text);
        for (const el of document.querySelectorAll('[data-text-label]')) el.setAttribute('aria-label', t(el.dataset.textLabel));
        for (const el of document.querySelectorAll('[data-text-placeholder]')) el.placeholder = t(el.dataset.textPlaceholder);
        document.title = t('title');
        if (state.info) showInfo();
        if (state.view) showView();
        if (state.render) showCut();
        if (state.picture) drawPicture();
        if (state.stageKey) $('stage').textContent = t(state.stageKey);
        if (state.error) $('message').textContent = t(state.error.key, state.error.detail);
    }

    // ---- status, progress, messages --------------------------------------------------
    // Each stage the page went through, with when it began (for benchmarks).
    const stages = [];
    function showStage(key) {
        stages.push({key, at: performance.now()});
        state.stageKey = key;
        $('stage').textContent = t(key);
    }
    // How far a long job has come, when its worker says (detect, chunk by chunk); a job
    // that does not say keeps the bar moving without a figure.
    function showShare(share) {
        stages.push({key: 'progress', share, at: performance.now()});
        $('progress').value = share;
        $('share').textContent = `${Math.round(100 * share)} %`;
        $('share').hidden = false;
    }
    function clearShare() {
        $('progress').removeAttribute('value');
        $('share').hidden = true;
    }
    async function working(job) {
        state.busy++;
        clearShare();
        $('progress').hidden = false;
        try {
            return await job();
        } finally {
            if (--state.busy === 0) {
                $('progress').hidden = true;
                clearShare();
                showStage('stageDone');
            }
        }
    }
    function showError(error) {
        state.error = {key: error.key || 'errorTool', detail: error.detail || {}};
        $('message').textContent = t(state.error.key, state.error.detail);
        $('message').hidden = false;
    }
    function clearError() {
        state.error = null;
        $('message').hidden = true;
        $('message').textContent = '';
    }

    // ---- opening a file ------------------------------------------------------------
    const fps = () => ($('fps').value === 'typed' ? $('fps-typed').value.trim() || '30/1' : $('fps').value);
    function fpsNumber() {
        const [n, d] = fps().split('/').map(Number);
        return d ? n / d : n;
    }

    // A WAV is read byte by byte by the worker; anything else goes through the browser's
    // decoder, at the file's own rate when its header says it.
    async function openFile(file) {
        showStage('stageReading');
        clearError();
        resetResults();
        state.file = file;
        // Only the first bytes are read here: the worker reads a WAV itself, so a long
        // file never passes through the page's own thread.
        const head = new Uint8Array(await file.slice(0, 4).arrayBuffer());
        const riff = head.length === 4 && String.fromCharCode(...head) === 'RIFF';
        const named = /\.wav(e)?$/i.test(file.name);
        let info;
        if (riff || named || file.size === 0) {
            info = await request('open', {file});
            info.kind = t(info.float ? 'kindFloat' : 'kindInteger', {bits: info.bits});
            state.rateKnown = true;
        } else {
            showStage('stageDecoding');
            const decoded = await decodeAudio(await file.arrayBuffer());
            const channels = [];
            for (let k = 0; k < decoded.audio.numberOfChannels; ++k) channels.push(decoded.audio.getChannelData(k));
            info = await request('openDecoded', {rate: decoded.audio.sampleRate, channels},
                                 channels.map((c) => c.buffer));
            info.kind = t('kindDecoded');
            state.rateKnown = decoded.rateKnown;
        }
        state.info = info;
        showInfo();
        return info;
    }

    async function decodeAudio(buffer) {
        const rate = sniffRate(new Uint8Array(buffer));
        try {
            const context = new OfflineAudioContext(1, 1, rate || 48000);
            const audio = await context.decodeAudioData(buffer);
            return {audio, rateKnown: rate > 0};
        } catch (e) {
            throw {key: 'errorDecode', detail: {}};
        }
    }

    // The sampling rate a compressed file's header states, or 0 when it cannot be found:
    // FLAC's STREAMINFO, an Ogg stream's Vorbis or Opus header, an MP3 frame header, an
    // MP4 audio sample entry.
    function sniffRate(b) {
        const text = (at, s) => [...s].every((c, i) => b[at + i] === c.charCodeAt(0));
        const be32 = (at) => ((b[at] << 24) >>> 0) + (b[at + 1] << 16) + (b[at + 2] << 8) + b[at + 3];
        if (text(0, 'fLaC') && b.length > 20) return (b[18] << 12) | (b[19] << 4) | (b[20] >> 4);
        if (text(0, 'OggS')) {
            for (let i = 0; i + 16 < Math.min(b.length, 4096); ++i) {
                if (b[i] === 1 && text(i + 1, 'vorbis')) return b[i + 12] | (b[i + 13] << 8) | (b[i + 14] << 16) | (b[i + 15] << 24);
                if (text(i, 'OpusHead')) return 48000;  // Opus always decodes at 48 kHz
            }
            return 0;
        }
        let at = 0;
        if (text(0, 'ID3') && b.length > 10) at = 10 + ((b[6] << 21) | (b[7] << 14) | (b[8] << 7) | b[9]);
        for (let i = at; i + 3 < Math.min(b.length, at + 8192); ++i) {
            if (b[i] !== 0xff || (b[i + 1] & 0xe0) !== 0xe0) continue;
            const version = (b[i + 1] >> 3) & 3, layer = (b[i + 1] >> 1) & 3, index = (b[i + 2] >> 2) & 3;
            if (version === 1 || layer === 0 || index === 3 || (b[i + 2] >> 4) === 15) continue;
            const base = [44100, 48000, 32000][index];
            return version === 3 ? base : version === 2 ? base / 2 : base / 4;
        }
        for (let i = 4; i + 36 < Math.min(b.length, 1 << 22); ++i)
            if (text(i, 'mp4a') && be32(i - 4) >= 36) return (b[i + 28] << 8) | b[i + 29];
        return 0;
    }

    function showInfo() {
        const i = state.info;
        $('file-info').textContent = t('fileInfo', {rate: i.rate, channels: i.channels,
            seconds: (i.frames / i.rate).toFixed(2), kind: i.kind});
        const notes = [];
        if (!state.rateKnown) notes.push(t('rateUnknown', {rate: i.rate}));
        if (i.clipped > 0) notes.push(t('clippedNote', {count: i.clipped}));
        $('rate-note').textContent = notes.join(' ');
        $('rate-note').hidden = notes.length === 0;
    }

    function resetResults() {
        for (const id of ['picture', 'tones', 'settings', 'player', 'save']) $(id).hidden = true;
        stopPlayer();
        Object.assign(state, {info: null, picture: null, detection: null, view: null, render: null, markHz: undefined});
        $('file-info').textContent = '';
        $('rate-note').hidden = true;
    }

    // ---- analysis --------------------------------------------------------------------
    async function analyse(options) {
        const text = await request('analyse', {name: state.file.name, options});
        stages.push({key: 'analysed', at: performance.now()});
        state.detection = JSON.parse(text);
        state.view = readDetection(state.detection);
        showView();
        return text;
    }

    async function spectrogram() {
        const canvas = $('spectrogram');
        const columns = canvas.width - AXIS.left - AXIS.right, rows = canvas.height - AXIS.top - AXIS.bottom;
        const {shape, bytes} = await request('spectrogram', {columns, rows});
        const image = document.createElement('canvas');
        image.width = columns;
        image.height = rows;
        const context = image.getContext('2d');
        const pixels = context.createImageData(columns, rows);
        for (let c = 0; c < columns; ++c)
            for (let r = 0; r < rows; ++r) {
                const [red, green, blue] = COLOURS[bytes[c * rows + r]];
                const at = ((rows - 1 - r) * columns + c) * 4;
                pixels.data[at] = red;
                pixels.data[at + 1] = green;
                pixels.data[at + 2] = blue;
                pixels.data[at + 3] = 255;
            }
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
        // Seconds on the first row under the picture, the video frame at each on the second;
        // ticks as far apart as the widest label needs, so that a long file's frame
        // numbers do not run into each other.
        const seconds = state.info.frames / state.info.rate;
        const widest = g.measureText(Math.floor(seconds * fpsNumber()) + ' ' + t('axisFrames')).width + 12;
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
            label(Math.floor(x * fpsNumber() + 1e-9) + ' ' + t('axisFrames'), y + 24);
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
        if (!state.view) return;
        // The stretch the settings process, shaded, from the selection's first frame.
        const f = state.view.fit;
        if (f) {
            const x0 = xOf(f.stretchFirst), x1 = xOf(Math.min(f.stretchEnd, state.info.frames / state.info.rate));
            g.fillStyle = 'rgba(120, 200, 255, 0.18)';
            g.fillRect(x0, AXIS.top, x1 - x0, s.rows);
            g.strokeStyle = '#78c8ff';
            g.beginPath();
            g.moveTo(x0, AXIS.top);
            g.lineTo(x0, AXIS.top + s.rows);
            g.stroke();
            g.fillStyle = '#78c8ff';
            g.textAlign = 'left';
            g.textBaseline = 'top';
            g.fillText(t('stretchMark', {frame: f.startFrame}), x0 + 4, AXIS.top + 4);
        }
        // Each tone outlined over its extent, the chosen one thicker.
        for (const tone of state.view.tones) {
            const x0 = xOf(tone.first), x1 = xOf(tone.end), y = yOf(tone.hz);
            g.strokeStyle = '#39ff88';
            g.lineWidth = tone.hz === state.view.fitHz ? 3 : 1.5;
            g.strokeRect(x0, y - 6, Math.max(2, x1 - x0), 12);
        }
        g.lineWidth = 1;
    }

    // ---- showing the analysis -------------------------------------------------------
    function cp932(bytes) {
        return new TextDecoder('shift_jis').decode(new Uint8Array(bytes));
    }

    function showView() {
        const v = state.view;
        $('tones').hidden = false;
        const body = $('tone-list').querySelector('tbody');
        body.textContent = '';
        $('no-tone').hidden = v.tones.length > 0;
        $('tone-list').hidden = v.tones.length === 0;
        for (const tone of v.tones) {
            const row = body.insertRow();
            row.insertCell().textContent = tone.hz.toFixed(2) + ' Hz';
            row.insertCell().textContent = tone.level.toFixed(1) + ' dBFS';
            row.insertCell().textContent = t('whenText', {from: tone.first.toFixed(3), fromFrame: tone.firstFrame,
                to: tone.end.toFixed(3), toFrame: tone.endFrame});
            row.insertCell().textContent = tone.harmonics.map((h) => h.order + '× ' + h.hz.toFixed(1) + ' Hz')
                .join(state.lang === 'ja' ? '、' : ', ');
            const button = document.createElement('button');
            button.type = 'button';
            button.textContent = t('toneChoose');
            button.addEventListener('click', () => fitAt(tone.hz));
            row.insertCell().appendChild(button);
            for (const c of [row.cells[0], row.cells[1]]) c.className = 'number';
        }
        if (state.picture) drawPicture();
        showSettings();
    }

    // The host's dialog as it looks: the plug-in's own labels, each slider's value, the
    // check box; the selection's first frame above them.
    function showSettings() {
        const f = state.view.fit;
        $('settings').hidden = !f;
        if (!f) return;
        $('settings-for').textContent = t('settingsFor', {hz: f.hz.toFixed(2), frame: f.startFrame});
        const dialog = $('dialog');
        dialog.textContent = '';
        const add = (label, value, extra) => {
            const l = document.createElement('span'), v = document.createElement('span');
            l.textContent = label;
            v.textContent = value;
            v.className = 'value';
            if (extra) l.classList.add(extra), v.classList.add(extra);
            dialog.append(l, v);
        };
        add(t('selectionStart'), f.startFrame, 'start');
        state.dialog.sliders.forEach((s, i) => add(cp932(s.label), f.values[i]));
        add(cp932(state.dialog.check.label), f.values[state.dialog.sliders.length] ? '☑ ' + t('checkOn') : '☐ ' + t('checkOff'));
        const facts = $('notch-facts');
        facts.textContent = '';
        const fact = (term, text) => {
            const dt = document.createElement('dt'), dd = document.createElement('dd');
            dt.textContent = term;
            dd.textContent = text;
            facts.append(dt, dd);
        };
        fact(t('notch'), t('notchText', {low: f.lowHz.toFixed(1), high: f.highHz.toFixed(1),
            width: (f.highHz - f.lowHz).toFixed(1), centre: f.centreHz.toFixed(1)}));
        const m = state.render && state.render.measurement;
        if (m) fact(t('speech'), t(f.reachesSpeech ? 'speechInside' : 'speechOutside', {db: signed(m.speech_change_db)}));
        const warnings = $('warnings');
        warnings.textContent = '';
        const warn = (text) => { const li = document.createElement('li'); li.textContent = text; warnings.append(li); };
        if (f.tooLong && f.second) warn(t('warningLong', {at: f.second.seconds.toFixed(3), frame: f.second.video_frame}));
        if (f.startsTooEarly) warn(t('warningEarly'));
        if (m && m.wide_band) warn(t('wideBand'));
        if (f.harmonics.length)
            warn(t('humNote', {list: f.harmonics.map((hz) => hz.toFixed(1) + ' Hz').join(state.lang === 'ja' ? '、' : ', ')}));
    }

    const signed = (v) => (v === null ? '—' : (v > 0 ? '+' : '') + v.toFixed(2));

    function settingsText() {
        const f = state.view.fit;
        const lines = [t('selectionStart') + ': ' + f.startFrame];
        state.dialog.sliders.forEach((s, i) => lines.push(cp932(s.label) + ': ' + f.values[i]));
        lines.push(cp932(state.dialog.check.label) + ': ' + t(f.values[state.dialog.sliders.length] ? 'checkOn' : 'checkOff'));
        return lines.join('\n');
    }

    async function copySettings() {
        const text = settingsText();
        let done = false;
        try {
            await navigator.clipboard.writeText(text);
            done = true;
        } catch (e) {
            const area = document.createElement('textarea');
            area.value = text;
            document.body.append(area);
            area.select();
            done = document.execCommand('copy');
            area.remove();
        }
        $('copy-result').textContent = t(done ? 'copied' : 'copyFailed');
    }

    // ---- processing, playing, saving ---------------------------------------------------
    async function renderFit() {
        const f = state.view && state.view.fit;
        if (!f) return null;
        return renderWith(f.values, f.startFrame, f.fps || fps());
    }

    async function renderWith(values, startFrame, rate) {
        const r = await request('render', {values, startFrame, fps: rate, margin: 1});
        stopPlayer();
        state.render = r;
        $('player').hidden = false;
        $('save').hidden = false;
        showCut();
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
        const m = state.render.measurement;
        const db = m.tone && m.tone.attenuation_db;
        $('cut').textContent = m.tone ? (db === null ? t('cutSilent') : t('cut', {db: db.toFixed(1)})) : '';
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

    // ---- reading the tool's JSON ------------------------------------------------------------
    // What the page shows of `tulm detect --json`'s object (docs/detect-json.md).
    function readDetection(json) {
        const tones = json.tones.map((tone) => ({
            hz: tone.hz, level: tone.level_dbfs, first: tone.start.seconds, end: tone.end.seconds,
            firstFrame: tone.start.video_frame, endFrame: tone.end.video_frame, harmonics: tone.harmonics,
        }));
        const c = json.chosen;
        if (!c) return {tones, fit: null, fitHz: null};
        const s = readSuggestion(c);
        return {
            tones,
            fitHz: c.tone.hz,
            fit: {
                hz: c.tone.hz, startFrame: s.startFrame, fps: s.fps, values: s.values,
                stretchFirst: c.stretch.start.seconds, stretchEnd: c.stretch.end.seconds,
                lowHz: c.notch.low_hz, highHz: c.notch.high_hz, centreHz: c.notch.centre_hz,
                reachesSpeech: c.notch.reaches_speech_band, predictedCut: c.predicted.cut_db,
                tooLong: c.too_long, second: c.second_selection, startsTooEarly: c.starts_too_early,
                harmonics: c.harmonics_left,
            },
        };
    }

    // The slider values in the dialog's order, then the check box, from a suggestion:
    // {settings: {frequency, seconds, fft_order, width, fade, use_window}, start_frame, fps}.
    // `suggestion` is the JSON's `chosen` object (or the whole JSON): its settings and
    // its selection's first video frame at its video rate.
    function readSuggestion(suggestion) {
        const c = suggestion && suggestion.chosen !== undefined ? suggestion.chosen : suggestion;
        const settings = c && c.settings, selection = c && c.selection;
        if (!settings || !selection) throw {key: 'errorSuggestion'};
        const values = state.dialog.sliders.map((slider) => Number(settings[slider.name]));
        values.push(settings[state.dialog.check.name] ? 1 : 0);
        const startFrame = Number(selection.start_video_frame);
        if (values.some((v) => !Number.isInteger(v)) || !Number.isInteger(startFrame)) throw {key: 'errorSuggestion'};
        return {values, startFrame, fps: String(selection.video_rate)};
    }

    // ---- fitting to a clicked tone ---------------------------------------------------------
    // hz null: the most audible tone, as the first analysis.
    async function fitAt(hz) {
        clearError();
        await working(async () => {
            await analyse(hz === null ? {fps: fps()} : {fps: fps(), hz});
            await renderFit();
        }).catch(showError);
    }

    async function openAndAnalyse(file) {
        await working(async () => {
            await openFile(file);
            await spectrogram();
            await analyse({fps: fps()});
            await renderFit();
        }).catch(showError);
    }

    // ---- events ------------------------------------------------------------------------
    function wire() {
        $('language').addEventListener('click', () => {
            state.lang = state.lang === 'ja' ? 'en' : 'ja';
            applyTexts();
        });
        $('file').addEventListener('change', (e) => {
            if (e.target.files.length) openAndAnalyse(e.target.files[0]);
        });
        // The selection's first frame and every frame number depend on the video rate:
        // a new rate asks the tool again for the same tone.
        const rateChanged = () => {
            if (state.picture) drawPicture();
            if (state.view && !state.busy) fitAt(state.view.fit ? state.view.fit.hz : null);
        };
        $('fps').addEventListener('change', () => {
            $('fps-typed').hidden = $('fps').value !== 'typed';
            if ($('fps').value !== 'typed') rateChanged();
        });
        $('fps-typed').addEventListener('change', rateChanged);
        // From the keyboard: the arrows move a frequency mark over the picture (a
        // semitone a step, an octave with Shift), Enter fits the settings there.
        $('spectrogram').addEventListener('keydown', (e) => {
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
        $('spectrogram').addEventListener('click', (e) => {
            if (!state.picture || state.busy) return;
            const canvas = $('spectrogram'), box = canvas.getBoundingClientRect();
            const y = (e.clientY - box.top) * canvas.height / box.height;
            const x = (e.clientX - box.left) * canvas.width / box.width;
            if (x < AXIS.left || y < AXIS.top || y >= AXIS.top + state.picture.shape.rows) return;
            state.markHz = hzAt(y);
            drawPicture();
            fitAt(state.markHz);
        });
        $('copy').addEventListener('click', copySettings);
        $('save-out').addEventListener('click', () => save('out').catch(showError));
        $('save-removed').addEventListener('click', () => save('removed').catch(showError));
        $('play').addEventListener('click', () => (player.playing ? stopPlayer() : playPlayer()));
        for (const r of document.querySelectorAll('input[name=listen]')) r.addEventListener('change', switchPlayer);
    }

    // ---- automation ----------------------------------------------------------------------
    // analyse(file, options) resolves to the text `tulm detect --json` prints for the file
    // with the same options; render(file, suggestion) to a Blob with the bytes
    // `tulm render` writes with the suggestion's settings from its selection's start.
    async function ensureOpen(file) {
        if (state.file !== file || !state.info) await openFile(file);
    }
    window.tulm = {
        ready: null,
        async analyse(file, options) {
            return working(async () => {
                await ensureOpen(file);
                if (!state.picture) await spectrogram();
                const o = Object.assign({fps: fps()}, options || {});
                const text = await analyse(o);
                // The player and the saved files follow; the answer need not wait for them.
                working(renderFit).catch(showError);
                return text;
            });
        },
        async render(file, suggestion) {
            return working(async () => {
                await ensureOpen(file);
                const s = readSuggestion(suggestion);
                await renderWith(s.values, s.startFrame, s.fps || fps());
                return (await savedFiles()).out;
            });
        },
        // The removed part (input minus output) of the last render, as `--diff` writes it.
        async removedPart() {
            return (await savedFiles()).removed;
        },
        stages: () => stages.slice(),
        player: {
            // For tests: what plays, each source's gain, the clock, and how often the
            // sources were started since the page opened.
            state: () => ({playing: player.playing, choice: choice(), gains: player.gains.map((g) => g.gain.value),
                           time: player.context ? player.context.currentTime : 0, starts: player.starts}),
        },
    };

    wire();
    applyTexts();
    try {
        startWorker();
        window.tulm.ready = request('start').then((dialog) => { state.dialog = dialog; });
    } catch (e) {
        showError({key: 'errorWorker', detail: {text: String(e.message)}});
    }
})();
