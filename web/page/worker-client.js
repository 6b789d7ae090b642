// The page's side of the workers: starts them from the source pack.js bundled, sends
// them requests and hands each answer back as a promise. The first worker holds the
// file and does every long job; for detect, helpers (as many more as the machine has
// cores, started when first needed) look at the region's chunks beside it. The first
// worker's stage messages go to onStage, and the share of the chunks looked at to
// onShare, which app.js sets.
'use strict';

const workerClient = {
    worker: null, helpers: [], onStage: () => {}, onShare: () => {}, onFault: () => {},
    // How many workers look at a region's chunks, the first one included.
    count: Math.max(1, navigator.hardwareConcurrency || 1),
};

// Made from a Blob: a page opened from file:// may not start a worker from a file.
function newWorker(onOther) {
    const url = URL.createObjectURL(new Blob([TULM_WORKER_SOURCE], {type: 'text/javascript'}));
    const w = {worker: new Worker(url), nextId: 1, pending: new Map()};
    w.worker.onmessage = (event) => {
        const m = event.data;
        if (m.id === undefined) return onOther(m);
        const p = w.pending.get(m.id);
        w.pending.delete(m.id);
        if (m.ok) p.resolve(m.result);
        else p.reject(Object.assign(new Error(m.error.key), m.error));
    };
    w.worker.onerror = (event) => workerClient.onFault(event.message);
    return w;
}

function startWorker() {
    workerClient.worker = newWorker((m) => (m.op === 'stage' ? workerClient.onStage(m.key) : null));
}

function ask(w, op, payload, transfer) {
    const id = w.nextId++;
    return new Promise((resolve, reject) => {
        w.pending.set(id, {resolve, reject});
        w.worker.postMessage(Object.assign({id, op}, payload || {}), transfer || []);
    });
}

function request(op, payload, transfer) {
    return ask(workerClient.worker, op, payload, transfer);
}

// `count` helpers, each with its core started.
async function helpers(count) {
    while (workerClient.helpers.length < count) {
        const h = newWorker(() => {});
        workerClient.helpers.push(h);
        h.ready = ask(h, 'start');
    }
    const chosen = workerClient.helpers.slice(0, count);
    await Promise.all(chosen.map((h) => h.ready));
    return chosen;
}

// `tulm detect --json`'s text for the open file: the first worker plans the region's
// chunks, it and the helpers look at them side by side (each helper given its chunk's
// audio, and the next one's while it works), and the first worker joins them in order.
// `alongside`, when given, asks the first worker for other work (the picture) after the
// helpers' first chunks and before its own: made before detect, it held every worker up;
// made here, it holds up only the first worker, and the helpers take its share of chunks.
async function analyseInWorkers(name, options, alongside) {
    const job = await request('analyseBegin', {name, options});
    const chunks = new Array(job.chunks);
    let next = 0, looked = 0;
    const done = (k, bytes) => {
        chunks[k] = bytes;
        looked += job.adds[k];
        workerClient.onShare(looked / job.region_frames);
    };
    const take = () => {
        const k = next++;
        return k < job.chunks ? request('chunkAudio', {k}).then((a) => Object.assign(a, {k})) : null;
    };
    // A helper holds the next chunk's audio while it looks at one, so that it never waits
    // for the first worker to finish a chunk of its own before it gets more.
    const helped = async (h, coming) => {
        for (let audio; (audio = await coming.shift());) {
            coming.push(take());
            done(audio.k, await ask(h, 'chunkHeld', audio, [audio.samples.buffer]));
        }
    };
    const own = async () => {
        for (let k = next++; k < job.chunks; k = next++) done(k, await request('chunkOwn', {k}));
    };
    const others = job.chunks > 1 ? await helpers(Math.min(job.chunks, workerClient.count) - 1) : [];
    // The helpers' first two chunks are asked for before the first worker takes one.
    const firsts = others.map(() => [take(), take()]);
    const along = alongside ? alongside() : null;
    await Promise.all([...others.map((h, i) => helped(h, firsts[i])), along, own()]);
    return request('analyseEnd', {chunks}, chunks.map((c) => c.buffer));
}
