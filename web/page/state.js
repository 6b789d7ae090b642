// The page's one state: what the file is, what the tool said of it and what the user
// chose. The views draw from it and nothing else; only the handlers change it.
'use strict';

const $ = (id) => document.getElementById(id);

const state = {
    lang: 'ja',
    dialog: null,          // the plug-in's name, labels, ranges and defaults, from the core
    file: null,            // the File open now
    info: null,            // its rate, channels, frames, kind; pcm: read sample for sample
    source: null,          // what its container said (containers.js), null for a WAV
    fps: null,             // {num, den, text, from: 'video' | 'user'}; null: not known yet
    fpsError: null,        // the key of a typed rate's fault, shown beside the field
    offset: 0,             // the project frame the audio starts at
    picture: null,         // {shape, image: canvas}
    detection: null,       // the parsed JSON of the last analysis
    view: null,            // the page's reading of it (detection.js)
    render: null,          // the last render: stretch, measurement, clips, files
    busy: 0,               // long jobs under way
    stageKey: null,        // what the worker is doing, or did last
    error: null,           // {key, detail}: the message on screen
    markHz: undefined,     // the frequency marked on the picture from the keyboard or a click
};

const t = (key, values) => textOf(state.lang, key, values);

// The rate the tool is given: the user's or the video's; null until one is known.
const fpsText = () => (state.fps ? state.fps.text : null);
