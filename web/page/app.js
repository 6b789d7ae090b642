// The page's wiring: the flow from a file to the settings, the frame rate and the
// audio's place in the project, drag and drop, and window.tulm for automation. The long
// work happens in the worker (worker-client.js); the views (status.js,
// spectrogram-view.js, tones-view.js, settings-view.js, player.js) draw from state.
'use strict';

// ---- the frame rate and the audio's place in the project ---------------------------------------
const FPS_CHOICES = () => [...$('fps').options].map((o) => o.value).filter((v) => v && v !== 'typed');

// The field as the state has it, and where the rate came from.
function showFps() {
    const f = state.fps;
    // A rate the user typed stays as typed; any other is shown as the list's entry, or
    // typed out when the list has none.
    if (f && f.typed) $('fps').value = 'typed';
    else if (f && FPS_CHOICES().includes(f.text)) $('fps').value = f.text;
    else if (f) {
        $('fps').value = 'typed';
        $('fps-typed').value = f.text;
    } else if ($('fps').value !== 'typed') $('fps').value = '';
    $('fps-typed').hidden = $('fps').value !== 'typed';
    const video = state.source && state.source.video;
    let note = '';
    if (f && f.from === 'video') note = t('fpsFromVideo', {rate: frameRateLabel(f), fraction: f.text});
    else if (!f && video && video.variable) note = t('fpsVariable', {rate: frameRateLabel(video)});
    else if (!f && state.info) note = t(state.source && !video ? 'fpsAskNoVideo' : 'fpsAsk');
    $('fps-note').textContent = note;
    $('fps-note').hidden = !note;
    $('fps-note').classList.toggle('ask', !f);
    $('fps-error').textContent = state.fpsError ? t(state.fpsError, {typed: $('fps-typed').value, limit: FPS_LIMIT}) : '';
    $('fps-error').hidden = !state.fpsError;
    $('offset-error').textContent = state.offsetError ? t('errorOffset', {typed: state.offsetError}) : '';
    $('offset-error').hidden = !state.offsetError;
}

// The rate the user chose or typed; a rate that cannot be read leaves none, and with it
// nothing on screen that was worked out at the old one.
function chooseFps() {
    const choice = $('fps').value;
    $('fps-typed').hidden = choice !== 'typed';
    if (choice === 'typed' && !$('fps-typed').value.trim()) {
        $('fps-typed').focus();
        return;
    }
    try {
        const typed = choice === 'typed';
        state.fps = choice === '' ? null : Object.assign(parseFrameRate(typed ? $('fps-typed').value : choice), {from: 'user', typed});
        state.fpsError = null;
    } catch (e) {
        state.fps = null;
        state.fpsError = e.key;
    }
    rateChanged();
}

function rateChanged() {
    if (!state.fps) clearAnalysis();
    showFps();
    if (state.picture) drawPicture();
    if (!state.fps || !state.info) return;
    if (state.busy) state.refit = true;
    else fitAt(state.chosenHz);
}

function chooseOffset() {
    const offset = parseOffset($('offset').value);
    if (offset === null) {
        state.offsetError = $('offset').value;
        $('offset').value = state.offset;
    } else {
        state.offsetError = null;
        state.offset = offset;
    }
    showFps();
    redraw();
}

// ---- from a file to the settings ---------------------------------------------------------------
function redraw() {
    if (state.picture) drawPicture();
    if (state.view) {
        showTones(fitAt);
        showSettings();
    }
    if (state.render) showCut();
}

function clearAnalysis() {
    for (const id of ['tones', 'settings', 'player', 'save']) $(id).hidden = true;
    stopPlayer();
    Object.assign(state, {detection: null, view: null, render: null});
}

function resetResults() {
    clearAnalysis();
    $('picture').hidden = true;
    Object.assign(state, {info: null, source: null, picture: null, markHz: undefined, chosenHz: null});
    showInfo();
}

async function analyse(options, alongside) {
    const text = await analyseInWorkers(state.file.name, options, alongside);
    stages.push({key: 'analysed', at: performance.now()});
    // The rate changed while the tool worked: its answer is not drawn, the next one is.
    if (options.fps !== fpsText()) return text;
    state.detection = JSON.parse(text);
    state.view = readDetection(state.detection);
    await drawAnswer();
    return text;
}

// The answer drawn a view a frame: the picture, the list and the settings laid out in
// one frame held the page's thread past 100 ms on a busy machine, mostly in the layout
// of the newly shown text. Each step draws from the state as it then is.
async function drawAnswer() {
    if (state.picture) drawPicture();
    await nextFrame();
    if (state.view) showTones(fitAt);
    await nextFrame();
    if (state.view) showSettings();
    if (state.render) showCut();
}

// Resolves once the browser has drawn a frame, or after a tenth of a second where it
// draws none (a page in a background tab), so that no answer waits on the tab.
function nextFrame() {
    return new Promise((resolve) => {
        const timer = setTimeout(resolve, 100);
        requestAnimationFrame(() => setTimeout(() => {
            clearTimeout(timer);
            resolve();
        }, 0));
    });
}

// hz null: the most audible tone, as the first analysis. A failure leaves no settings
// of another rate or tone on screen.
async function fitAt(hz) {
    clearError();
    state.chosenHz = hz;
    if (!state.fps) return showFps();
    const options = hz === null || hz === undefined ? {fps: state.fps.text} : {fps: state.fps.text, hz};
    await working(async () => {
        await analyse(options);
        await renderFit();
    }).catch((e) => {
        clearAnalysis();
        showError(e);
    });
}

async function openOnly(file) {
    clearError();
    resetResults();
    showStage('stageReading');
    await openFile(file);
    showInfo();
    showFps();
}

async function openAndDraw(file) {
    await openOnly(file);
    await spectrogram();
}

// With the frame rate known, the picture is made while the helpers look at their first
// chunks, and is drawn before the answer.
async function openAndAnalyse(file) {
    await working(async () => {
        await openOnly(file);
        if (!state.fps) return spectrogram();
        await analyse({fps: state.fps.text}, () => spectrogram({quiet: true}));
        await renderFit();
    }).catch(showError);
}

// ---- events ------------------------------------------------------------------------------------
function applyTexts() {
    document.documentElement.lang = state.lang;
    const name = filterName();
    for (const el of document.querySelectorAll('[data-text]')) el.textContent = t(el.dataset.text, {name});
    for (const el of document.querySelectorAll('[data-text-label]')) el.setAttribute('aria-label', t(el.dataset.textLabel));
    for (const el of document.querySelectorAll('[data-text-placeholder]')) el.placeholder = t(el.dataset.textPlaceholder);
    document.title = t('title');
    $('settings-title').textContent = t('settingsTitle', {name: filterName()});
    showInfo();
    showFps();
    redraw();
    if (state.render) $('save-note').textContent = t(state.info.pcm ? 'saveNote' : 'saveNoteDecoded');
    if (state.stageKey) $('stage').textContent = t(state.stageKey);
    if (state.error) $('message').textContent = t(state.error.key, state.error.detail);
}

function wire() {
    $('language').addEventListener('click', () => {
        state.lang = state.lang === 'ja' ? 'en' : 'ja';
        applyTexts();
    });
    $('file').addEventListener('change', (e) => {
        if (e.target.files.length) openAndAnalyse(e.target.files[0]);
    });
    // A file dropped anywhere on the page is opened, never shown by the browser in its
    // place (which would leave the page and what it found).
    document.addEventListener('dragover', (e) => {
        e.preventDefault();
        e.dataTransfer.dropEffect = 'copy';
        document.body.classList.add('dropping');
    });
    document.addEventListener('dragleave', (e) => {
        if (!e.relatedTarget) document.body.classList.remove('dropping');
    });
    document.addEventListener('drop', (e) => {
        e.preventDefault();
        document.body.classList.remove('dropping');
        const files = e.dataTransfer && e.dataTransfer.files;
        if (files && files.length) openAndAnalyse(files[0]);
    });
    $('fps').addEventListener('change', chooseFps);
    $('fps-typed').addEventListener('change', chooseFps);
    $('offset').addEventListener('change', chooseOffset);
    wireSpectrogram(fitAt);
    $('copy').addEventListener('click', copySettings);
    $('save-out').addEventListener('click', () => save('out').catch(showError));
    $('save-removed').addEventListener('click', () => save('removed').catch(showError));
    $('play').addEventListener('click', () => (player.playing ? stopPlayer() : playPlayer()));
    for (const r of document.querySelectorAll('input[name=listen]')) r.addEventListener('change', switchPlayer);
}

// ---- automation ----------------------------------------------------------------------------------
// analyse(file, options) resolves to the text `tulm detect --json` prints for the file
// with the same options; render(file, suggestion) to a Blob with the bytes `tulm render`
// writes with the suggestion's settings from its selection's start.
async function ensureOpen(file) {
    if (state.file !== file || !state.info) await openAndDraw(file);
}
window.tulm = {
    ready: null,
    async analyse(file, options) {
        return working(async () => {
            await ensureOpen(file);
            const o = Object.assign({}, options || {});
            if (o.fps === undefined || o.fps === null) {
                if (!state.fps) throw {key: 'errorFpsNeeded', detail: {}};
                o.fps = state.fps.text;
            } else {
                // A rate given here is the user's choice, as if typed into the field.
                state.fps = Object.assign(parseFrameRate(o.fps), {from: 'user'});
                state.fpsError = null;
                o.fps = state.fps.text;
                showFps();
            }
            state.chosenHz = o.hz === undefined ? null : Number(o.hz);
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
            await renderWith(s.values, s.startFrame, s.fps);
            return (await savedFiles()).out;
        });
    },
    // The removed part (input minus output) of the last render, as `--diff` writes it.
    async removedPart() {
        return (await savedFiles()).removed;
    },
    // How many workers look at a long region's chunks (the machine's cores by default).
    useWorkers(count) {
        workerClient.count = Math.max(1, Math.floor(count));
    },
    workers: () => ({count: workerClient.count, cores: navigator.hardwareConcurrency || 0}),
    stages: () => stages.slice(),
    state: () => ({fps: state.fps, offset: state.offset, source: state.source, info: state.info, detection: state.detection,
                   marks: state.picture ? state.picture.marks : []}),
    player: {
        // For tests: what plays, each source's gain, the clock, and how often the
        // sources were started since the page opened.
        state: () => ({playing: player.playing, choice: choice(), gains: player.gains.map((g) => g.gain.value),
                       time: player.context ? player.context.currentTime : 0, starts: player.starts}),
    },
};

workerClient.onStage = showStage;
workerClient.onShare = showShare;
workerClient.onFault = (text) => showError({key: 'errorWorker', detail: {text}});
wire();
applyTexts();
try {
    startWorker();
    window.tulm.ready = request('start').then((dialog) => {
        state.dialog = dialog;
        applyTexts();
    });
} catch (e) {
    showError({key: 'errorWorker', detail: {text: String(e.message)}});
}
