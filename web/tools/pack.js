// Assembles the page's folder: the page's own files copied, and worker-source.js, which
// holds the worker's whole source (the core, the WAV helpers, the worker) as one string.
// A page opened from file:// may neither fetch a file nor start a worker from one, but
// it may run a script it loads and start a worker from a Blob made of that string.
// Usage: node pack.js CORE_JS PAGE_DIR OUT_DIR
'use strict';
const fs = require('fs');
const path = require('path');

const [core, page, out] = process.argv.slice(2);
if (!out) {
    console.error('usage: node pack.js CORE_JS PAGE_DIR OUT_DIR');
    process.exit(2);
}
fs.mkdirSync(out, {recursive: true});
for (const name of ['index.html', 'style.css', 'texts.js', 'app.js'])
    fs.copyFileSync(path.join(page, name), path.join(out, name));
const source = [fs.readFileSync(core, 'utf8'), fs.readFileSync(path.join(page, 'wav.js'), 'utf8'),
                fs.readFileSync(path.join(page, 'worker.js'), 'utf8')].join('\n;\n');
fs.writeFileSync(path.join(out, 'worker-source.js'),
                 '// The page\'s worker, made into a Blob by app.js. Generated; see web/tools/pack.js.\n' +
                 'var TULM_WORKER_SOURCE = ' + JSON.stringify(source) + ';\n');
