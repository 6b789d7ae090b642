// The host's dialog as it looks, for the chosen tone: the plug-in's own name and labels,
// each slider's value, the check box; above them where the selection starts in the
// project, and below them the passes, the band the notch takes and what to watch for.
'use strict';

const filterName = () => (state.dialog ? cp932(state.dialog.name) : '');
// A level change with its sign; one that rounds to nothing has none (not "-0.00").
const signed = (v) => {
    if (v === null) return '—';
    const shown = v.toFixed(2);
    return Number(shown) === 0 ? (0).toFixed(2) : (v > 0 ? '+' : '') + shown;
};
const hzList = (list) => list.map((hz) => hz.toFixed(1) + ' Hz').join(state.lang === 'ja' ? '、' : ', ');

function dialogGrid(container, startFrame, values) {
    container.textContent = '';
    const add = (label, value, extra) => {
        const l = document.createElement('span'), v = document.createElement('span');
        l.textContent = label;
        v.textContent = value;
        v.className = 'value';
        if (extra) l.classList.add(extra), v.classList.add(extra);
        container.append(l, v);
    };
    add(t('selectionStart'), startFrame, 'start');
    state.dialog.sliders.forEach((s, i) => add(cp932(s.label), values[i]));
    add(cp932(state.dialog.check.label), values[state.dialog.sliders.length] ? '☑ ' + t('checkOn') : '☐ ' + t('checkOff'));
}

function showSettings() {
    $('settings-title').textContent = t('settingsTitle', {name: filterName()});
    const f = state.view && state.view.fit;
    $('settings').hidden = !f;
    if (!f) return;
    const first = projectFrame(f.startFrame, state.offset);
    // Japanese runs sentences on without a space.
    $('settings-for').textContent = t('settingsFor', {hz: f.hz.toFixed(2)}) + (state.lang === 'ja' ? '' : ' ') +
        t('selectFrom', {frame: first});
    dialogGrid($('dialog'), first, f.values);
    showPasses(f);

    const facts = $('notch-facts');
    facts.textContent = '';
    const fact = (term, text) => {
        const dt = document.createElement('dt'), dd = document.createElement('dd');
        dt.textContent = term;
        dd.textContent = text;
        facts.append(dt, dd);
    };
    fact(t('notch'), t('notchText', {low: f.lowHz.toFixed(1), high: f.highHz.toFixed(1), centre: f.centreHz.toFixed(1)}));
    const cut = cutText();
    if (cut) fact(t('cutTerm'), cut);
    // With passes, each says what it does to the rest of the sound in the plan above.
    if (f.passes.length < 2 && f.passes[0].program) fact(t('programTerm'), programText(f.passes[0].program));
    const m = state.render && state.render.measurement;
    const band = state.dialog.speech_band;
    if (m) fact(t('speech', {low: band[0], high: band[1]}),
                t(f.reachesSpeech ? 'speechInside' : 'speechOutside', {db: signed(m.speech_change_db)}));

    const warnings = $('warnings');
    warnings.textContent = '';
    const warn = (text) => { const li = document.createElement('li'); li.textContent = text; warnings.append(li); };
    if (!f.detected) warn(t('notConfirmed', {hz: f.hz.toFixed(1)}));
    if (f.why) warn(t(f.why.key, f.why.values));
    if (f.wholeCut && f.wholeCut.weak) warn(t('weakCut', {db: f.wholeCut.db === null ? '—' : f.wholeCut.db.toFixed(1)}));
    if (f.left) warn(t('planLeft', {from: f.left.from.toFixed(2), to: f.left.to.toFixed(2)}));
    // A frequency where no steady tone was confirmed has no known end: the settings span
    // the longest stretch, and nothing is said to last past it.
    if (f.detected && f.tooLong && f.second && f.passes.length < 2 && !f.left)
        // A fade after the first pass would silence what plays at the next one's start.
        warn(t('warningLong', {at: f.second.seconds.toFixed(3), frame: projectFrame(f.second.video_frame, state.offset),
                               fade: cp932(state.dialog.sliders.find((slider) => slider.name === 'fade').label)}));
    if (f.startsTooEarly) warn(t('warningEarly'));
    if (m && m.wide_band) warn(t('wideBand'));
    if (f.harmonics.length) warn(t('humNote', {list: hzList(f.harmonics)}));
}

// A tone that outlasts one stretch: each further pass, with where it starts and the
// settings that differ from the first's.
function showPasses(f) {
    const list = $('passes');
    list.textContent = '';
    $('plan').hidden = f.passes.length < 2;
    if (f.passes.length < 2) return;
    $('plan-intro').textContent = t('planIntro', {count: f.passes.length});
    f.passes.forEach((pass, i) => {
        const li = document.createElement('li');
        const frame = projectFrame(pass.startFrame, state.offset);
        const p = document.createElement('p');
        const previous = i > 0 ? projectFrame(f.passes[i - 1].startFrame, state.offset) : 0;
        p.textContent = i === 0 ? t('passFirst', {frame}) : t('passNext', {frame, previous: i, n: i + 1, previousFrame: previous});
        li.append(p);
        if (i > 0) {
            const grid = document.createElement('div');
            grid.className = 'dialog';
            dialogGrid(grid, frame, valuesOf(pass.settings));
            li.append(grid);
        }
        const program = document.createElement('p');
        program.className = 'program';
        program.textContent = t('programLine', {text: programText(pass.program)});
        li.append(program);
        list.append(li);
    });
}

// The one figure about the chosen tone: the check's cut over its whole extent where the
// tool made one; else the render's, inside the stretch, and said so.
function cutText() {
    const f = state.view && state.view.fit;
    if (f && f.wholeCut) {
        const values = {from: f.wholeCut.from.toFixed(2), to: f.wholeCut.to.toFixed(2)};
        if (f.wholeCut.db === null) return t('cutWholeSilent', values);
        return t(f.passes.length > 1 ? 'cutWholePasses' : 'cutWhole',
                 Object.assign(values, {db: f.wholeCut.db.toFixed(1), count: f.passes.length}));
    }
    const m = state.render && state.render.measurement;
    if (!m) return '';
    // The measurement's tone is the stretch's most prominent, which need not be the one
    // chosen (a click beside another line): only one inside the band the notch takes is
    // about it; else the figure is the cut at the notch's centre.
    if (m.tone && (!f || (m.tone.hz >= f.lowHz && m.tone.hz <= f.highHz))) {
        const db = m.tone.attenuation_db;
        return db === null ? t('cutStretchSilent') : t('cutStretch', {db: db.toFixed(1)});
    }
    const hz = m.notch.centre_hz.toFixed(1), db = m.notch.attenuation_db;
    return db === null ? t('cutCentreSilent', {hz}) : t('cutCentre', {hz, db: db.toFixed(1)});
}

// What a pass does to the rest of the sound over its stretch, as the tool read it; a
// rise is the trace of what the notch took, which the tool says only where it rose.
function programText(program) {
    const text = t('programText', {change: signed(program.change), dip: signed(program.dip)});
    return program.added === null || program.added === undefined
        ? text : text + t('programRise', {db: (-program.added).toFixed(1)});
}

function settingsText() {
    const f = state.view.fit;
    const lines = [t('settingsTitle', {name: filterName()}), t('selectionStart') + ': ' + projectFrame(f.startFrame, state.offset)];
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
