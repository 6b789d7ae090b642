// The page's side of the worker: starts it from the source pack.js bundled, sends it
// requests and hands each answer back as a promise. Its stage and progress messages go
// to onStage and onShare, which app.js sets.
'use strict';

const workerClient = {worker: null, nextId: 1, pending: new Map(), onStage: () => {}, onShare: () => {}, onFault: () => {}};

// Made from a Blob: a page opened from file:// may not start a worker from a file.
function startWorker() {
    const url = URL.createObjectURL(new Blob([TULM_WORKER_SOURCE], {type: 'text/javascript'}));
    const worker = new Worker(url);
    worker.onmessage = (event) => {
        const m = event.data;
        if (m.op === 'stage') return workerClient.onStage(m.key);
        if (m.op === 'progress') return workerClient.onShare(m.share);
        const p = workerClient.pending.get(m.id);
        workerClient.pending.delete(m.id);
        if (m.ok) p.resolve(m.result);
        else p.reject(Object.assign(new Error(m.error.key), m.error));
    };
    worker.onerror = (event) => workerClient.onFault(event.message);
    workerClient.worker = worker;
}

function request(op, payload, transfer) {
    const id = workerClient.nextId++;
    return new Promise((resolve, reject) => {
        workerClient.pending.set(id, {resolve, reject});
        workerClient.worker.postMessage(Object.assign({id, op}, payload || {}), transfer || []);
    });
}
