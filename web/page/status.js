// What the page tells the user of its work: the stage it is at, how far a long job has
// come, one message when something went wrong, and what the open file is.
'use strict';

// Each stage the page went through, with when it began (for benchmarks).
const stages = [];
function showStage(key) {
    stages.push({key, at: performance.now()});
    state.stageKey = key;
    $('stage').textContent = key ? t(key) : '';
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
// A long job with the progress bar up; when the last one ends the stage says done, or
// nothing when it failed (the message says what went wrong).
async function working(job) {
    state.busy++;
    clearShare();
    $('progress').hidden = false;
    let failed = false;
    try {
        return await job();
    } catch (e) {
        failed = true;
        throw e;
    } finally {
        if (--state.busy === 0) {
            $('progress').hidden = true;
            clearShare();
            showStage(failed ? null : state.fps || !state.info ? 'stageDone' : 'stageNeedFps');
            if (state.refit) {
                state.refit = false;
                if (state.fps && state.info) setTimeout(() => fitAt(state.chosenHz), 0);
            }
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

function showInfo() {
    const i = state.info;
    // Worded here, not when the file was read, so that it follows the page's language.
    const kind = !i ? '' : state.source ? t('kindDecoded', {format: t('format_' + state.source.format)})
        : t(i.float ? 'kindFloat' : 'kindInteger', {bits: i.bits});
    $('file-info').textContent = i ? t('fileInfo', {rate: i.rate, channels: i.channels,
        seconds: (i.frames / i.rate).toFixed(2), kind}) : '';
    const notes = [];
    if (i && state.source && (!state.source.rate || state.source.rate !== i.rate)) notes.push(t('rateUnknown', {rate: i.rate}));
    if (i && i.clipped > 0) notes.push(t('clippedNote', {count: i.clipped}));
    $('rate-note').textContent = notes.join(' ');
    $('rate-note').hidden = notes.length === 0;
}
