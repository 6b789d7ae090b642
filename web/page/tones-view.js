// The list of tones found: one row per tone, and under a hum each of its harmonics as a
// row of its own, every row with a button that fits the settings to it.
'use strict';

function showTones(fitAt) {
    const v = state.view;
    $('tones').hidden = false;
    const body = $('tone-list').querySelector('tbody');
    body.textContent = '';
    $('no-tone').hidden = v.tones.length > 0;
    $('tone-list').hidden = v.tones.length === 0;
    // A click where nothing steady sounds still answers, in plain words.
    const missed = !v.fit && state.chosenHz !== null && state.chosenHz !== undefined;
    $('click-note').hidden = !missed;
    $('click-note').textContent = missed ? t('clickNothing', {hz: state.chosenHz.toFixed(1)}) : '';
    const frame = (f) => projectFrame(f, state.offset);
    const row = (hz, level, when, family, chosen, harmonic) => {
        const r = body.insertRow();
        if (harmonic) r.className = 'harmonic';
        if (chosen) r.classList.add('chosen');
        r.insertCell().textContent = hz.toFixed(2) + ' Hz';
        r.insertCell().textContent = level.toFixed(1) + ' dBFS';
        r.insertCell().textContent = when;
        r.insertCell().textContent = family;
        const button = document.createElement('button');
        button.type = 'button';
        button.textContent = t('toneChoose');
        button.setAttribute('aria-label', t('toneChooseLabel', {hz: hz.toFixed(2)}));
        button.addEventListener('click', () => fitAt(hz));
        r.insertCell().appendChild(button);
        for (const c of [r.cells[0], r.cells[1]]) c.classList.add('number');
    };
    const near = (hz) => v.fitHz !== null && Math.abs(hz - v.fitHz) < 0.5;
    for (const tone of v.tones) {
        const when = t('whenText', {from: tone.first.toFixed(3), fromFrame: frame(tone.firstFrame),
                                    to: tone.end.toFixed(3), toFrame: frame(tone.endFrame)});
        row(tone.hz, tone.level, when, tone.harmonics.length ? t('fundamental') : '', near(tone.hz), false);
        for (const h of tone.harmonics)
            row(h.hz, h.level_dbfs, '〃', t('harmonicOrder', {order: h.order}), near(h.hz), true);
    }
}
